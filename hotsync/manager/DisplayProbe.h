// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// DisplayProbe: whether a dialog shown now would reach a person. The conduit's action
// dialog waits for an answer; on a platform that shows no window (Qt's offscreen or
// minimal) or with no display server to connect to, that wait would never end, or Qt
// would end the program. Asked before the dialog is loaded, so the user gets a clear
// refusal instead.
#pragma once

#include <string>

namespace tallimor {

class DisplayProbe {
 public:
  DisplayProbe() = delete;

  // True when the environment names a display that answers: an X server on DISPLAY,
  // a Wayland compositor on WAYLAND_DISPLAY, or a Qt platform (QT_QPA_PLATFORM) other
  // than those that draw nowhere. False with *why, a phrase for the user, otherwise.
  static bool CanShowDialog(std::string* why);
};

}  // namespace tallimor
