// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// UnsavedChanges: what the user changed in the store since the file was last read or
// written, told apart from what was there, so that the changes can be put back on top
// of the file after another program (a HotSync that ran without telling the desktop
// program, another Tallimor) has rewritten it.
//
// The store remembers itself as read or written (Remember): per record slot its id,
// category, private flag, deleted mark and a digest of its data, and the category
// table. Collect() compares the store with that and keeps the changes, with copies of
// the changed memos' data; ApplyTo() replays them on a store freshly loaded from the
// file:
//  - a memo new since then is added again (as a new memo);
//  - a memo changed since then is put over the record with the same id, or, for a memo
//    that has no id yet (never synchronised), over the record whose data equals what
//    it was; only the fields the user changed (text, category, private flag) are put
//    over, so a change the other program made to another field stays; a record the
//    other program marked deleted comes back, the user's change winning; when the file
//    no longer has the record at all, the memo is added as new;
//  - a memo deleted since then is deleted by id (or by its former data), if still there;
//  - category tables: a category deleted since then is deleted where the file still
//    has it (its records moved to Unfiled, never lost); a rename is applied where the
//    category still exists; a category added since then is added unless the file has
//    one of that name already. A memo's category change is kept where the category
//    still exists in the file; a new memo whose category is gone goes to Unfiled.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "store/CPCategory.h"
#include "store/ResultCodes.h"

namespace tallimor {

class CPRecord;
class CPRecordFile;

// What ApplyTo() did.
struct UnsavedChangeCounts {
  int added = 0;              // new memos added again
  int changed = 0;            // changes put over the record they belong to
  int addedForGone = 0;       // changed memos whose record the file no longer has
  int deleted = 0;            // deletions applied
  int categoriesAdded = 0;    // categories added to the file's table
  int categoriesRenamed = 0;  // renames applied
  int categoriesDeleted = 0;  // category deletions applied
  int categoriesGone = 0;     // category changes dropped: the category is no longer there

  int MemoCount() const { return added + changed + addedForGone + deleted; }
};

class UnsavedChanges {
 public:
  UnsavedChanges() = default;
  ~UnsavedChanges();  // wipes the copies of changed memos
  UnsavedChanges(const UnsavedChanges&) = delete;
  UnsavedChanges& operator=(const UnsavedChanges&) = delete;

  // Remembers `store` as it is now: just read from its file, or just written to it.
  // Before the first call nothing counts as read: every memo is new. Drops collected
  // changes. kErrOutOfMemory leaves nothing remembered, and Collect() then fails.
  Result Remember(const CPRecordFile& store);

  // Collects what `store` holds beyond what was remembered, replacing changes collected
  // before. kErrOutOfMemory, or kErrNotOpen when the last Remember() failed.
  Result Collect(const CPRecordFile& store);

  // True when Collect() found nothing to put back.
  bool IsEmpty() const { return memos_.empty() && categories_.empty(); }

  // Puts the collected changes on top of `fresh`, a store just loaded from the file.
  // On an error (kErrOutOfMemory, or a record the store refuses) `fresh` may hold part
  // of them: the caller drops it, and may collect again from the store it came from.
  Result ApplyTo(CPRecordFile& fresh, UnsavedChangeCounts* counts) const;

 private:
  // A record slot or a category as remembered.
  struct MemoState {
    bool present = false;
    std::uint32_t id = 0;
    std::int32_t category = 0;
    bool isPrivate = false;
    bool deleted = false;
    std::array<std::uint8_t, 16> digest{};  // MD5 of the record's data
  };
  struct CategoryState {
    bool present = false;
    std::int32_t id = -1;
    std::string name;
  };

  enum class MemoChangeKind { kAdded, kChanged, kDeleted };
  // One memo change, with what the memo was (kChanged, kDeleted) and what it is now.
  struct MemoChange {
    MemoChangeKind kind = MemoChangeKind::kAdded;
    MemoState before;
    bool dataChanged = false;
    bool categoryChanged = false;
    bool privateChanged = false;
    std::vector<std::uint8_t> data;  // the memo's data now (plain)
    std::int32_t category = 0;       // index in the store's table now
    bool isPrivate = false;
  };
  enum class CategoryChangeKind { kDeleted, kRenamed, kAdded };
  struct CategoryChange {
    CategoryChangeKind kind = CategoryChangeKind::kAdded;
    std::int32_t index = 0;  // in the store's table
    CategoryState before;    // kDeleted, kRenamed
    std::string name;        // kRenamed, kAdded: the name now
  };

  static MemoState StateOf(const CPRecord& record);
  // The index in `fresh` that the store's category `index` now stands at, or -1.
  std::int32_t MapCategory(const CPRecordFile& fresh, std::int32_t index,
                           const std::array<std::int32_t, kCategoryCount>& added) const;
  void WipeChanges();

  bool remembered_ = true;                               // false after a failed Remember
  std::vector<MemoState> memoBaseline_;                  // by record slot
  std::array<CategoryState, kCategoryCount> categoryBaseline_;
  bool hadCategoryTable_ = false;                        // the remembered store had a table
  std::vector<MemoChange> memos_;                        // collected memo changes
  std::vector<CategoryChange> categories_;               // collected category changes
  std::array<CategoryState, kCategoryCount> categoriesNow_;  // the store's table at Collect
};

}  // namespace tallimor
