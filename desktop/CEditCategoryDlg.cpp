// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The category editor. It works on the store's category table through the record
// file's category operations, which give a new category the next desktop id and the
// first free index, mark renamed categories changed, and move or delete the memos of a
// deleted category. Failures of those operations are not reported: the list is filled
// again from the table as it then stands.
#include "desktop/CEditCategoryDlg.h"

#include <QListWidget>
#include <QPushButton>

#include "desktop/CDeleteCategoryDlg.h"
#include "desktop/CDesktopApp.h"
#include "desktop/CInputCategoryNameDlg.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/CategoryLists.h"
#include "desktop/DialogUnits.h"
#include "desktop/resources/StringTable.h"

namespace tallimor {

CEditCategoryDlg::CEditCategoryDlg(CDesktopApp& app, QWidget* parent) : QDialog(parent), app_(app) {
  app_.DialogOpened(0);
  setObjectName(QStringLiteral("EditCategoryDlg"));
  setWindowTitle(QStringLiteral("カテゴリの編集"));
  setFont(DialogFont());
  DialogUnits du(font());
  setFixedSize(du.Size(183, 125));

  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("CategoryList"));
  list_->setGeometry(du.Rect(7, 7, 90, 111));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(du.Rect(109, 7, 69, 14));
  ok->setDefault(true);
  auto* add = new QPushButton(QStringLiteral("新規(&N)..."), this);
  add->setGeometry(du.Rect(109, 28, 69, 14));
  auto* remove = new QPushButton(QStringLiteral("削除(&D)..."), this);
  remove->setGeometry(du.Rect(109, 45, 69, 14));
  auto* rename = new QPushButton(QStringLiteral("名前の変更(&E)..."), this);
  rename->setGeometry(du.Rect(109, 62, 69, 14));
  connect(ok, &QPushButton::clicked, this, &CEditCategoryDlg::accept);
  connect(add, &QPushButton::clicked, this, &CEditCategoryDlg::OnNew);
  connect(remove, &QPushButton::clicked, this, &CEditCategoryDlg::OnDelete);
  connect(rename, &QPushButton::clicked, this, &CEditCategoryDlg::OnRename);

  FillList(std::nullopt);
  list_->setFocus();
}

CEditCategoryDlg::~CEditCategoryDlg() { app_.DialogOpened(1); }

void CEditCategoryDlg::FillList(const std::optional<std::string>& name) {
  list_->clear();
  CProtectedRecordFile* store = app_.GetStore();
  if (store == nullptr) return;
  for (CPCategory* category = store->FirstCategory(); category != nullptr;
       category = store->NextCategory()) {
    if (category->Index() != 0) InsertSorted(list_, CategoryNameAt(*store, category->Index()), category->Index());
  }
  if (!name) return;
  for (int row = 0; row < list_->count(); ++row) {
    const CPCategory* category = store->CategoryAt(CategoryData(list_, row));
    const char* stored = category == nullptr ? nullptr : category->Name();
    if (stored != nullptr && *name == stored) {
      list_->setCurrentRow(row);
      return;
    }
  }
}

std::int32_t CEditCategoryDlg::SelectedIndex() const {
  const QList<QListWidgetItem*> selected = list_->selectedItems();
  if (selected.isEmpty()) return -1;
  return CategoryData(list_, list_->row(selected.first()));
}

void CEditCategoryDlg::OnNew() {
  CProtectedRecordFile* store = app_.GetStore();
  if (store == nullptr) return;
  if (store->FirstFreeCategoryIndex() == -1) {
    app_.ShowMessage(kIdsCategoryLimit, kIdsNewCategory, kMbOk | kMbIconExclamation);
    return;
  }
  CInputCategoryNameDlg dialog(app_, this);
  dialog.SetNewMode(true);
  dialog.SetCategory(CPCategory());
  if (dialog.exec() != QDialog::Accepted) return;
  CPCategory category = dialog.Category();
  store->AddCategory(category);
  const char* name = category.Name();
  FillList(std::string(name == nullptr ? "" : name));
}

void CEditCategoryDlg::OnDelete() {
  CProtectedRecordFile* store = app_.GetStore();
  const std::int32_t index = SelectedIndex();
  if (store == nullptr || index == -1) {
    app_.ShowMessage(kIdsSelectBeforeDelete, kIdsAppTitle, kMbOk | kMbIconExclamation);
    return;
  }
  CDeleteCategoryDlg dialog(this);
  if (dialog.exec() != QDialog::Accepted) return;
  store->DeleteCategory(index, dialog.Choice() == CDeleteCategoryDlg::kMoveToUnfiled);
  FillList(std::nullopt);
}

void CEditCategoryDlg::OnRename() {
  CProtectedRecordFile* store = app_.GetStore();
  const std::int32_t index = SelectedIndex();
  const CPCategory* selected = store == nullptr || index == -1 ? nullptr : store->CategoryAt(index);
  if (selected == nullptr) {
    app_.ShowMessage(kIdsSelectBeforeRename, kIdsAppTitle, kMbOk | kMbIconExclamation);
    return;
  }
  CInputCategoryNameDlg dialog(app_, this);
  dialog.SetNewMode(false);
  dialog.SetCategory(*selected);
  if (dialog.exec() != QDialog::Accepted) return;
  const char* name = dialog.Category().Name();
  store->RenameCategory(dialog.Category().Index(), name == nullptr ? "" : name);
  FillList(std::string(name == nullptr ? "" : name));
}

void CEditCategoryDlg::accept() {
  const std::int32_t index = SelectedIndex();
  if (index == -1) {
    QDialog::reject();
    return;
  }
  app_.SetLastCategory(index);
  QDialog::accept();
}

}  // namespace tallimor
