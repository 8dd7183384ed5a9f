// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The password prompt, laid out in dialog units like the program's other dialogs. The
// explanation wraps inside its frame, so texts of any length in the string table fit.
#include "desktop/CPasswordPromptDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "desktop/DialogUnits.h"

namespace tallimor {

CPasswordPromptDlg::CPasswordPromptDlg(const QString& caption, const QString& text, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("PasswordPromptDlg"));
  setWindowTitle(caption);
  setFont(DialogFont());
  DialogUnits du(font());
  setFixedSize(du.Size(208, 124));

  text_ = new QLabel(text, this);
  text_->setObjectName(QStringLiteral("PromptText"));
  text_->setWordWrap(true);
  text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  text_->setGeometry(du.Rect(12, 9, 184, 64));

  auto* label = new QLabel(QStringLiteral("パスワード："), this);
  QFontMetrics metrics(font());
  label->setGeometry(du.LabelRect(metrics, label->text(), 21, 82, 36, 8));
  password_ = new QLineEdit(this);
  password_->setObjectName(QStringLiteral("PromptPassword"));
  password_->setGeometry(du.Rect(60, 79, 109, 14));
  password_->setEchoMode(QLineEdit::Password);
  password_->setMaxLength(kMaxPasswordLength);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(du.Rect(94, 103, 50, 14));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel_->setGeometry(du.Rect(151, 103, 50, 14));
  connect(ok_, &QPushButton::clicked, this, &CPasswordPromptDlg::accept);
  connect(cancel_, &QPushButton::clicked, this, &CPasswordPromptDlg::reject);
  password_->setFocus();
}

}  // namespace tallimor
