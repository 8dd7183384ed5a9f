// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The memo edit dialog (template 136): a resizable dialog in which the user writes a new
// memo or changes the text and category of an existing one. OK stores the text in the
// stored memo form (LF line breaks) and files it under the chosen category; the window
// placement is kept in the profile under "EditRecord" for the next run.
#pragma once

#include <QDialog>
#include <QSize>
#include <cstdint>

#include "desktop/CAnchorLayout.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace tallimor {

class CDesktopApp;

class CEditRecordDlg : public QDialog {
  Q_OBJECT

 public:
  // The most bytes the text control takes (CR LF line breaks count two).
  static constexpr int kMaxTextBytes = 0x7FFF;

  // Counts itself as an open dialog from here until it is destroyed.
  CEditRecordDlg(CDesktopApp& app, QWidget* parent);
  ~CEditRecordDlg() override;

  CEditRecordDlg(const CEditRecordDlg&) = delete;
  CEditRecordDlg& operator=(const CEditRecordDlg&) = delete;

  // REQUIRES: called before the dialog runs. -1 writes a new memo.
  void SetRecordIndex(std::int32_t index) { recordIndex_ = index; }

  // Fills the dialog from the record and the profile; exec() and show() run it first.
  void InitDialog();
  int exec() override;

  // OK: stores the memo; an empty text, or one with a character that cannot be stored,
  // is refused with a message and the dialog stays open.
  void accept() override;

  // The record the memo was stored into by OK, -1 until then.
  std::int32_t SavedRecordIndex() const { return savedIndex_; }

  // The category the memo will be filed under (-1: as the view's "すべて", stored as 0).
  std::int32_t CategoryIndex() const { return categoryIndex_; }
  QSize MinimumSize() const { return minimumSize_; }

  // The controls, for the program's tests.
  QPlainTextEdit* TextEdit() const { return text_; }
  QComboBox* CategoryCombo() const { return category_; }
  QPushButton* OkButton() const { return ok_; }
  QPushButton* NewButton() const { return new_; }

 protected:
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // Refills the category combo and selects the memo's category.
  void FillCategoryCombo();
  // The user picked combo entry `position`; the editor entry opens the category editor.
  void OnCategorySelected(int position);
  // Button 1015: tells the parent window, which relays it to the main view.
  void OnNewButton();

  CDesktopApp& app_;
  std::int32_t recordIndex_ = -1;     // the record edited, -1 for a new memo
  std::int32_t savedIndex_ = -1;      // the record OK stored the memo into
  std::int32_t categoryIndex_ = -1;   // the category chosen
  QSize minimumSize_;                 // the dialog's first size: it never gets smaller
  bool initialised_ = false;          // InitDialog has run
  CAnchorLayout anchors_;             // keeps the controls on the right and bottom edges
  QGroupBox* frame_ = nullptr;        // 1025
  QPlainTextEdit* text_ = nullptr;    // 1006
  QPushButton* ok_ = nullptr;         // 1
  QPushButton* cancel_ = nullptr;     // 2
  QPushButton* new_ = nullptr;        // 1015
  QLabel* label_ = nullptr;           // "カテゴリ(&C)："
  QComboBox* category_ = nullptr;     // 1005
};

}  // namespace tallimor
