// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Memo commands on the store. Paste builds every record through the stored memo form,
// as the memo edit dialog does, so a pasted memo and a typed one are stored alike.
#include "desktop/MemoCommands.h"

#include "protect/StoredMemo.h"
#include "store/CPRecordFile.h"

namespace tallimor {

std::string_view MemoFirstLine(std::string_view memo) {
  const std::size_t newline = memo.find('\n');
  return newline == std::string_view::npos ? memo : memo.substr(0, newline);
}

std::string_view MemoTextAt(CPRecordFile& store, std::int32_t index) {
  const CPRecord* record = store.RecordAt(index);
  return record == nullptr ? std::string_view() : StoredMemoText(*record);
}

std::string MemoClipboardText(CPRecordFile& store, const std::vector<std::int32_t>& indexes) {
  std::string text;
  for (std::size_t i = 0; i < indexes.size(); ++i) {
    if (i != 0) text.push_back(kMemoSeparator);
    text += LfToCrLf(MemoTextAt(store, indexes[i]));
  }
  return text;
}

std::vector<std::string_view> SplitClipboardMemos(std::string_view text) {
  std::vector<std::string_view> memos;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(kMemoSeparator, start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) memos.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return memos;
}

Result PasteMemos(CPRecordFile& store, std::string_view text, std::int32_t category,
                  std::vector<std::int32_t>* added) {
  for (std::string_view token : SplitClipboardMemos(text)) {
    const std::string memo = CrLfToLf(token);
    for (std::string_view piece : SplitMemoPieces(memo, kMaxPastedMemoBytes)) {
      CPRecord* record = store.AddEmptyRecord();
      if (record == nullptr) return kErrOutOfMemory;
      Result stored = StoreMemo(*record, piece);
      record->SetCategory(category);
      if (added != nullptr) added->push_back(record->Index());
      if (stored != kOk) return stored;
    }
  }
  return kOk;
}

}  // namespace tallimor
