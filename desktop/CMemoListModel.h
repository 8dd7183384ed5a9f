// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The rows of the main view's memo list: one record index per row, nothing else. The
// texts of the two columns (the memo's first line, the category name) are read from
// the current store when a row is drawn, so rebuilding the list of a 65,535-memo file
// costs one integer per memo and no text conversion. The model also keeps the folded
// copies of the memos that the find field searches.
#pragma once

#include <QAbstractTableModel>
#include <cstdint>
#include <vector>

#include "desktop/FoldedMemos.h"

namespace tallimor {

class CDesktopApp;

class CMemoListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // Columns of the list.
  static constexpr int kColumnContent = 0;   // "内容": the first line
  static constexpr int kColumnCategory = 1;  // "カテゴリ": the category name

  CMemoListModel(CDesktopApp& app, QObject* parent);

  CMemoListModel(const CMemoListModel&) = delete;
  CMemoListModel& operator=(const CMemoListModel&) = delete;

  // Replaces every row by the records at `indexes`, in that order.
  void Reset(std::vector<std::int32_t> indexes);
  // Adds rows for the records at `indexes` after the last one, in that order.
  void Append(const std::vector<std::int32_t>& indexes);
  // Removes the rows at `rows` (any order, each once).
  void RemoveRows(std::vector<int> rows);
  // Tells the views that the category column of `row` has changed.
  void CategoryChanged(int row);

  // The record index of `row`, -1 outside the list.
  std::int32_t RecordIndexAt(int row) const;
  // The row of the record at `index`, -1 when it has none.
  int RowOf(std::int32_t index) const;
  int Count() const { return static_cast<int>(rows_.size()); }

  // The search form of every memo of the store, made when the memos are deciphered or
  // changed, forgotten with them.
  FoldedMemos& Folded() { return folded_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  CDesktopApp& app_;                 // for the current store
  std::vector<std::int32_t> rows_;   // record index of each row
  FoldedMemos folded_;               // the memos' search form, by record index
};

}  // namespace tallimor
