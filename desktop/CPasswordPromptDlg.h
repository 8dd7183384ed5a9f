// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The password prompt: a short explanation from the string table, a password entry of
// at most 16 characters like the user dialog's, OK and Cancel. The application runs it
// to confirm the password of data it is about to create, and to ask for the previous
// password of memos kept aside when the password changed on the handheld. The dialog
// only collects the text; the caller checks it.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;
class QPushButton;

namespace tallimor {

class CPasswordPromptDlg : public QDialog {
  Q_OBJECT

 public:
  // A prompt captioned `caption` that shows `text` above the entry.
  CPasswordPromptDlg(const QString& caption, const QString& text, QWidget* parent);

  CPasswordPromptDlg(const CPasswordPromptDlg&) = delete;
  CPasswordPromptDlg& operator=(const CPasswordPromptDlg&) = delete;

  // The longest password the entry takes, in characters (as in the user dialog).
  static constexpr int kMaxPasswordLength = 16;

  // The controls, for the program's tests.
  QLabel* Text() const { return text_; }
  QLineEdit* Password() const { return password_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* CancelButton() const { return cancel_; }

 private:
  QLabel* text_;          // the explanation
  QLineEdit* password_;   // the password, shown as password characters
  QPushButton* ok_;       // 1
  QPushButton* cancel_;   // 2
};

}  // namespace tallimor
