// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Memos as plain text, readable as they are and read back into the same memos. Each
// memo is a header line, then its text, then a line end:
//
//   %% 仕事
//   first line of the memo
//   second line
//   %%* 個人
//   a private memo
//
// "%% " starts a memo, "%%* " a private one; the rest of the header line is the
// category name. A memo line that starts with "%%" is written with one more "%" in
// front, and the reader takes one away again, so no memo text can pass for a header.
#pragma once

#include <ostream>
#include <string_view>
#include <vector>

#include "exchange/ExchangeMemo.h"
#include "exchange/ImportProblem.h"

namespace tallimor {

// Writes every memo in order.
void WriteTextMemos(const std::vector<ExchangeMemo>& memos, std::ostream& out);

// Reads every memo of `bytes` into *memos (replacing what it held). An empty file holds
// no memo; CR LF line ends are taken as LF (and CRs at a line end dropped), a byte
// order mark is skipped, and the last
// memo may lack its final line end. False with *problem set (and *memos empty) when the
// file does not start with a header line (kTextNoHeader), is too large or holds too
// many memos.
bool ReadTextMemos(std::string_view bytes, std::vector<ExchangeMemo>* memos, ImportProblem* problem);

}  // namespace tallimor
