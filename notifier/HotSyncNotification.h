// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The private window message by which the HotSync notifier tells the desktop program about
// a HotSync, and the codes it carries in wParam. Shared by the notifier (sender) and the
// desktop program's main frame (receiver), which finds it under kDesktopWindowClass.
#pragma once

#include <cstdint>

namespace tallimor {

// Window class of the desktop program's main frame; also the name of its message socket.
inline constexpr char kDesktopWindowClass[] = "Tallimor-Vexa";

// The notification message; wParam is one of the codes below, lParam the HotSync
// manager's value for the event (0 for the probe and the start query).
inline constexpr std::uint32_t kHotSyncNotifyMessage = 5120;

// Notification codes (wParam). Codes 4 and 8 and above are not used.
inline constexpr std::uint64_t kHotSyncProbe = 0;            // answered with kHotSyncProbeAnswer
inline constexpr std::uint64_t kHotSyncStarted = 1;          // event 1: write the data back, 0
inline constexpr std::uint64_t kHotSyncEndedNormally = 2;    // event 2: reload, 0
inline constexpr std::uint64_t kHotSyncEndedAbnormally = 3;  // event 3: enable, 0
inline constexpr std::uint64_t kHotSyncStartQuery = 5;       // event 0: 1 refuses, 0 agrees
inline constexpr std::uint64_t kHotSyncEvent4 = 6;           // event 4: nothing to do, 0
inline constexpr std::uint64_t kHotSyncRefusalNotice = 7;    // posted by the program to itself

// What a running desktop program answers to the probe.
inline constexpr std::int64_t kHotSyncProbeAnswer = 5120;

}  // namespace tallimor
