// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The category delete dialog (template 135): asks what becomes of the memos of a
// category that is deleted: moved to unfiled (choice 0) or deleted with it (choice 1).
#pragma once

#include <QDialog>

class QRadioButton;

namespace tallimor {

class CDeleteCategoryDlg : public QDialog {
  Q_OBJECT

 public:
  // Choices.
  static constexpr int kMoveToUnfiled = 0;
  static constexpr int kDeleteMemos = 1;

  explicit CDeleteCategoryDlg(QWidget* parent);

  CDeleteCategoryDlg(const CDeleteCategoryDlg&) = delete;
  CDeleteCategoryDlg& operator=(const CDeleteCategoryDlg&) = delete;

  // The choice: set before the dialog runs (it selects the radio button), read after OK.
  int Choice() const { return choice_; }
  void SetChoice(int choice);

  // OK: takes the choice from the radio buttons.
  void accept() override;

  QRadioButton* MoveButton() const { return move_; }
  QRadioButton* DeleteButton() const { return delete_; }

 private:
  int choice_ = kMoveToUnfiled;      // the radio button chosen
  QRadioButton* move_ = nullptr;     // 1021
  QRadioButton* delete_ = nullptr;   // 1016
};

}  // namespace tallimor
