// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The merge of kept memos into the store. The store's live records are indexed once,
// by id and by content, before anything is added, so that the memos this merge adds
// are never taken for ones that were there before it.
#include "protect/KeptMemoMerge.h"

#include <array>
#include <new>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "protect/KeptMemoFile.h"
#include "protect/StoredMemo.h"
#include "store/CPRecordFile.h"

namespace tallimor {
namespace {

// What makes two memos the same to a user: text, category and private flag.
std::string ContentKey(std::int32_t category, bool isPrivate, std::string_view text) {
  std::string key;
  key.reserve(text.size() + 2);
  key.push_back(static_cast<char>(category));
  key.push_back(isPrivate ? 'p' : '-');
  key.append(text);
  return key;
}

std::string ContentKey(const CPRecord& record) {
  return ContentKey(record.Category(), record.IsPrivate(), StoredMemoText(record));
}

}  // namespace

std::int32_t KeptMemoMerge::MapCategory(const KeptMemoFile& kept, std::int32_t index,
                                        KeptMemoMergeCounts* counts) {
  if (index <= 0) return 0;  // Unfiled is index 0 in every table
  const std::string& name = kept.CategoryName(index);
  if (name.empty()) return 0;  // the previous table had no category there
  if (CPCategoryTable* table = store_.Categories()) {
    if (const CPCategory* found = table->FindByName(name.c_str())) return found->Index();
  }
  CPCategory added;
  added.SetName(name.c_str());
  if (store_.AddCategory(added) == kOk) {
    ++counts->categoriesAdded;
    return added.Index();
  }
  return -1;  // no room: the caller files the memo as Unfiled
}

Result KeptMemoMerge::Merge(const KeptMemoFile& kept, KeptMemoMergeCounts* counts) {
  *counts = KeptMemoMergeCounts{};
  try {
    const std::int32_t end = store_.HighWater();
    std::unordered_map<std::uint32_t, std::int32_t> liveById;
    std::unordered_map<std::string, std::vector<std::int32_t>> liveByContent;
    std::vector<bool> taken(static_cast<std::size_t>(end), false);
    for (std::int32_t slot = 0; slot < end; ++slot) {
      const CPRecord* record = store_.RecordAt(slot);
      if (record == nullptr || record->IsDeleted()) continue;
      if (record->Id() != 0) liveById.emplace(record->Id(), slot);
      liveByContent[ContentKey(*record)].push_back(slot);
    }
    // Looked up once per previous category, so a name is added at most once.
    std::array<std::int32_t, kCategoryCount> mapped;
    mapped.fill(-2);

    for (const KeptMemo& memo : kept.Memos()) {
      if ((memo.status & kStatusDeleted) != 0) {
        ++counts->dropped;
        continue;
      }
      const bool archived = (memo.status & kStatusArchived) != 0;
      std::int32_t category = 0;
      if (memo.category > 0 && memo.category < kCategoryCount) {
        std::int32_t& known = mapped[static_cast<std::size_t>(memo.category)];
        if (known == -2) known = MapCategory(kept, memo.category, counts);
        if (known == -1) ++counts->unfiled;
        category = known < 0 ? 0 : known;
      }
      const std::string key = ContentKey(category, memo.isPrivate, memo.text);

      if (memo.id != 0) {
        const auto live = liveById.find(memo.id);
        if (live != liveById.end() && !taken[static_cast<std::size_t>(live->second)]) {
          const std::int32_t slot = live->second;
          taken[static_cast<std::size_t>(slot)] = true;
          CPRecord* record = store_.RecordAt(slot);
          if (ContentKey(*record) == key) {
            ++counts->alreadyThere;
            continue;
          }
          const Result stored = StoreMemo(*record, memo.text);
          if (stored != kOk) return stored;
          record->SetCategory(category);
          record->SetPrivate(memo.isPrivate);
          if (archived) record->SetArchived(true);
          store_.MarkModified(slot, true);
          ++counts->updated;
          continue;
        }
      }

      const auto same = liveByContent.find(key);
      if (same != liveByContent.end()) {
        bool found = false;
        for (const std::int32_t slot : same->second) {
          if (taken[static_cast<std::size_t>(slot)]) continue;
          taken[static_cast<std::size_t>(slot)] = true;
          found = true;
          break;
        }
        if (found) {
          ++counts->alreadyThere;
          continue;
        }
      }

      CPRecord* added = store_.AddEmptyRecord();
      if (added == nullptr) return kErrOutOfMemory;
      const Result stored = StoreMemo(*added, memo.text);
      if (stored != kOk) return stored;
      added->SetCategory(category);
      added->SetPrivate(memo.isPrivate);
      if (archived) added->SetStatus(kStatusArchived);
      ++counts->added;
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

}  // namespace tallimor
