// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// FoldedMemos: the search form (SearchFolding) of every memo of the open store, by
// record index, so that filtering 65,535 memos as the user types only compares folded
// texts. The copies are made when the store's memos are deciphered (a reload of the
// view) and when a memo is added or its text changes; whoever changes a memo's text
// outside a reload refolds it here. They are as secret as the memos: Forget wipes them,
// and the store's memos going away (closed, replaced, locked) must be followed by it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tallimor {

class CPRecordFile;

class FoldedMemos {
 public:
  FoldedMemos() = default;
  ~FoldedMemos();  // wipes the copies

  FoldedMemos(const FoldedMemos&) = delete;
  FoldedMemos& operator=(const FoldedMemos&) = delete;

  // Wipes what was held, then folds every record of `store`.
  void FoldAll(CPRecordFile& store);
  // FoldAll, unless the copies were made from `store` already.
  void EnsureFor(CPRecordFile& store) {
    if (!IsFor(&store)) FoldAll(store);
  }
  // Folds the record at `index` of the store the copies were made for, anew (it was
  // added or its text changed); an empty slot forgets its copy.
  void Refold(CPRecordFile& store, std::int32_t index);
  // Wipes and forgets every copy.
  void Forget();

  // True when the copies were made from `store` (by FoldAll) and not forgotten since.
  bool IsFor(const CPRecordFile* store) const { return store != nullptr && store == store_; }

  // True when the memo at `index` contains `foldedQuery` (already folded); an empty
  // query is in every memo. A record without a copy yet (added by a path that did not
  // refold it) is folded now.
  bool Contains(CPRecordFile& store, std::int32_t index, std::string_view foldedQuery);

  // Number of record indexes that hold a copy.
  std::size_t Count() const { return count_; }

 private:
  static void Wipe(std::string& text);

  const CPRecordFile* store_ = nullptr;  // the store the copies come from
  std::vector<std::string> folded_;     // folded memo text by record index
  std::vector<bool> known_;             // a copy was made for that index
  std::size_t count_ = 0;               // indexes with known_ set
};

}  // namespace tallimor
