// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The saved window placement: ten integers that the profile keeps under "Position" for
// the main frame ("MainFrame") and the memo edit dialog ("EditRecord"), written with
// "%i:%i:%i:%i:%i:%i:%i:%i:%i:%i" and read back with the same format.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tallimor {

inline constexpr int kPlacementRestoreToMaximized = 2;  // flags: maximise when restored
inline constexpr int kShowNormal = 1;                   // show commands
inline constexpr int kShowMinimized = 2;
inline constexpr int kShowMaximized = 3;

struct WindowPlacement {
  int flags = 0;
  int showCommand = kShowNormal;
  int minX = -1, minY = -1;  // minimised position
  int maxX = -1, maxY = -1;  // maximised position
  int left = 0, top = 0, right = 0, bottom = 0;  // normal rectangle, right/bottom exclusive

  // True when the window should come back maximised: it was closed maximised, or
  // minimised from a maximised state.
  bool ShowsMaximized() const;
};

// Parses ten colon-separated integers as scanf's "%i" reads them (optional sign, then
// decimal, 0x hexadecimal or 0 octal; leading blanks allowed before each number).
// Anything after the tenth number is ignored. Nothing when fewer than ten numbers are
// there or a number does not fit a 32-bit int.
std::optional<WindowPlacement> ParseWindowPlacement(std::string_view text);

// The placement as ten signed decimals joined by colons.
std::string FormatWindowPlacement(const WindowPlacement& placement);

}  // namespace tallimor
