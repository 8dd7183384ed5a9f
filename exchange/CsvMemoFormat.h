// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Memos as CSV (RFC 4180, UTF-8, a header row "category,text,private"): one row a memo,
// in file order. Text fields are always quoted, so line breaks, commas and quotes in a
// memo survive; rows end with LF. The reader takes what the writer writes and what a
// spreadsheet makes of it (CR LF row ends, a byte order mark, columns in another order,
// empty lines between rows), and refuses anything else with the row's memo number.
#pragma once

#include <ostream>
#include <string_view>
#include <vector>

#include "exchange/ExchangeMemo.h"
#include "exchange/ImportProblem.h"

namespace tallimor {

// Writes the header row and one row per memo.
void WriteCsvMemos(const std::vector<ExchangeMemo>& memos, std::ostream& out);

// Reads every memo of `bytes` into *memos (replacing what it held). False with
// *problem set (and *memos empty) at the first fault: the file's form (kCsv*), its
// size or its number of memos. The texts are not checked here beyond their form; a
// CR LF inside a field becomes LF and an empty category means Unfiled.
bool ReadCsvMemos(std::string_view bytes, std::vector<ExchangeMemo>* memos, ImportProblem* problem);

}  // namespace tallimor
