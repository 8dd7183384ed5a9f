// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tells the program when to lock the memos away: when the session's screen locks (the
// freedesktop screen saver's ActiveChanged on the session bus, or logind's Lock for
// this session on the system bus) and, when asked, after the program has had no key or
// mouse input for a while. A bus that is not there is no error: that trigger is simply
// never heard.
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace tallimor {

class SessionLockWatcher : public QObject {
  Q_OBJECT

 public:
  explicit SessionLockWatcher(QObject* parent = nullptr);
  ~SessionLockWatcher() override;

  SessionLockWatcher(const SessionLockWatcher&) = delete;
  SessionLockWatcher& operator=(const SessionLockWatcher&) = delete;

  // Whether a screen lock asks for the program's lock.
  void SetLockOnScreenLock(bool on) { onScreenLock_ = on; }
  // Asks for the lock after `milliseconds` without input to the program; 0 turns it off.
  void SetIdleTimeout(int milliseconds);

  // True when the session bus's screen saver signal is being listened to.
  bool ListensToScreenSaver() const { return screenSaver_; }
  // True when logind's Lock for this session is being listened to.
  bool ListensToLogind() const { return logind_; }

 signals:
  // The memos should be locked away now.
  void lockRequested();

 public slots:
  // The screen saver became active (true) or went away (false).
  void OnScreenSaverActiveChanged(bool active);
  // logind asked this session's programs to lock.
  void OnSessionLock();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ConnectScreenSaver();
  void ConnectLogind();

  QTimer idle_;                  // runs out after the idle timeout without input
  bool onScreenLock_ = true;     // a screen lock asks for the program's lock
  bool screenSaver_ = false;     // listening on the session bus
  bool logind_ = false;          // listening on the system bus
};

}  // namespace tallimor
