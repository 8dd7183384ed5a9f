// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The About box. The version comes from the build (the project's version), so the box
// always shows the version of the program that is running.
#include "desktop/CAboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "desktop/CDesktopApp.h"
#include "desktop/DialogUnits.h"
#include "desktop/resources/StringTable.h"

namespace tallimor {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("AboutDlg"));
  setWindowTitle(QStringLiteral("Tallimor デスクトップについて"));
  setFont(DialogFont());
  DialogUnits du(font());
  setFixedSize(du.Size(235, 55));

  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(QStringLiteral(":/tallimor/icon128.png")).pixmap(32, 32));
  icon->setGeometry(du.X(11), du.Y(17) - 8, 32, 32);

  version_ = new QLineEdit(this);
  version_->setObjectName(QStringLiteral("VersionLine"));
  version_->setGeometry(du.X(40), du.Y(10), du.X(119), du.Y(8) + 6);
  version_->setReadOnly(true);
  version_->setFrame(false);
  version_->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; }"));
  QString version = CDesktopApp::VersionText();
  if (!version.isEmpty())
    version_->setText(QString::fromUtf8(LoadString(kIdsAboutVersion)).arg(version));

  // The notice wraps within the room left of the OK button, and the box grows to hold
  // it whole, whatever the font.
  auto* notice = new QLabel(QStringLiteral("HotSync でハンドヘルドと同期するパスワード付きメモ"), this);
  notice->setObjectName(QStringLiteral("NoticeLine"));
  notice->setWordWrap(true);
  const int noticeWidth = du.X(170) - du.X(40);
  notice->setGeometry(du.X(40), du.Y(25), noticeWidth, notice->heightForWidth(noticeWidth));
  setFixedSize(std::max(width(), du.X(235)),
               std::max(du.Y(55), notice->geometry().bottom() + 1 + du.Y(7)));

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(du.Rect(178, 7, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tallimor
