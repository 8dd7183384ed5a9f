// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The HotSync actions by the names the command line uses for them, and the words that
// describe them to the user. A sync type is the HotSync action number that the
// conduit receives (0 fast, 1 slow, 2 handheld overwrites desktop, 3 desktop
// overwrites handheld, 6 do nothing).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tallimor {

struct SyncAction {
  const char* option;       // as --action takes it
  std::int32_t syncType;
  const char* description;  // for messages: "fast synchronization"
};

// Every action, in sync type order.
extern const SyncAction kSyncActions[];
extern const std::size_t kSyncActionCount;

// The sync type named `option`; false for an unknown name.
bool ParseSyncAction(std::string_view option, std::int32_t* syncType);
// The message for a name that is no action, listing the names there are.
std::string UnknownSyncActionMessage(std::string_view option);
// The words for a sync type; the conduit's treatment of types 4, 5 and 7 (as 3, 2, 3)
// is described as such, anything else as "unknown action".
const char* DescribeSyncType(std::int32_t syncType);
// True for the sync types the conduit accepts (0 to 7).
bool IsKnownSyncType(std::int32_t syncType);

}  // namespace tallimor
