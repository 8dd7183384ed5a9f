// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The exit statuses of the HotSync program, the same for every command.
#pragma once

namespace tallimor {

inline constexpr int kHotSyncExitOk = 0;
inline constexpr int kHotSyncExitFailed = 1;   // the command or the HotSync failed
inline constexpr int kHotSyncExitUsage = 2;    // the command line is wrong
inline constexpr int kHotSyncExitRefused = 3;  // the desktop program refused the HotSync

}  // namespace tallimor
