// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The category name dialog. The name goes into the category object as code page 932
// bytes; the 15-byte limit is counted in those bytes, so seven double-byte characters
// and one single-byte character fit, an eighth double-byte one does not.
#include "desktop/CInputCategoryNameDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "desktop/CDesktopApp.h"
#include "desktop/Cp932Input.h"
#include "desktop/DialogUnits.h"
#include "desktop/TextConversion.h"
#include "desktop/resources/StringTable.h"

namespace tallimor {

CInputCategoryNameDlg::CInputCategoryNameDlg(CDesktopApp& app, QWidget* parent)
    : QDialog(parent), app_(app) {
  setObjectName(QStringLiteral("InputCategoryNameDlg"));
  setWindowTitle(QStringLiteral("カテゴリー"));
  setFont(DialogFont());
  DialogUnits du(font());
  setFixedSize(du.Size(175, 69));

  auto* label = new QLabel(QStringLiteral("新規カテゴリー名(&E)："), this);
  label->setGeometry(du.Rect(14, 9, 87, 9).adjusted(0, 0, du.X(40), 2));
  name_ = new QLineEdit(this);
  name_->setObjectName(QStringLiteral("CategoryName"));
  name_->setGeometry(du.Rect(14, 20, 148, 14));
  name_->setValidator(new CCp932LengthValidator(kCategoryNameMax, name_));
  label->setBuddy(name_);
  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(du.Rect(54, 45, 50, 14));
  ok_->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel->setGeometry(du.Rect(112, 45, 50, 14));
  connect(ok_, &QPushButton::clicked, this, &CInputCategoryNameDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &CInputCategoryNameDlg::reject);
}

int CInputCategoryNameDlg::exec() {
  InitDialog();
  return QDialog::exec();
}

void CInputCategoryNameDlg::showEvent(QShowEvent* event) {
  InitDialog();
  QDialog::showEvent(event);
}

int CInputCategoryNameDlg::CaptionId() const {
  return newMode_ ? kIdsNewCategory : kIdsRenameCategory;
}

void CInputCategoryNameDlg::InitDialog() {
  if (initialised_) return;
  setWindowTitle(QString::fromUtf8(LoadString(CaptionId())));
  if (!newMode_) {
    const char* name = category_.Name();
    name_->setText(name == nullptr ? QString() : FromCp932(name));
    name_->selectAll();
  }
  name_->setFocus();
  initialised_ = true;
}

void CInputCategoryNameDlg::accept() {
  const QString text = name_->text();
  if (text.isEmpty()) {
    app_.ShowMessage(kIdsEnterCategoryName, CaptionId(), kMbOk | kMbIconExclamation);
    return;
  }
  StoreText converted = ConvertForStore(text);
  if (!converted.ok) {
    app_.ShowMessage(kIdsCategoryNotCp932, CaptionId(), kMbOk | kMbIconExclamation,
                     DescribeOffending(converted.offending));
    name_->setFocus();
    return;
  }
  // Blanks only, or a name another category has, are accepted as typed.
  category_.SetName(converted.bytes.c_str());
  QDialog::accept();
}

}  // namespace tallimor
