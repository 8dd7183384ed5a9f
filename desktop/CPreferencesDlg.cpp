// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The preferences dialog, laid out in dialog units of the program's dialog font like
// the dialogs of the original templates. Each delay is editable only while the option
// it belongs to is checked.
#include "desktop/CPreferencesDlg.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include "desktop/DialogUnits.h"
#include "desktop/resources/StringTable.h"

namespace tallimor {
namespace {

QString Text(int id) { return QString::fromUtf8(LoadString(id)); }

}  // namespace

CPreferencesDlg::CPreferencesDlg(const Preferences& current, QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("PreferencesDlg"));
  setWindowTitle(Text(kIdsPreferencesTitle));
  setFont(DialogFont());
  DialogUnits du(font());
  setFixedSize(du.Size(240, 150));
  QFontMetrics metrics(font());
  const Preferences shown = current.Bounded();

  auto* clipboardGroup = new QGroupBox(Text(kIdsPrefClipboardGroup), this);
  clipboardGroup->setGeometry(du.Rect(7, 7, 226, 48));
  clearClipboard_ = new QCheckBox(Text(kIdsPrefClearClipboard), this);
  clearClipboard_->setGeometry(du.Rect(14, 20, 212, 10));
  auto* clearLabel = new QLabel(Text(kIdsPrefClearAfter), this);
  clearLabel->setGeometry(du.LabelRect(metrics, clearLabel->text(), 24, 37, 70, 8));
  clearSeconds_ = new QSpinBox(this);
  clearSeconds_->setGeometry(du.Rect(96, 34, 44, 13));
  clearSeconds_->setRange(Preferences::kMinClearSeconds, Preferences::kMaxClearSeconds);
  clearSeconds_->setSuffix(Text(kIdsPrefSeconds));
  clearLabel->setBuddy(clearSeconds_);

  auto* lockGroup = new QGroupBox(Text(kIdsPrefLockGroup), this);
  lockGroup->setGeometry(du.Rect(7, 60, 226, 62));
  lockOnScreenLock_ = new QCheckBox(Text(kIdsPrefLockOnScreenLock), this);
  lockOnScreenLock_->setGeometry(du.Rect(14, 73, 212, 10));
  idleLock_ = new QCheckBox(Text(kIdsPrefIdleLock), this);
  idleLock_->setGeometry(du.Rect(14, 87, 212, 10));
  auto* idleLabel = new QLabel(Text(kIdsPrefIdleAfter), this);
  idleLabel->setGeometry(du.LabelRect(metrics, idleLabel->text(), 24, 104, 70, 8));
  idleMinutes_ = new QSpinBox(this);
  idleMinutes_->setGeometry(du.Rect(96, 101, 44, 13));
  idleMinutes_->setRange(Preferences::kMinIdleMinutes, Preferences::kMaxIdleMinutes);
  idleMinutes_->setSuffix(Text(kIdsPrefMinutes));
  idleLabel->setBuddy(idleMinutes_);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ok_->setGeometry(du.Rect(126, 129, 50, 14));
  ok_->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("キャンセル"), this);
  cancel->setGeometry(du.Rect(183, 129, 50, 14));
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  connect(clearClipboard_, &QCheckBox::toggled, clearSeconds_, &QWidget::setEnabled);
  connect(clearClipboard_, &QCheckBox::toggled, clearLabel, &QWidget::setEnabled);
  connect(idleLock_, &QCheckBox::toggled, idleMinutes_, &QWidget::setEnabled);
  connect(idleLock_, &QCheckBox::toggled, idleLabel, &QWidget::setEnabled);

  clearClipboard_->setChecked(shown.clearClipboard);
  clearSeconds_->setValue(shown.clearSeconds);
  lockOnScreenLock_->setChecked(shown.lockOnScreenLock);
  idleLock_->setChecked(shown.idleLock);
  idleMinutes_->setValue(shown.idleMinutes);
  for (QWidget* delay : {static_cast<QWidget*>(clearSeconds_), static_cast<QWidget*>(clearLabel)})
    delay->setEnabled(shown.clearClipboard);
  for (QWidget* delay : {static_cast<QWidget*>(idleMinutes_), static_cast<QWidget*>(idleLabel)})
    delay->setEnabled(shown.idleLock);
  clearClipboard_->setFocus();
}

Preferences CPreferencesDlg::Chosen() const {
  Preferences chosen;
  chosen.clearClipboard = clearClipboard_->isChecked();
  chosen.clearSeconds = clearSeconds_->value();
  chosen.lockOnScreenLock = lockOnScreenLock_->isChecked();
  chosen.idleLock = idleLock_->isChecked();
  chosen.idleMinutes = idleMinutes_->value();
  return chosen;
}

}  // namespace tallimor
