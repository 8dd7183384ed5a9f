// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Memos as the unencrypted KeePass 2 XML that KeePassXC imports (keepassxc-cli import):
// a root group "Tallimor" holding one group per category, and in each one entry per
// memo with the memo's first line as title and the whole memo as notes. Private memos
// carry the tag "private" (deleted and archived ones, when exported, "deleted" and
// "archived"), so that the password manager's tag search finds them.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "exchange/ExchangeMemo.h"

namespace tallimor {

// The tags an exported entry may carry.
inline constexpr char kPrivateTag[] = "private";
inline constexpr char kDeletedTag[] = "deleted";
inline constexpr char kArchivedTag[] = "archived";

// Writes the XML document. `categories` names the groups in order (a category without
// memos still gets its group); a memo whose category is not among them gets a group
// after them. XML 1.0 cannot carry control characters other than tab, LF and CR: each
// one becomes U+FFFD, and *replaced counts the memos where that happened.
void WriteKeePassXml(const std::vector<ExchangeMemo>& memos, const std::vector<std::string>& categories,
                     std::ostream& out, std::size_t* replaced);

// The title an entry gets: the memo's first line.
std::string KeePassTitle(const std::string& text);

}  // namespace tallimor
