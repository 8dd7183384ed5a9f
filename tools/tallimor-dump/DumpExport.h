// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The export forms of tallimor-dump (--format): the deciphered memos of a dumped file
// as KeePass 2 XML, CSV or plain text, written by the exchange formats that the
// desktop program's export uses too.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>

#include "exchange/MemoFile.h"

namespace tallimor {

enum class DumpFormat { kKeePassXml, kCsv, kText };

// The format named `name` ("keepass-xml", "csv", "text"), or nothing.
std::optional<DumpFormat> DumpFormatNamed(const std::string& name);

struct DumpExportCounts {
  std::size_t memos = 0;         // memos written
  std::size_t left = 0;          // deleted or archived records left out
  std::size_t undecodable = 0;   // memos with bytes that are no code page 932 text (U+FFFD)
  std::size_t replaced = 0;      // memos with characters XML cannot carry (U+FFFD)
};

// Writes the memos of `file`, whose texts are filled (file.hasTexts), in file order;
// deleted and archived records only with `includeDeleted`.
DumpExportCounts WriteDumpExport(const MemoFile& file, DumpFormat format, bool includeDeleted, std::ostream& out);

}  // namespace tallimor
