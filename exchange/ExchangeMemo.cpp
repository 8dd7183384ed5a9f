// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Building exchange memos from stored records: the one place where stored text turns
// into the UTF-8 of every export.
#include "exchange/ExchangeMemo.h"

#include "protect/StoredMemo.h"
#include "store/CPCategoryTable.h"
#include "store/CPRecord.h"
#include "text/ShownText.h"

namespace tallimor {
namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

}  // namespace

std::string Utf8FromCp932Lossy(std::string_view cp932, bool* lossy) {
  std::string out;
  DecodeCp932Runs(
      cp932, [&](std::string_view utf8) { out += utf8; },
      [&](unsigned char) {
        out += kReplacement;
        *lossy = true;
      });
  return out;
}

std::string ExchangeCategoryName(const CPCategoryTable* table, int index, bool* lossy) {
  const CPCategory* category = index > 0 && table != nullptr ? table->At(index) : nullptr;
  if (category == nullptr || category->Name() == nullptr) return kUnfiledCategoryName;
  std::string name = Utf8FromCp932Lossy(category->Name(), lossy);
  for (char& c : name) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  return name;
}

std::vector<std::string> ExchangeCategoryNames(const CPCategoryTable* table, bool* lossy) {
  std::vector<std::string> names{kUnfiledCategoryName};
  for (int index = 1; table != nullptr && index < kCategoryCount; ++index) {
    const CPCategory* category = table->At(index);
    if (category != nullptr && category->Name() != nullptr) {
      names.push_back(ExchangeCategoryName(table, index, lossy));
    }
  }
  return names;
}

bool IsExportedRecord(const CPRecord& record, bool includeDeleted) {
  return includeDeleted || (!record.IsDeleted() && !record.IsArchived());
}

ExchangeMemo MakeExchangeMemo(const CPRecord& record, std::string_view cp932Text,
                              const CPCategoryTable* table, bool* lossy) {
  ExchangeMemo memo;
  memo.category = ExchangeCategoryName(table, record.Category(), lossy);
  memo.text = Utf8FromCp932Lossy(CrLfToLf(cp932Text), lossy);
  memo.isPrivate = record.IsPrivate();
  memo.deleted = record.IsDeleted();
  memo.archived = record.IsArchived();
  return memo;
}

}  // namespace tallimor
