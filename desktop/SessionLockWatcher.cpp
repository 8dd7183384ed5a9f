// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The lock triggers. The screen saver's signal is taken from any sender and any object
// path, since desktops publish it under /org/freedesktop/ScreenSaver, /ScreenSaver or
// both. logind's session object is found by this process's id; a process outside any
// logind session (a service, a test) listens to the screen saver alone.
#include "desktop/SessionLockWatcher.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QEvent>

namespace tallimor {
namespace {

constexpr char kScreenSaverInterface[] = "org.freedesktop.ScreenSaver";
constexpr char kLogindService[] = "org.freedesktop.login1";
constexpr char kLogindManagerPath[] = "/org/freedesktop/login1";
constexpr char kLogindManagerInterface[] = "org.freedesktop.login1.Manager";
constexpr char kLogindSessionInterface[] = "org.freedesktop.login1.Session";

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
      return true;
    default:
      return false;
  }
}

}  // namespace

SessionLockWatcher::SessionLockWatcher(QObject* parent) : QObject(parent) {
  idle_.setSingleShot(true);
  connect(&idle_, &QTimer::timeout, this, &SessionLockWatcher::lockRequested);
  ConnectScreenSaver();
  ConnectLogind();
}

SessionLockWatcher::~SessionLockWatcher() {
  if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeEventFilter(this);
}

void SessionLockWatcher::ConnectScreenSaver() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  screenSaver_ = bus.connect(QString(), QString(), QString::fromLatin1(kScreenSaverInterface),
                             QStringLiteral("ActiveChanged"), this,
                             SLOT(OnScreenSaverActiveChanged(bool)));
}

void SessionLockWatcher::ConnectLogind() {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return;
  QDBusInterface manager(QString::fromLatin1(kLogindService), QString::fromLatin1(kLogindManagerPath),
                         QString::fromLatin1(kLogindManagerInterface), bus);
  if (!manager.isValid()) return;
  const QDBusReply<QDBusObjectPath> session =
      manager.call(QStringLiteral("GetSessionByPID"), static_cast<quint32>(::getpid()));
  if (!session.isValid()) return;
  logind_ = bus.connect(QString::fromLatin1(kLogindService), session.value().path(),
                        QString::fromLatin1(kLogindSessionInterface), QStringLiteral("Lock"), this,
                        SLOT(OnSessionLock()));
}

void SessionLockWatcher::SetIdleTimeout(int milliseconds) {
  QCoreApplication* application = QCoreApplication::instance();
  if (milliseconds <= 0) {
    idle_.stop();
    if (application != nullptr) application->removeEventFilter(this);
    return;
  }
  idle_.setInterval(milliseconds);
  idle_.start();
  if (application != nullptr) {
    application->removeEventFilter(this);  // installed once however often this runs
    application->installEventFilter(this);
  }
}

void SessionLockWatcher::OnScreenSaverActiveChanged(bool active) {
  if (active && onScreenLock_) emit lockRequested();
}

void SessionLockWatcher::OnSessionLock() {
  if (onScreenLock_) emit lockRequested();
}

bool SessionLockWatcher::eventFilter(QObject* watched, QEvent* event) {
  if (idle_.interval() > 0 && IsUserInput(event->type())) idle_.start();
  return QObject::eventFilter(watched, event);
}

}  // namespace tallimor
