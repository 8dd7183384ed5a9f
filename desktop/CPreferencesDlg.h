// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The preferences dialog ("オプション", Tools > Options...): whether a copied memo is
// cleared from the clipboard and after how many seconds, whether the memos are locked
// away when the screen locks, and whether and after how many idle minutes. It edits a
// copy of the preferences; the application puts them into effect after OK.
#pragma once

#include <QDialog>

#include "desktop/Preferences.h"

class QCheckBox;
class QPushButton;
class QSpinBox;

namespace tallimor {

class CPreferencesDlg : public QDialog {
  Q_OBJECT

 public:
  CPreferencesDlg(const Preferences& current, QWidget* parent);

  // What the controls say now.
  Preferences Chosen() const;

  // The controls, for the program's tests.
  QCheckBox* ClearClipboard() const { return clearClipboard_; }
  QSpinBox* ClearSeconds() const { return clearSeconds_; }
  QCheckBox* LockOnScreenLock() const { return lockOnScreenLock_; }
  QCheckBox* IdleLock() const { return idleLock_; }
  QSpinBox* IdleMinutes() const { return idleMinutes_; }
  QPushButton* OkButton() const { return ok_; }

 private:
  QCheckBox* clearClipboard_ = nullptr;    // clear a copy after a delay
  QSpinBox* clearSeconds_ = nullptr;       // that delay, enabled with the box above
  QCheckBox* lockOnScreenLock_ = nullptr;  // lock when the screen locks
  QCheckBox* idleLock_ = nullptr;          // lock after idle minutes
  QSpinBox* idleMinutes_ = nullptr;        // those minutes, enabled with the box above
  QPushButton* ok_ = nullptr;
};

}  // namespace tallimor
