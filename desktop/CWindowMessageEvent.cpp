// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Posting window messages as Qt events.
#include "desktop/CWindowMessageEvent.h"

#include <QCoreApplication>

namespace tallimor {

CWindowMessageEvent::CWindowMessageEvent(int message, std::intptr_t wParam,
                                         std::intptr_t lParam)
    : QEvent(Type()), message_(message), wParam_(wParam), lParam_(lParam) {}

QEvent::Type CWindowMessageEvent::Type() {
  static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

void PostWindowMessage(QObject* target, int message, std::intptr_t wParam,
                       std::intptr_t lParam) {
  QCoreApplication::postEvent(target, new CWindowMessageEvent(message, wParam, lParam));
}

}  // namespace tallimor
