// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Filling the category lists. Names are code page 932 bytes in the table and shown
// converted; the table is walked in index order, the controls keep the names sorted.
#include "desktop/CategoryLists.h"

#include <QComboBox>
#include <QListWidget>

#include "desktop/TextConversion.h"
#include "store/CPRecordFile.h"

namespace tallimor {
namespace {

// The position before which `text` goes among `count` sorted texts.
template <typename TextAt>
int SortedPosition(int count, const QString& text, TextAt textAt) {
  int at = 0;
  while (at < count && QString::compare(textAt(at), text, Qt::CaseInsensitive) <= 0) ++at;
  return at;
}

QString NameOf(const CPCategory& category) {
  const char* name = category.Name();
  return name == nullptr ? QString() : FromCp932(name);
}

}  // namespace

QString CategoryAllText() { return QStringLiteral("すべて"); }
QString CategoryUnfiledText() { return QStringLiteral("未分類"); }
QString CategoryEditEntryText() { return QStringLiteral("カテゴリの編集..."); }

QString CategoryNameAt(CPRecordFile& store, std::int32_t index) {
  const CPCategory* category = store.CategoryAt(index);
  return category == nullptr ? QString() : NameOf(*category);
}

int InsertSorted(QComboBox* combo, const QString& text, std::int32_t data) {
  int at = SortedPosition(combo->count(), text, [combo](int i) { return combo->itemText(i); });
  combo->insertItem(at, text, data);
  return at;
}

int InsertSorted(QListWidget* list, const QString& text, std::int32_t data) {
  int at = SortedPosition(list->count(), text, [list](int i) { return list->item(i)->text(); });
  auto* item = new QListWidgetItem(text);
  item->setData(Qt::UserRole, data);
  list->insertItem(at, item);
  return at;
}

void FillCategoryCombo(QComboBox* combo, CPRecordFile* store, bool withAll) {
  const QSignalBlocker quiet(combo);
  combo->clear();
  if (store != nullptr) {
    for (CPCategory* category = store->FirstCategory(); category != nullptr;
         category = store->NextCategory()) {
      if (category->Index() != 0) InsertSorted(combo, NameOf(*category), category->Index());
    }
  }
  if (withAll) combo->insertItem(0, CategoryAllText(), kCategoryAll);
  combo->addItem(CategoryUnfiledText(), kCategoryUnfiled);
  combo->addItem(CategoryEditEntryText(), kCategoryEditEntry);
  combo->setCurrentIndex(-1);
}

std::int32_t CategoryData(const QComboBox* combo, int position) {
  return static_cast<std::int32_t>(combo->itemData(position).toInt());
}

std::int32_t CategoryData(const QListWidget* list, int row) {
  const QListWidgetItem* item = list->item(row);
  return item == nullptr ? kCategoryAll : static_cast<std::int32_t>(item->data(Qt::UserRole).toInt());
}

}  // namespace tallimor
