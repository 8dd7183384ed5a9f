// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The sync types: the HotSync action numbers that the HotSync manager hands the
// conduit, and what this conduit makes of the ones it does not tell apart (4 and 7
// act as desktop to handheld, 5 as handheld to desktop keeping the handheld's
// flags). Above the highest is unknown.
#pragma once

#include <cstdint>

namespace tallimor {

inline constexpr std::int32_t kSyncFast = 0;
inline constexpr std::int32_t kSyncSlow = 1;
inline constexpr std::int32_t kSyncHandheldToDesktop = 2;
inline constexpr std::int32_t kSyncDesktopToHandheld = 3;
inline constexpr std::int32_t kSyncDesktopToHandheld4 = 4;
inline constexpr std::int32_t kSyncHandheldToDesktopKeepFlags = 5;
inline constexpr std::int32_t kSyncDoNothing = 6;
inline constexpr std::int32_t kSyncDesktopToHandheld7 = 7;
inline constexpr std::int32_t kHighestSyncType = kSyncDesktopToHandheld7;

// The action a sync type stands for: 4 and 7 give 3, 5 gives 2, the rest themselves.
constexpr std::int32_t SyncActionOf(std::int32_t syncType) {
  if (syncType == kSyncDesktopToHandheld4 || syncType == kSyncDesktopToHandheld7) return kSyncDesktopToHandheld;
  if (syncType == kSyncHandheldToDesktopKeepFlags) return kSyncHandheldToDesktop;
  return syncType;
}

}  // namespace tallimor
