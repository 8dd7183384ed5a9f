// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Catches the URLs the program under test asks the desktop to open (help pages) instead
// of starting a browser, for as long as it exists.
#pragma once

#include <QDesktopServices>
#include <QList>
#include <QObject>
#include <QUrl>

namespace tallimor::testing {

class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  UrlRecorder() { QDesktopServices::setUrlHandler("file", this, "open"); }
  ~UrlRecorder() override { QDesktopServices::unsetUrlHandler("file"); }

  const QList<QUrl>& urls() const { return urls_; }

 public slots:
  void open(const QUrl& url) { urls_.append(url); }

 private:
  QList<QUrl> urls_;
};

}  // namespace tallimor::testing
