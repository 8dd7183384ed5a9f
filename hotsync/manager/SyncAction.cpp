// The table of HotSync actions, one row an action, in sync type order.
#include "hotsync/manager/SyncAction.h"

namespace tallimor {

const SyncAction kSyncActions[] = {
    {"fast", 0, "fast synchronization"},
    {"slow", 1, "slow synchronization"},
    {"handheld-to-desktop", 2, "handheld overwrites desktop"},
    {"desktop-to-handheld", 3, "desktop overwrites handheld"},
    {"nothing", 6, "do nothing"},
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

const char* DescribeSyncType(std::int32_t syncType) {
  // The conduit treats 4 and 7 as 3, and 5 as 2.
  const std::int32_t treatedAs = syncType == 4 || syncType == 7 ? 3 : syncType == 5 ? 2 : syncType;
  for (const SyncAction& action : kSyncActions) {
    if (action.syncType == treatedAs) return action.description;
  }
  return "unknown action";
}

bool IsKnownSyncType(std::int32_t syncType) { return syncType >= 0 && syncType <= 7; }

}  // namespace tallimor
