// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The category delete dialog: two radio buttons of one group, OK and Cancel.
#include "desktop/CDeleteCategoryDlg.h"

#include <QPushButton>
#include <QRadioButton>

#include "desktop/DialogUnits.h"

namespace tallimor {

CDeleteCategoryDlg::CDeleteCategoryDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("DeleteCategoryDlg"));
  setWindowTitle(QStringLiteral("カテゴリの削除"));
  setFont(DialogFont());
  DialogUnits du(font());
  setFixedSize(du.Size(171, 74));

  move_ = new QRadioButton(QStringLiteral("データを [未分類] に移動(&M)"), this);
  move_->setGeometry(du.Rect(29, 14, 107, 10).adjusted(0, -2, du.X(30), 2));
  delete_ = new QRadioButton(QStringLiteral("すべてのデータを削除(&D)"), this);
  delete_->setGeometry(du.Rect(29, 31, 93, 10).adjusted(0, -2, du.X(30), 2));
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(du.Rect(30, 53, 50, 14));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel->setGeometry(du.Rect(91, 53, 50, 14));
  connect(ok, &QPushButton::clicked, this, &CDeleteCategoryDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CDeleteCategoryDlg::reject);
  SetChoice(kMoveToUnfiled);
}

void CDeleteCategoryDlg::SetChoice(int choice) {
  choice_ = choice;
  (choice == kDeleteMemos ? delete_ : move_)->setChecked(true);
}

void CDeleteCategoryDlg::accept() {
  choice_ = delete_->isChecked() ? kDeleteMemos : kMoveToUnfiled;
  QDialog::accept();
}

}  // namespace tallimor
