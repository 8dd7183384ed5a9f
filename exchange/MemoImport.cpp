// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Import into a store: every check before the first change, and a failed change taken
// back whole.
#include "exchange/MemoImport.h"

#include <map>
#include <new>

#include "protect/StoredMemo.h"
#include "store/CPCategory.h"
#include "store/CPCategoryTable.h"
#include "store/CPRecordFile.h"
#include "text/CodePage932.h"

namespace tallimor {
namespace {

// Converts `utf8`; on failure fills *problem with `unrepresentable` or kNotUtf8.
bool ToCp932(const std::string& utf8, ImportFault unrepresentable, std::size_t number, std::string* out,
             ImportProblem* problem) {
  Converted<std::string> converted = CodePage932::FromUtf8(utf8);
  if (converted.ok()) {
    *out = std::move(converted.text);
    return true;
  }
  problem->memo = number;
  if (converted.error == TextError::kUnrepresentable) {
    problem->fault = unrepresentable;
    problem->character = converted.errorCharacter;
  } else {
    problem->fault = ImportFault::kNotUtf8;
  }
  return false;
}

}  // namespace

bool MemoImport::Prepare(const std::vector<ExchangeMemo>& memos, ImportProblem* problem) {
  prepared_.clear();
  *problem = ImportProblem{};
  if (memos.size() > kMaxImportedMemos) {
    problem->fault = ImportFault::kTooManyMemos;
    problem->memo = kMaxImportedMemos + 1;
    return false;
  }
  std::vector<Prepared> prepared;
  prepared.reserve(memos.size());
  for (std::size_t i = 0; i < memos.size(); ++i) {
    const ExchangeMemo& memo = memos[i];
    const std::size_t number = i + 1;
    Prepared out;
    out.isPrivate = memo.isPrivate;
    if (memo.category != kUnfiledCategoryName) {
      if (!ToCp932(memo.category, ImportFault::kCategoryUnrepresentable, number, &out.category, problem)) return false;
      if (out.category.size() > static_cast<std::size_t>(kCategoryNameMax)) {
        *problem = ImportProblem{ImportFault::kCategoryTooLong, number, 0, 0};
        return false;
      }
    }
    if (!ToCp932(memo.text, ImportFault::kTextUnrepresentable, number, &out.text, problem)) return false;
    if (out.text.find('\0') != std::string::npos) {
      *problem = ImportProblem{ImportFault::kTextHasNul, number, 0, 0};
      return false;
    }
    if (out.text.size() > kMaxStoredMemoText) {
      *problem = ImportProblem{ImportFault::kMemoTooLong, number, 0, 0};
      return false;
    }
    prepared.push_back(std::move(out));
  }
  prepared_ = std::move(prepared);
  return true;
}

Result MemoImport::Apply(CPRecordFile& store, ImportCounts* counts) const {
  *counts = ImportCounts{};
  const bool wasDirty = store.IsDirty();
  CPCategoryTable* table = store.Categories();
  const bool tableWasDirty = table != nullptr && table->IsDirty();
  std::vector<std::int32_t> addedCategories;
  std::vector<std::int32_t> addedRecords;
  auto takeBack = [&](Result error) {
    for (const std::int32_t slot : addedRecords) store.RemoveRecord(slot);
    for (const std::int32_t index : addedCategories) store.DeleteCategory(index, true);
    if (table != nullptr) table->SetDirty(tableWasDirty);
    store.SetDirty(wasDirty);
    *counts = ImportCounts{};
    return error;
  };
  try {
    // Each name is looked up, or made, once.
    std::map<std::string, std::int32_t> indexOf;
    for (const Prepared& memo : prepared_) {
      if (memo.category.empty() || indexOf.count(memo.category) != 0) continue;
      std::int32_t index = -1;  // no room: filed as Unfiled
      if (const CPCategory* found = table != nullptr ? table->FindByName(memo.category.c_str()) : nullptr) {
        index = found->Index();
      } else if (store.FirstFreeCategoryIndex() != -1) {
        CPCategory added;
        added.SetName(memo.category.c_str());
        if (store.AddCategory(added) == kOk) {
          index = added.Index();
          addedCategories.push_back(index);
          ++counts->categoriesAdded;
        }
      }
      indexOf.emplace(memo.category, index);
    }
    addedRecords.reserve(prepared_.size());
    for (const Prepared& memo : prepared_) {
      std::int32_t category = memo.category.empty() ? 0 : indexOf.at(memo.category);
      if (category == -1) {
        category = 0;
        ++counts->filedAsUnfiled;
      }
      CPRecord* record = store.AddEmptyRecord();
      if (record == nullptr) return takeBack(kErrOutOfMemory);
      addedRecords.push_back(record->Index());
      const Result stored = StoreMemo(*record, memo.text);
      if (stored != kOk) return takeBack(stored);
      record->SetCategory(category);
      record->SetPrivate(memo.isPrivate);
    }
  } catch (const std::bad_alloc&) {
    return takeBack(kErrOutOfMemory);
  }
  counts->memos = prepared_.size();
  return kOk;
}

}  // namespace tallimor
