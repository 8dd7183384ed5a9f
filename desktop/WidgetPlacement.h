// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A window's placement taken from and given to a Qt window: the bridge between the
// ten-integer placement kept in the profile (WindowPlacement.h) and the main frame or
// the memo edit dialog it describes.
#pragma once

#include "desktop/WindowPlacement.h"

class QWidget;

namespace tallimor {

// The placement of `window` now: its show command, the restore-to-maximised flag when
// it is maximised, and its normal rectangle (the one it returns to from maximised).
WindowPlacement PlacementOf(const QWidget& window);

// Gives `window` the placement's normal rectangle; a rectangle that lies on no screen
// (a monitor since unplugged) is moved to the primary screen. An empty rectangle, or
// one wider or taller than any widget may be, is left alone. Showing the window maximised is the caller's, by ShowsMaximized().
void ApplyPlacement(QWidget& window, const WindowPlacement& placement);

}  // namespace tallimor
