// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The store side of the memo commands: the first line that the memo list shows, the
// clipboard text of a set of memos (CR LF line breaks, memos separated by one form
// feed), and paste, which turns such a text back into new memos of at most 32,767
// bytes each. Texts are code page 932 bytes; the views convert at their edge.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/ResultCodes.h"

namespace tallimor {

class CPRecordFile;

// The separator of memos in the clipboard text.
inline constexpr char kMemoSeparator = '\f';

// The memo text up to, not including, its first LF (all of it when it has none).
std::string_view MemoFirstLine(std::string_view memo);

// The memo text of the record at `index` (empty when there is none).
std::string_view MemoTextAt(CPRecordFile& store, std::int32_t index);

// The clipboard text of the memos at `indexes`, in that order: each with its LF turned
// into CR LF, neighbours separated by a single form feed, nothing before the first or
// after the last.
std::string MemoClipboardText(CPRecordFile& store, const std::vector<std::int32_t>& indexes);

// The memos of a clipboard text: the pieces between form feeds, without empty ones
// (runs of form feeds and form feeds at either end separate nothing).
std::vector<std::string_view> SplitClipboardMemos(std::string_view text);

// Adds the memos of a clipboard text to the store, filed under `category`: each piece
// between form feeds gets LF line breaks and is cut at character boundaries into memos
// of at most kMaxPastedMemoBytes bytes, each a new record. The indexes of the records
// added go to `added` in order. kErrOutOfMemory when a record cannot be added (the
// memos added before stay).
Result PasteMemos(CPRecordFile& store, std::string_view text, std::int32_t category,
                  std::vector<std::int32_t>* added);

}  // namespace tallimor
