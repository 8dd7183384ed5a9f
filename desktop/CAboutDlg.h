// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The About box (template 100): the program's icon, its name with the version of this
// build, and a line about what it is.
#pragma once

#include <QDialog>

class QLineEdit;

namespace tallimor {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent);

  CAboutDlg(const CAboutDlg&) = delete;
  CAboutDlg& operator=(const CAboutDlg&) = delete;

  // Control 1009: "Tallimor デスクトップ v.<version>".
  QLineEdit* VersionLine() const { return version_; }

 private:
  QLineEdit* version_;  // 1009, read-only, without border
};

}  // namespace tallimor
