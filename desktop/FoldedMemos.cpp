// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The folded memo copies. A copy is a search form of a deciphered memo, so it is wiped
// before its memory is given back, as the memos' plain text should be.
#include "desktop/FoldedMemos.h"

#include <string.h>

#include <algorithm>

#include "protect/StoredMemo.h"
#include "store/CPRecordFile.h"
#include "text/SearchFolding.h"

namespace tallimor {

FoldedMemos::~FoldedMemos() { Forget(); }

void FoldedMemos::Wipe(std::string& text) {
  if (!text.empty()) explicit_bzero(text.data(), text.size());
  std::string().swap(text);
}

void FoldedMemos::Forget() {
  for (std::string& text : folded_) Wipe(text);
  folded_.clear();
  folded_.shrink_to_fit();
  known_.clear();
  known_.shrink_to_fit();
  count_ = 0;
  store_ = nullptr;
}

void FoldedMemos::FoldAll(CPRecordFile& store) {
  Forget();
  store_ = &store;
  const auto slots = static_cast<std::size_t>(std::max(store.HighWater(), 0));
  folded_.resize(slots);
  known_.assign(slots, false);
  for (CPRecord* record = store.FirstRecord(); record != nullptr; record = store.NextRecord())
    Refold(store, record->Index());
}

void FoldedMemos::Refold(CPRecordFile& store, std::int32_t index) {
  if (!IsFor(&store) || index < 0) return;
  const auto at = static_cast<std::size_t>(index);
  if (at >= folded_.size()) {
    folded_.resize(at + 1);
    known_.resize(at + 1, false);
  }
  Wipe(folded_[at]);
  if (known_[at]) --count_;
  known_[at] = false;
  const CPRecord* record = store.RecordAt(index);
  if (record == nullptr) return;
  folded_[at] = SearchFolding::FoldCp932(StoredMemoText(*record));
  known_[at] = true;
  ++count_;
}

bool FoldedMemos::Contains(CPRecordFile& store, std::int32_t index, std::string_view foldedQuery) {
  if (foldedQuery.empty()) return true;
  if (!IsFor(&store) || index < 0) return false;
  const auto at = static_cast<std::size_t>(index);
  if (at >= known_.size() || !known_[at]) Refold(store, index);
  return at < known_.size() && known_[at] &&
         std::string_view(folded_[at]).find(foldedQuery) != std::string_view::npos;
}

}  // namespace tallimor
