// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Gives the conduit's dialog a Qt application to run in. A HotSync manager that is a
// Qt Widgets program already has one, and keeps it; a manager without a GUI of its
// own (the `hotsync` command) gets one for as long as the dialog is up. Without a
// display there is nothing to show a dialog on, and the host says so instead of
// letting Qt end the process.
#pragma once

#include <memory>

class QApplication;

namespace tallimor {

class DialogHost {
 public:
  // Finds the process's QApplication or, when there is none and a display is
  // available, makes one.
  DialogHost();
  // Destroys the QApplication if this host made it.
  ~DialogHost();

  DialogHost(const DialogHost&) = delete;
  DialogHost& operator=(const DialogHost&) = delete;

  // True when widgets can be shown now.
  bool ready() const { return ready_; }

  // True when Qt can be expected to reach a display: a platform is named in
  // QT_QPA_PLATFORM, or DISPLAY or WAYLAND_DISPLAY is set.
  static bool DisplayAvailable();

 private:
  std::unique_ptr<QApplication> own_;  // the application made here, if any
  bool ready_ = false;
};

}  // namespace tallimor
