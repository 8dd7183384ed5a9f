// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The user dialog. Its controls stand where template 131 puts them, converted from
// dialog units. The password reaches MD5 and Blowfish as code page 932 bytes; a
// character outside code page 932 is refused with a message instead of being replaced.
#include "desktop/CUserDlg.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <string>

#include "desktop/CDesktopApp.h"
#include "desktop/DialogUnits.h"
#include "protect/PasswordInfo.h"
#include "desktop/TextConversion.h"
#include "desktop/resources/StringTable.h"

namespace tallimor {

CUserDlg::CUserDlg(CDesktopApp& app, QWidget* parent) : QDialog(parent), app_(app) {
  app_.DialogOpened(0);
  setObjectName(QStringLiteral("UserDlg"));
  setWindowTitle(QStringLiteral("ユーザ"));
  setFont(DialogFont());
  DialogUnits du(font());
  setFixedSize(du.Size(208, 159));

  QFontMetrics metrics(font());
  auto* userLabel = new QLabel(QStringLiteral("ユーザ："), this);
  userLabel->setGeometry(du.LabelRect(metrics, userLabel->text(), 33, 9, 25, 8));
  userList_ = new QComboBox(this);
  userList_->setObjectName(QStringLiteral("UserList"));
  userList_->setGeometry(du.X(60), du.Y(7), du.X(109), userList_->sizeHint().height());
  userList_->setMaxVisibleItems(8);

  auto* passwordLabel = new QLabel(QStringLiteral("パスワード："), this);
  passwordLabel->setGeometry(du.LabelRect(metrics, passwordLabel->text(), 21, 33, 36, 8));
  password_ = new QLineEdit(this);
  password_->setObjectName(QStringLiteral("Password"));
  password_->setGeometry(du.Rect(60, 30, 109, 14));
  password_->setEchoMode(QLineEdit::Password);
  password_->setMaxLength(kMaxPasswordLength);

  auto* hintGroup = new QGroupBox(QStringLiteral("ヒント"), this);
  hintGroup->setGeometry(du.Rect(20, 55, 167, 70));
  hint_ = new QPlainTextEdit(this);
  hint_->setObjectName(QStringLiteral("Hint"));
  hint_->setGeometry(du.Rect(26, 69, 154, 50));
  hint_->setReadOnly(true);
  hint_->setFrameStyle(QFrame::NoFrame);
  hint_->setLineWrapMode(QPlainTextEdit::NoWrap);
  hint_->setFocusPolicy(Qt::NoFocus);
  hint_->viewport()->setAutoFillBackground(false);
  hint_->setStyleSheet(QStringLiteral("QPlainTextEdit { background: transparent; }"));

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(du.Rect(94, 138, 50, 14));
  ok_->setDefault(true);
  cancel_ = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel_->setGeometry(du.Rect(151, 138, 50, 14));
  connect(ok_, &QPushButton::clicked, this, &CUserDlg::accept);
  connect(cancel_, &QPushButton::clicked, this, &CUserDlg::reject);

  FillUserList();
  connect(userList_, &QComboBox::currentIndexChanged, this, &CUserDlg::ShowHint);
  password_->setFocus();
}

CUserDlg::~CUserDlg() { app_.DialogOpened(1); }

std::int32_t CUserDlg::UserIdAt(int index) const {
  return static_cast<std::int32_t>(userList_->itemData(index).toLongLong());
}

void CUserDlg::FillUserList() {
  int count = app_.GetUserCount();
  for (int i = 0; i < count; ++i) {
    std::int32_t id = 0;
    std::string name;
    if (app_.GetUserIdAt(i, &id) != kOk || app_.GetUserName(id, &name) != kOk) continue;
    // The list keeps its entries sorted by name, a new name going after equal ones.
    QString text = FromCp932(name);
    int at = 0;
    while (at < userList_->count() &&
           QString::compare(userList_->itemText(at), text, Qt::CaseInsensitive) <= 0)
      ++at;
    userList_->insertItem(at, text, QVariant::fromValue<qlonglong>(id));
  }
  if (userList_->count() == 0) return;
  // The user remembered in the profile, else the first entry.
  std::int32_t remembered = app_.GetProfileUserId();
  int select = 0;
  for (int i = 0; i < userList_->count(); ++i) {
    if (UserIdAt(i) == remembered) {
      select = i;
      break;
    }
  }
  userList_->setCurrentIndex(select);
  ShowHint(select);
}

void CUserDlg::ShowHint(int index) {
  if (index < 0) return;
  std::string hint;
  app_.GetUserHint(UserIdAt(index), &hint);  // a hint that cannot be read shows empty
  hint_->setPlainText(FromCp932(hint));
}

void CUserDlg::accept() {
  int index = userList_->currentIndex();
  if (index < 0) return;  // no users: only Cancel ends the dialog
  std::optional<std::string> password = ToCp932(password_->text());
  if (!password) {
    password_->selectAll();
    password_->setFocus();
    app_.ShowMessage(kIdsPasswordNotCp932, kIdsAppTitle, kMbOk | kMbIconExclamation);
    return;
  }
  bool success = false;
  Result result = app_.OpenUserData(UserIdAt(index), *password, &success);
  WipeSecret(*password);
  if (success) {
    // The field's text is not needed any more. Qt's own copies of it (the line edit's
    // buffer, the text of the key events) are freed by Qt without being wiped, and
    // cannot be reached from here.
    password_->clear();
    QDialog::accept();
    return;
  }
  password_->selectAll();
  password_->setFocus();
  // A switch given up because the current data could not be written has already been
  // explained; only a wrong password gets message 149.
  if (result == kOk)
    app_.ShowMessage(kIdsWrongPassword, kIdsAppTitle, kMbOk | kMbIconExclamation);
}

}  // namespace tallimor
