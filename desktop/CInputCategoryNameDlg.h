// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The category name dialog (template 134): asks for the name of a new category or the
// new name of an existing one. The caller fills the category object, runs the dialog
// and, on OK, reads the name back from the object. Names are at most 15 bytes of code
// page 932; the control refuses a longer text as it is typed.
#pragma once

#include <QDialog>

#include "store/CPCategory.h"

class QLineEdit;
class QPushButton;

namespace tallimor {

class CDesktopApp;

class CInputCategoryNameDlg : public QDialog {
  Q_OBJECT

 public:
  CInputCategoryNameDlg(CDesktopApp& app, QWidget* parent);

  CInputCategoryNameDlg(const CInputCategoryNameDlg&) = delete;
  CInputCategoryNameDlg& operator=(const CInputCategoryNameDlg&) = delete;

  // REQUIRES: called before the dialog runs. True asks for a new category's name,
  // false renames `category`.
  void SetNewMode(bool newMode) { newMode_ = newMode; }
  void SetCategory(const CPCategory& category) { category_ = category; }
  // The category, with the name typed once the dialog ended with OK.
  const CPCategory& Category() const { return category_; }

  // Sets the caption and the text from the mode and the category; exec() and show()
  // run it first.
  void InitDialog();
  int exec() override;

  // OK: an empty name, or one with a character that cannot be stored, is refused with
  // a message and the dialog stays open.
  void accept() override;

  QLineEdit* NameEdit() const { return name_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // The caption of the messages: "新規カテゴリー" or "カテゴリー名の変更".
  int CaptionId() const;

  CDesktopApp& app_;
  bool newMode_ = true;         // new category (true) or rename (false)
  CPCategory category_;         // filled by the caller, named by OK
  bool initialised_ = false;    // InitDialog has run
  QLineEdit* name_ = nullptr;   // 1009
  QPushButton* ok_ = nullptr;   // 1
};

}  // namespace tallimor
