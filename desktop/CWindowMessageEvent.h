// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A window message posted inside the program: the reload and new-record messages of
// the main view and the HotSync code that the frame posts to itself travel as queued
// Qt events carrying the message number and its two parameters.
#pragma once

#include <QEvent>
#include <cstdint>

class QObject;

namespace tallimor {

inline constexpr int kWmUserReload = 1124;      // main view: rebuild combo and list
inline constexpr int kWmUserNewRecord = 1125;   // main view: no effect; relayed by the frame
inline constexpr int kWmHotSyncNotify = 5120;   // HotSync notification, code in wParam
inline constexpr int kWmInstanceQuery = 32769;  // second start: "logged in? come forward"
inline constexpr int kWmHotSyncNotice = 32770;  // frame: tell the user why a HotSync was stopped

class CWindowMessageEvent : public QEvent {
 public:
  CWindowMessageEvent(int message, std::intptr_t wParam, std::intptr_t lParam);

  // The event type under which every window message travels.
  static QEvent::Type Type();

  int message() const { return message_; }
  std::intptr_t wParam() const { return wParam_; }
  std::intptr_t lParam() const { return lParam_; }

 private:
  int message_;            // message number
  std::intptr_t wParam_;   // first parameter
  std::intptr_t lParam_;   // second parameter
};

// Queues `message` for `target`; it is delivered from the event loop, after the caller
// has returned.
void PostWindowMessage(QObject* target, int message, std::intptr_t wParam = 0,
                       std::intptr_t lParam = 0);

}  // namespace tallimor
