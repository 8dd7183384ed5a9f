// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// UnsavedChanges: the store as last read or written, the changes made since, and their
// replay on the file read anew. A slot keeps its record from one load to the next (the
// desktop marks memos deleted and never empties a slot), so the remembered state of a
// slot is the same memo's, unless its id says otherwise.
#include "protect/UnsavedChanges.h"

#include <algorithm>
#include <map>
#include <new>

#include "crypto/CMD5.h"
#include "protect/PasswordInfo.h"
#include "store/CPRecordFile.h"

namespace tallimor {
namespace {

using Digest = std::array<std::uint8_t, 16>;

Digest DataDigest(const CPRecord& record) {
  CMD5 md5;
  if (record.Data() != nullptr) md5.Update(record.Data(), record.DataLength());
  md5.Finalize();
  return md5.RawDigest().value_or(Digest{});
}

// The category at `index` of the store's table, or an empty name.
const char* NameAt(const CPRecordFile& store, std::int32_t index) {
  const CPCategory* category = store.CategoryAt(index);
  return category != nullptr && category->Name() != nullptr ? category->Name() : "";
}

// The index of the category of `fresh` that stood under this id and name when the
// change was made: by name first (the other program may have reused an id for another
// category), then by id (the other program renamed it). -1 when it is gone.
std::int32_t FindCategory(const CPRecordFile& fresh, std::int32_t id, const std::string& name) {
  const CPCategoryTable* table = fresh.Categories();
  if (table == nullptr) return -1;
  if (!name.empty()) {
    if (const CPCategory* byName = table->FindByName(name.c_str())) return byName->Index();
  }
  if (id >= 0) {
    if (const CPCategory* byId = table->FindById(id)) return byId->Index();
  }
  return -1;
}

}  // namespace

UnsavedChanges::~UnsavedChanges() { WipeChanges(); }

void UnsavedChanges::WipeChanges() {
  for (MemoChange& change : memos_) {
    if (!change.data.empty()) WipeSecret(change.data.data(), change.data.size());
  }
  memos_.clear();
  categories_.clear();
}

UnsavedChanges::MemoState UnsavedChanges::StateOf(const CPRecord& record) {
  MemoState state;
  state.present = true;
  state.id = record.Id();
  state.category = record.Category();
  state.isPrivate = record.IsPrivate();
  state.deleted = record.IsDeleted();
  state.digest = DataDigest(record);
  return state;
}

Result UnsavedChanges::Remember(const CPRecordFile& store) {
  WipeChanges();
  remembered_ = false;
  try {
    const std::int32_t end = store.HighWater();
    memoBaseline_.assign(static_cast<std::size_t>(end), MemoState{});
    for (std::int32_t slot = 0; slot < end; ++slot) {
      if (const CPRecord* record = store.RecordAt(slot))
        memoBaseline_[static_cast<std::size_t>(slot)] = StateOf(*record);
    }
    hadCategoryTable_ = store.Categories() != nullptr;
    for (std::int32_t index = 0; index < kCategoryCount; ++index) {
      CategoryState& state = categoryBaseline_[static_cast<std::size_t>(index)];
      const CPCategory* category = store.CategoryAt(index);
      state.present = category != nullptr;
      state.id = category != nullptr ? category->Id() : -1;
      state.name = NameAt(store, index);
    }
  } catch (const std::bad_alloc&) {
    memoBaseline_.clear();
    return kErrOutOfMemory;
  }
  remembered_ = true;
  return kOk;
}

Result UnsavedChanges::Collect(const CPRecordFile& store) {
  WipeChanges();
  if (!remembered_) return kErrNotOpen;
  try {
    // The category table first: a memo whose category index stayed while another
    // category took that index has changed category all the same.
    for (std::int32_t index = 0; index < kCategoryCount; ++index) {
      const std::size_t at = static_cast<std::size_t>(index);
      CategoryState& now = categoriesNow_[at];
      const CPCategory* category = store.CategoryAt(index);
      now.present = category != nullptr;
      now.id = category != nullptr ? category->Id() : -1;
      now.name = NameAt(store, index);
      if (index == 0 || !store.Categories() || !hadCategoryTable_) continue;
      const CategoryState& before = categoryBaseline_[at];
      const bool same = before.present && now.present && before.id == now.id;
      if (before.present && !same) categories_.push_back({CategoryChangeKind::kDeleted, index, before, {}});
      if (now.present && !same) categories_.push_back({CategoryChangeKind::kAdded, index, {}, now.name});
      if (same && before.name != now.name)
        categories_.push_back({CategoryChangeKind::kRenamed, index, before, now.name});
    }
    auto categoryMoved = [this](const MemoState& before, std::int32_t category) {
      if (before.category != category) return true;
      if (category <= 0 || category >= kCategoryCount) return false;
      const std::size_t at = static_cast<std::size_t>(category);
      return categoryBaseline_[at].id != categoriesNow_[at].id;
    };

    const std::int32_t end = std::max<std::int32_t>(store.HighWater(),
                                                    static_cast<std::int32_t>(memoBaseline_.size()));
    for (std::int32_t slot = 0; slot < end; ++slot) {
      const MemoState before = static_cast<std::size_t>(slot) < memoBaseline_.size()
                                   ? memoBaseline_[static_cast<std::size_t>(slot)]
                                   : MemoState{};
      const CPRecord* record = store.RecordAt(slot);
      // Another record in the slot (an id that changed) means the remembered one went.
      const bool sameRecord = before.present && record != nullptr && record->Id() == before.id;
      if (before.present && !before.deleted && !sameRecord) {
        MemoChange gone;
        gone.kind = MemoChangeKind::kDeleted;
        gone.before = before;
        memos_.push_back(std::move(gone));
      }
      if (record == nullptr) continue;
      const MemoState now = StateOf(*record);
      MemoChange change;
      change.before = before;
      if (!sameRecord) {
        if (now.deleted) continue;  // written and deleted again before any save
        change.kind = MemoChangeKind::kAdded;
      } else if (now.deleted) {
        if (before.deleted) continue;
        change.kind = MemoChangeKind::kDeleted;
        memos_.push_back(std::move(change));
        continue;
      } else {
        change.kind = MemoChangeKind::kChanged;
        change.dataChanged = now.digest != before.digest;
        change.categoryChanged = categoryMoved(before, now.category);
        change.privateChanged = now.isPrivate != before.isPrivate;
        const bool undeleted = before.deleted;
        if (!change.dataChanged && !change.categoryChanged && !change.privateChanged && !undeleted)
          continue;
      }
      if (record->Data() != nullptr)
        change.data.assign(record->Data(), record->Data() + record->DataLength());
      change.category = now.category;
      change.isPrivate = now.isPrivate;
      memos_.push_back(std::move(change));
    }
  } catch (const std::bad_alloc&) {
    WipeChanges();
    return kErrOutOfMemory;
  }
  return kOk;
}

std::int32_t UnsavedChanges::MapCategory(const CPRecordFile& fresh, std::int32_t index,
                                         const std::array<std::int32_t, kCategoryCount>& added) const {
  if (index <= 0 || index >= kCategoryCount) return 0;
  if (fresh.Categories() == nullptr) return index;  // no table to look in: as it was
  const std::size_t at = static_cast<std::size_t>(index);
  if (added[at] >= 0) return added[at];
  const CategoryState& now = categoriesNow_[at];
  if (!now.present) return -1;
  const CategoryState& before = categoryBaseline_[at];
  const bool known = before.present && before.id == now.id;
  return FindCategory(fresh, known ? now.id : -1, now.name);
}

Result UnsavedChanges::ApplyTo(CPRecordFile& fresh, UnsavedChangeCounts* counts) const {
  *counts = UnsavedChangeCounts{};
  std::array<std::int32_t, kCategoryCount> added;
  added.fill(-1);
  try {
    // Deletions first, so that their indexes are free for the categories added.
    for (CategoryChangeKind kind :
         {CategoryChangeKind::kDeleted, CategoryChangeKind::kRenamed, CategoryChangeKind::kAdded}) {
      for (const CategoryChange& change : categories_) {
        if (change.kind != kind || fresh.Categories() == nullptr) continue;
        if (kind == CategoryChangeKind::kAdded) {
          const std::int32_t there = FindCategory(fresh, -1, change.name);
          if (there >= 0) {
            added[static_cast<std::size_t>(change.index)] = there;
            continue;
          }
          CPCategory category;
          category.SetName(change.name.c_str());
          if (fresh.AddCategory(category) == kOk) {
            added[static_cast<std::size_t>(change.index)] = category.Index();
            ++counts->categoriesAdded;
          } else {
            ++counts->categoriesGone;
          }
          continue;
        }
        const std::int32_t target = FindCategory(fresh, change.before.id, change.before.name);
        if (target <= 0) {
          ++counts->categoriesGone;
          continue;
        }
        if (kind == CategoryChangeKind::kDeleted) {
          // Records the other program filed there go to Unfiled, never away.
          if (fresh.DeleteCategory(target, true) == kOk) ++counts->categoriesDeleted;
          continue;
        }
        const std::int32_t clash = FindCategory(fresh, -1, change.name);
        if ((clash >= 0 && clash != target) || fresh.RenameCategory(target, change.name.c_str()) != kOk) {
          ++counts->categoriesGone;
          continue;
        }
        ++counts->categoriesRenamed;
      }
    }

    // The file's records by data digest, for memos that had no id yet; built once.
    std::multimap<Digest, std::int32_t> byDigest;
    bool indexed = false;
    std::vector<bool> claimed(static_cast<std::size_t>(fresh.HighWater()), false);
    auto findTarget = [&](const MemoState& before) -> std::int32_t {
      if (before.id != 0) {
        const std::int32_t slot = fresh.FindRecordById(before.id);
        if (slot < 0 || claimed[static_cast<std::size_t>(slot)]) return -1;
        claimed[static_cast<std::size_t>(slot)] = true;
        return slot;
      }
      if (!indexed) {
        for (std::int32_t slot = 0; slot < static_cast<std::int32_t>(claimed.size()); ++slot) {
          if (const CPRecord* record = fresh.RecordAt(slot)) byDigest.emplace(DataDigest(*record), slot);
        }
        indexed = true;
      }
      auto [first, last] = byDigest.equal_range(before.digest);
      for (auto it = first; it != last; ++it) {
        const std::size_t at = static_cast<std::size_t>(it->second);
        if (claimed[at]) continue;
        claimed[at] = true;
        return it->second;
      }
      return -1;
    };
    auto addMemo = [&](const MemoChange& change) -> Result {
      CPRecord* record = fresh.AddEmptyRecord();
      if (record == nullptr) return kErrOutOfMemory;
      const Result stored = record->SetData(static_cast<std::uint32_t>(change.data.size()), change.data.data());
      if (stored != kOk) return stored;
      const std::int32_t category = MapCategory(fresh, change.category, added);
      record->SetCategory(category < 0 ? 0 : category);
      record->SetPrivate(change.isPrivate);
      return kOk;
    };

    for (const MemoChange& change : memos_) {
      switch (change.kind) {
        case MemoChangeKind::kAdded: {
          const Result result = addMemo(change);
          if (result != kOk) return result;
          ++counts->added;
          break;
        }
        case MemoChangeKind::kDeleted: {
          const std::int32_t slot = findTarget(change.before);
          if (slot < 0) break;  // already gone from the file
          if (!fresh.RecordAt(slot)->IsDeleted()) {
            fresh.MarkDeleted(slot, true);
            ++counts->deleted;
          }
          break;
        }
        case MemoChangeKind::kChanged: {
          const std::int32_t slot = findTarget(change.before);
          if (slot < 0) {
            const Result result = addMemo(change);
            if (result != kOk) return result;
            ++counts->addedForGone;
            break;
          }
          CPRecord* record = fresh.RecordAt(slot);
          if (change.dataChanged) {
            const Result stored =
                record->SetData(static_cast<std::uint32_t>(change.data.size()), change.data.data());
            if (stored != kOk) return stored;
          }
          if (change.privateChanged) record->SetPrivate(change.isPrivate);
          if (change.categoryChanged) {
            const std::int32_t category = MapCategory(fresh, change.category, added);
            if (category >= 0) record->SetCategory(category);
          }
          // The user's change wins over a deletion the user never saw.
          if (record->IsDeleted()) fresh.MarkDeleted(slot, false);
          fresh.MarkModified(slot, true);
          ++counts->changed;
          break;
        }
      }
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace tallimor
