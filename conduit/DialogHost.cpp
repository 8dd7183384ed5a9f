// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The conduit's Qt application for its dialog: borrowed from the host process when it
// has one, otherwise made on the spot from a fixed program name.
#include "conduit/DialogHost.h"

#include <QApplication>
#include <cstdlib>

namespace tallimor {
namespace {

bool IsSet(const char* variable) {
  const char* value = std::getenv(variable);
  return value != nullptr && value[0] != '\0';
}

// QApplication keeps references to its arguments for its whole life.
int gArgc = 1;
char gProgramName[] = "TallimorC";
char* gArgv[] = {gProgramName, nullptr};

}  // namespace

DialogHost::DialogHost() {
  if (QCoreApplication::instance() != nullptr) {
    // A GUI-less QCoreApplication cannot show widgets, and a second application
    // object cannot be made beside it.
    ready_ = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    return;
  }
  if (!DisplayAvailable()) return;
  own_ = std::make_unique<QApplication>(gArgc, gArgv);
  QApplication::setQuitOnLastWindowClosed(false);
  ready_ = true;
}

DialogHost::~DialogHost() = default;

bool DialogHost::DisplayAvailable() {
  return IsSet("QT_QPA_PLATFORM") || IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY");
}

}  // namespace tallimor
