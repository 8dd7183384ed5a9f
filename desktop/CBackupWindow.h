// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CBackupWindow: a memo file opened read-only (a handheld backup .pdb, record.BAK, an
// archive .ARC) in a window of its own, whose title says it is read-only. It lists the
// memos with their categories and shows the chosen one; the only commands are copy and
// export, so nothing can be edited, pasted, deleted or saved, and the file is never
// written.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "exchange/ExchangeMemo.h"

class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace tallimor {

class CDesktopApp;

class CBackupWindow : public QDialog {
  Q_OBJECT

 public:
  // A window over `memos` of the file `path`, with its category names in index order.
  CBackupWindow(CDesktopApp& app, const QString& path, std::vector<ExchangeMemo> memos,
                std::vector<std::string> categories, QWidget* parent);

  CBackupWindow(const CBackupWindow&) = delete;
  CBackupWindow& operator=(const CBackupWindow&) = delete;

  // The controls, for the program's tests.
  QListWidget* List() const { return list_; }
  QPlainTextEdit* Text() const { return text_; }
  QPushButton* CopyButton() const { return copy_; }
  QPushButton* ExportButton() const { return export_; }

 private:
  void OnCurrentRowChanged(int row);
  void OnCopy();

  CDesktopApp& app_;
  std::vector<ExchangeMemo> memos_;      // in file order
  std::vector<std::string> categories_;  // names for the export's groups
  QListWidget* list_ = nullptr;          // first line and category of each memo
  QPlainTextEdit* text_ = nullptr;       // the chosen memo, read-only
  QPushButton* copy_ = nullptr;
  QPushButton* export_ = nullptr;
};

}  // namespace tallimor
