// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The HotSync action that the user chose for the conduit: a default that holds until
// it is changed, and an action for the next HotSync only. Both are per-user values of
// the users file, in the section "TallimorC": "SyncType" (the default; fast
// synchronization when unset) and "NextSyncType" (-1 when no next-only action is set).
#pragma once

#include <cstdint>

#include "hotsync/users/UserData.h"

namespace tallimor {

class ConduitSettings {
 public:
  static constexpr const char* kSection = "TallimorC";
  static constexpr const char* kDefaultKey = "SyncType";
  static constexpr const char* kNextKey = "NextSyncType";
  static constexpr std::int32_t kNoNext = -1;

  // The settings of user `userId` in `users`, which must outlive this object.
  ConduitSettings(UserData& users, std::uint32_t userId) : users_(users), userId_(userId) {}

  ConduitSettings(const ConduitSettings&) = delete;
  ConduitSettings& operator=(const ConduitSettings&) = delete;

  // The default and the next-only action (kNoNext when none). A stored value that is
  // no sync type is taken as unset.
  Result Read(std::int32_t* defaultType, std::int32_t* nextType);
  // The action of the coming HotSync: the next-only one when set, else the default.
  // *nextOnly tells which.
  Result Upcoming(std::int32_t* syncType, bool* nextOnly);
  // Keeps `syncType` as the default (kSyncPreferenceDefault; a next-only action is
  // dropped) or for the next HotSync only (kSyncPreferenceNextOnly).
  // kErrUnknownSyncType when the type or the preference is none of those.
  Result Choose(std::int32_t syncType, std::int32_t preference);
  // Drops the next-only action once a HotSync has carried it out.
  Result ClearNext();

 private:
  UserData& users_;
  std::uint32_t userId_;
};

}  // namespace tallimor
