// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The category lists that the views fill from the category table: the filter combo of
// the main view, the category combo of the memo edit dialog and the category editor's
// list. Their entries are sorted by name as the user reads them, with the fixed
// entries ("すべて", "未分類", "カテゴリの編集...") placed around the sorted names.
#pragma once

#include <QString>
#include <cstdint>

class QComboBox;
class QListWidget;

namespace tallimor {

class CPRecordFile;

// Item data of the category entries: -1 all categories, 0 unfiled, 1 to 15 a category
// index, -2 the entry that opens the category editor.
inline constexpr std::int32_t kCategoryAll = -1;
inline constexpr std::int32_t kCategoryUnfiled = 0;
inline constexpr std::int32_t kCategoryEditEntry = -2;

// The texts of the fixed entries.
QString CategoryAllText();        // "すべて"
QString CategoryUnfiledText();    // "未分類"
QString CategoryEditEntryText();  // "カテゴリの編集..."

// The name of the category at `index` of the store's table, for display; empty when
// there is no such category.
QString CategoryNameAt(CPRecordFile& store, std::int32_t index);

// Inserts `text` with `data` at its sorted place: after every entry whose text sorts
// before it or equal to it (ignoring case). Returns the position.
int InsertSorted(QComboBox* combo, const QString& text, std::int32_t data);
int InsertSorted(QListWidget* list, const QString& text, std::int32_t data);

// Refills a category combo: the store's categories 1 to 15 sorted by name, then
// "未分類" (0) and "カテゴリの編集..." (-2); with `withAll`, "すべて" (-1) first.
// Nothing is selected afterwards. Without a store only the fixed entries are there.
void FillCategoryCombo(QComboBox* combo, CPRecordFile* store, bool withAll);

// The item data of a combo entry or list item.
std::int32_t CategoryData(const QComboBox* combo, int position);
std::int32_t CategoryData(const QListWidget* list, int row);

}  // namespace tallimor
