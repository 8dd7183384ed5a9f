// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The memo as it leaves the store for another program and comes back: UTF-8 text with
// LF line ends, its category by name and its private flag. The export formats write
// these, the import readers make them, and the helpers here build them from stored
// records, whose text is code page 932.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tallimor {

class CPCategoryTable;
class CPRecord;

// The name every export gives category index 0, and import reads back as index 0.
inline constexpr char kUnfiledCategoryName[] = "Unfiled";

struct ExchangeMemo {
  std::string category;    // UTF-8 name; kUnfiledCategoryName for index 0
  std::string text;        // UTF-8, LF line ends
  bool isPrivate = false;
  bool deleted = false;    // only with deleted memos asked for; never read back
  bool archived = false;   // likewise
};

// Code page 932 bytes as UTF-8 for the export files, over the decode step every shown
// text uses (text/ShownText.h): every byte that does not start a valid code becomes
// U+FFFD, the replacement every importing program knows, where a terminal or log shows
// \xHH; the conversion goes on after it. Sets *lossy when that happened (it is
// left alone otherwise).
std::string Utf8FromCp932Lossy(std::string_view cp932, bool* lossy);

// The export name of category `index`: kUnfiledCategoryName for 0 and for an index the
// table has no category at (where the handheld files such memos too), else the name as
// UTF-8 with line ends made spaces, so that a name stays on one line in every format.
std::string ExchangeCategoryName(const CPCategoryTable* table, int index, bool* lossy);

// The names of every category of `table` in index order, as ExchangeCategoryName.
std::vector<std::string> ExchangeCategoryNames(const CPCategoryTable* table, bool* lossy);

// True when `record` belongs in an export: a live memo, or any when `includeDeleted`.
bool IsExportedRecord(const CPRecord& record, bool includeDeleted);

// The exchange form of `record`, whose plain memo text (code page 932, up to its NUL)
// is `cp932Text`; CR LF becomes LF. Sets *lossy as Utf8FromCp932Lossy.
ExchangeMemo MakeExchangeMemo(const CPRecord& record, std::string_view cp932Text,
                              const CPCategoryTable* table, bool* lossy);

}  // namespace tallimor
