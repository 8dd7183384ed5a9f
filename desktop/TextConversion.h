// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The user interface's edge between Qt's Unicode strings and the code page 932 bytes in
// which every stored text (memos, category names, the hint, the password) is kept.
// Conversion into code page 932 is strict: a character it cannot hold is an error that
// the caller reports, never a silent "?".
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <string_view>

namespace tallimor {

// `text` as code page 932 bytes; nothing when a character has no code page 932 form.
std::optional<std::string> ToCp932(const QString& text);

// Code page 932 bytes as Unicode, for display, over the same decode step as every other
// shown text (text/ShownText.h). A byte that is not code page 932 shows as U+FFFD
// rather than \xHH: widgets hand their text back to be stored, and U+FFFD, which code
// page 932 cannot hold, makes such a save fail loudly where "\xHH" would be stored as
// four real characters in place of the byte.
QString FromCp932(std::string_view bytes);

}  // namespace tallimor
