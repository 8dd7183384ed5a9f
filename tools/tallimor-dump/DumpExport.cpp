// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Turning a dumped file's records and deciphered memos into exchange memos, then
// handing them to the format's writer.
#include "tools/tallimor-dump/DumpExport.h"

#include <vector>

#include "exchange/CsvMemoFormat.h"
#include "exchange/ExchangeMemo.h"
#include "exchange/KeePassXmlFormat.h"
#include "exchange/TextMemoFormat.h"

namespace tallimor {

std::optional<DumpFormat> DumpFormatNamed(const std::string& name) {
  static const struct {
    const char* name;
    DumpFormat format;
  } kFormats[] = {{"keepass-xml", DumpFormat::kKeePassXml}, {"csv", DumpFormat::kCsv}, {"text", DumpFormat::kText}};
  for (const auto& row : kFormats) {
    if (name == row.name) return row.format;
  }
  return std::nullopt;
}

DumpExportCounts WriteDumpExport(const MemoFile& file, DumpFormat format, bool includeDeleted, std::ostream& out) {
  DumpExportCounts counts;
  const CPCategoryTable* table = file.hasCategories ? &file.categories : nullptr;
  std::vector<ExchangeMemo> memos;
  for (std::size_t i = 0; i < file.records.size() && i < file.memos.size(); ++i) {
    const CPRecord& record = *file.records[i];
    if (!IsExportedRecord(record, includeDeleted)) {
      ++counts.left;
      continue;
    }
    bool lossy = false;
    memos.push_back(MemoFileExchangeMemo(file, i, &lossy));
    if (lossy) ++counts.undecodable;
  }
  counts.memos = memos.size();
  switch (format) {
    case DumpFormat::kKeePassXml: {
      bool unused = false;
      WriteKeePassXml(memos, ExchangeCategoryNames(table, &unused), out, &counts.replaced);
      break;
    }
    case DumpFormat::kCsv:
      WriteCsvMemos(memos, out);
      break;
    case DumpFormat::kText:
      WriteTextMemos(memos, out);
      break;
  }
  return counts;
}

}  // namespace tallimor
