// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The table of HotSync actions, one row an action, in sync type order.
#include "hotsync/manager/SyncAction.h"

#include "hotsync/plugin/SyncTypes.h"

namespace tallimor {

const SyncAction kSyncActions[] = {
    {"fast", kSyncFast, "fast synchronization"},
    {"slow", kSyncSlow, "slow synchronization"},
    {"handheld-to-desktop", kSyncHandheldToDesktop, "handheld overwrites desktop"},
    {"desktop-to-handheld", kSyncDesktopToHandheld, "desktop overwrites handheld"},
    {"nothing", kSyncDoNothing, "do nothing"},
};
const std::size_t kSyncActionCount = sizeof kSyncActions / sizeof kSyncActions[0];

bool ParseSyncAction(std::string_view option, std::int32_t* syncType) {
  for (const SyncAction& action : kSyncActions) {
    if (option == action.option) {
      *syncType = action.syncType;
      return true;
    }
  }
  return false;
}

std::string UnknownSyncActionMessage(std::string_view option) {
  std::string names;
  for (std::size_t i = 0; i < kSyncActionCount; ++i) {
    names += i == 0 ? "" : i + 1 == kSyncActionCount ? " or " : ", ";
    names += kSyncActions[i].option;
  }
  return "unknown action '" + std::string(option) + "' (" + names + ")";
}

const char* DescribeSyncType(std::int32_t syncType) {
  const std::int32_t treatedAs = SyncActionOf(syncType);
  for (const SyncAction& action : kSyncActions) {
    if (action.syncType == treatedAs) return action.description;
  }
  return "unknown action";
}

bool IsKnownSyncType(std::int32_t syncType) { return syncType >= 0 && syncType <= kHighestSyncType; }

}  // namespace tallimor
