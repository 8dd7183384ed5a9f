// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The category editor (template 133): the user categories sorted by name, with New,
// Delete and Rename. Every change goes to the store's category table at once and stands
// however the editor is closed; OK with a category selected also makes it the main
// view's filter ("LastCategory").
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>
#include <string>

class QListWidget;
class QPushButton;

namespace tallimor {

class CDesktopApp;

class CEditCategoryDlg : public QDialog {
  Q_OBJECT

 public:
  // Counts itself as an open dialog from here until it is destroyed.
  CEditCategoryDlg(CDesktopApp& app, QWidget* parent);
  ~CEditCategoryDlg() override;

  CEditCategoryDlg(const CEditCategoryDlg&) = delete;
  CEditCategoryDlg& operator=(const CEditCategoryDlg&) = delete;

  // OK (button 1 or Enter): with a category selected, writes it to "LastCategory" and
  // ends with OK; with none selected, ends as Cancel.
  void accept() override;

  // The buttons' operations.
  void OnNew();
  void OnDelete();
  void OnRename();

  // The category index of the selected item, -1 when none is selected.
  std::int32_t SelectedIndex() const;

  QListWidget* CategoryList() const { return list_; }

 private:
  // Refills the list from the table; selects the first item whose stored name equals
  // `name` byte for byte, if given.
  void FillList(const std::optional<std::string>& name);

  CDesktopApp& app_;
  QListWidget* list_ = nullptr;  // 1001: names, the category index as item data
};

}  // namespace tallimor
