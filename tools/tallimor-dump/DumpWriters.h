// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The two output forms of tallimor-dump: a readable text listing and the JSON
// object whose shape scripts rely on:
//   {"header": {"name", "version", "dbVersion", "creator", "type", "flags",
//               "modDate", "modNumber", "createDate", "backupDate", "recordCount"},
//    "appInfo": null or {"name", "capacity", "used", "reserved", "data"},
//    "sortInfo": null or the same,
//    "categories": [{"index", "id", "name", "changed"}],
//    "records": [{"id", "category", "status", "private", "data"}]}
// With the memo texts at hand (--password) each record also gets "text".
#pragma once

#include <ostream>

#include "exchange/MemoFile.h"

namespace tallimor {

// Writes the text listing of `file` to `out`.
void WriteDumpText(const MemoFile& file, std::ostream& out);
// Writes the JSON object of `file` to `out`, followed by a newline. Byte strings
// (block data, category names, record data) are lower-case hex; the database
// and block names are JSON strings in which every byte outside printable ASCII
// appears as the code point of the same number (\u0080 to \u00ff).
// "header" is null when the header could not be read.
void WriteDumpJson(const MemoFile& file, std::ostream& out);

}  // namespace tallimor
