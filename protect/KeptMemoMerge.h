// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// KeptMemoMerge: puts the memos of a kept file (KeptMemoFile, deciphered with the
// previous password) into the open store, where the store's next save enciphers them
// with the current key and the next HotSync sends them to the handheld.
//
// Rules, per kept memo:
//  - kept as deleted: dropped (it records the deletion of a memo that is gone);
//  - its category is found by NAME: the previous table's name for its index is looked
//    up in the store's table (letter case ignored); a missing name is added when there
//    is room, else the memo goes to Unfiled (index 0);
//  - a non-zero id that a live (not deleted) store record carries: that record takes
//    the kept text, category and private flag and is marked modified;
//  - any other memo is added as a new memo; one kept as archived is added marked
//    archived instead (the record file keeps the mark and the next HotSync archives it).
//
// Merging is idempotent, so that a merge whose file could not be removed after the save
// (the program was killed in between) can simply run again: a kept memo whose text,
// category and private flag already equal a live store memo changes nothing. Each store
// memo stands for at most one kept memo, so two equal kept memos stay two.
#pragma once

#include <cstdint>

#include "store/ResultCodes.h"

namespace tallimor {

class CPRecordFile;
class KeptMemoFile;

// What a merge did.
struct KeptMemoMergeCounts {
  int updated = 0;          // store records that took a kept memo's text
  int added = 0;            // kept memos added as new (or archived) memos
  int alreadyThere = 0;     // kept memos the store already held, unchanged
  int dropped = 0;          // kept deletions
  int categoriesAdded = 0;  // names of the previous table added to the store's
  int unfiled = 0;          // memos whose category found no room and went to Unfiled
};

class KeptMemoMerge {
 public:
  // Merges into `store`, which must be loaded and stays owned by the caller.
  explicit KeptMemoMerge(CPRecordFile& store) : store_(store) {}
  KeptMemoMerge(const KeptMemoMerge&) = delete;
  KeptMemoMerge& operator=(const KeptMemoMerge&) = delete;

  // Merges the memos `kept` has read. On an error (kErrOutOfMemory, or the store's
  // error when a memo is too long for it) the store may hold part of the merge: the
  // caller reloads it rather than save, and the kept file stays for the next login.
  Result Merge(const KeptMemoFile& kept, KeptMemoMergeCounts* counts);

 private:
  // The store's category index for kept category `index`, adding the name if needed.
  std::int32_t MapCategory(const KeptMemoFile& kept, std::int32_t index, KeptMemoMergeCounts* counts);

  CPRecordFile& store_;  // the current store
};

}  // namespace tallimor
