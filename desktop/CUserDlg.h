// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The user dialog (template 131): the HotSync users sorted by name, the selected user's
// password hint, and the password. OK opens the user's data through the application;
// a wrong password is refused with message 149 and may be tried again without limit.
#pragma once

#include <QDialog>
#include <cstdint>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tallimor {

class CDesktopApp;

class CUserDlg : public QDialog {
  Q_OBJECT

 public:
  // Counts itself as an open dialog from here until it is destroyed.
  CUserDlg(CDesktopApp& app, QWidget* parent);
  ~CUserDlg() override;

  CUserDlg(const CUserDlg&) = delete;
  CUserDlg& operator=(const CUserDlg&) = delete;

  // The longest password the control takes, in characters.
  static constexpr int kMaxPasswordLength = 16;

  // OK: opens the selected user's data with the typed password.
  void accept() override;

  // The user id of list entry `index`.
  std::int32_t UserIdAt(int index) const;

  // The controls, for the program's tests.
  QComboBox* UserList() const { return userList_; }
  QLineEdit* Password() const { return password_; }
  QPlainTextEdit* Hint() const { return hint_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  // Fills the list with every user whose id and name can be read.
  void FillUserList();
  // Shows the hint of the user at list entry `index`.
  void ShowHint(int index);

  CDesktopApp& app_;
  QComboBox* userList_;     // 1000: user names, the user id as item data
  QLineEdit* password_;     // 1003
  QPlainTextEdit* hint_;    // 1004
  QPushButton* ok_;         // 1
  QPushButton* cancel_;     // 2
};

}  // namespace tallimor
