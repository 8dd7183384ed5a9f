// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The review of memos that a HotSync kept in both versions because they were changed
// on the handheld and on the desktop: one pair at a time, side by side and deciphered,
// the user keeps the handheld's version, the desktop's, or both. Each choice is handed
// to the application as it is made (which saves it at once), so a review broken off
// keeps the choices made so far; "あとで" leaves the rest for another time.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tallimor {

// What the user chose for a pair.
enum class ConflictChoice { kKeepHandheld, kKeepDesktop, kKeepBoth };

// One pair as the dialog shows it.
struct ConflictReviewItem {
  QString handheldText;      // the handheld's version, CR LF line breaks
  QString handheldCategory;  // its category's name
  QString desktopText;       // the desktop's version
  QString desktopCategory;
};

class CConflictReviewDlg : public QDialog {
  Q_OBJECT

 public:
  // `decide` carries out the choice for item i; false stops the review (it has told
  // the user why) and leaves that pair and the rest for another time.
  using Decide = std::function<bool(int item, ConflictChoice choice)>;

  CConflictReviewDlg(std::vector<ConflictReviewItem> items, Decide decide, QWidget* parent);

  // The pair shown now.
  int Current() const { return current_; }

  // The controls, for the program's tests.
  QPlainTextEdit* HandheldPane() const { return handheldText_; }
  QPlainTextEdit* DesktopPane() const { return desktopText_; }
  QPushButton* KeepHandheldButton() const { return keepHandheld_; }
  QPushButton* KeepDesktopButton() const { return keepDesktop_; }
  QPushButton* KeepBothButton() const { return keepBoth_; }
  QPushButton* LaterButton() const { return later_; }

 private:
  void Show(int item);
  void Choose(ConflictChoice choice);

  std::vector<ConflictReviewItem> items_;  // the pairs, in review order
  Decide decide_;                          // carries out a choice
  int current_ = 0;                        // the pair shown
  QLabel* position_ = nullptr;             // "n / m 組目"
  QLabel* handheldCategory_ = nullptr;
  QLabel* desktopCategory_ = nullptr;
  QPlainTextEdit* handheldText_ = nullptr;
  QPlainTextEdit* desktopText_ = nullptr;
  QPushButton* keepHandheld_ = nullptr;
  QPushButton* keepDesktop_ = nullptr;
  QPushButton* keepBoth_ = nullptr;
  QPushButton* later_ = nullptr;
};

}  // namespace tallimor
