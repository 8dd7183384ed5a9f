// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The memo list's rows. The texts come from the store on demand, so a row shows the
// record as it is now: its first line and the name of its category.
#include "desktop/CMemoListModel.h"

#include <algorithm>

#include "desktop/CDesktopApp.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/CategoryLists.h"
#include "desktop/MemoCommands.h"
#include "desktop/TextConversion.h"

namespace tallimor {

CMemoListModel::CMemoListModel(CDesktopApp& app, QObject* parent)
    : QAbstractTableModel(parent), app_(app) {}

void CMemoListModel::Reset(std::vector<std::int32_t> indexes) {
  beginResetModel();
  rows_ = std::move(indexes);
  rows_.shrink_to_fit();
  endResetModel();
}

void CMemoListModel::Append(const std::vector<std::int32_t>& indexes) {
  if (indexes.empty()) return;
  const int first = Count();
  beginInsertRows(QModelIndex(), first, first + static_cast<int>(indexes.size()) - 1);
  rows_.insert(rows_.end(), indexes.begin(), indexes.end());
  endInsertRows();
}

void CMemoListModel::RemoveRows(std::vector<int> rows) {
  // From the bottom up, a run of neighbouring rows at a time, so removing many rows
  // (a cut of every memo) moves the rest once per run rather than once per row.
  std::sort(rows.begin(), rows.end(), std::greater<int>());
  std::size_t i = 0;
  while (i < rows.size()) {
    const int last = rows[i];
    int first = last;
    while (i + 1 < rows.size() && rows[i + 1] == first - 1) {
      --first;
      ++i;
    }
    ++i;
    if (first < 0 || last >= Count()) continue;
    beginRemoveRows(QModelIndex(), first, last);
    rows_.erase(rows_.begin() + first, rows_.begin() + last + 1);
    endRemoveRows();
  }
}

void CMemoListModel::CategoryChanged(int row) {
  const QModelIndex cell = index(row, kColumnCategory);
  emit dataChanged(cell, cell, {Qt::DisplayRole});
}

std::int32_t CMemoListModel::RecordIndexAt(int row) const {
  return row >= 0 && row < Count() ? rows_[static_cast<std::size_t>(row)] : -1;
}

int CMemoListModel::RowOf(std::int32_t index) const {
  auto found = std::find(rows_.begin(), rows_.end(), index);
  return found == rows_.end() ? -1 : static_cast<int>(found - rows_.begin());
}

int CMemoListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : Count();
}

int CMemoListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 2; }

QVariant CMemoListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  CProtectedRecordFile* store = app_.GetStore();
  const CPRecord* record = store == nullptr ? nullptr : store->RecordAt(RecordIndexAt(index.row()));
  if (record == nullptr) return QString();
  if (index.column() != kColumnContent) return CategoryNameAt(*store, record->Category());
  return FromCp932(MemoFirstLine(MemoTextAt(*store, record->Index())));
}

QVariant CMemoListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  if (section == kColumnContent) return QStringLiteral("内容");
  if (section == kColumnCategory) return QStringLiteral("カテゴリ");
  return {};
}

}  // namespace tallimor
