// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reads and writes the conduit's chosen actions as per-user values; the users file is
// replaced atomically by every write.
#include "hotsync/manager/ConduitSettings.h"

#include "hotsync/plugin/ConduitInterface.h"
#include "hotsync/manager/SyncAction.h"

namespace tallimor {

Result ConduitSettings::Read(std::int32_t* defaultType, std::int32_t* nextType) {
  std::int32_t stored = 0;
  Result r = users_.ReadValue(userId_, kSection, kDefaultKey, &stored, 0);
  if (r != kOk) return r;
  *defaultType = IsKnownSyncType(stored) ? stored : 0;
  r = users_.ReadValue(userId_, kSection, kNextKey, &stored, kNoNext);
  if (r != kOk) return r;
  *nextType = IsKnownSyncType(stored) ? stored : kNoNext;
  return kOk;
}

Result ConduitSettings::Upcoming(std::int32_t* syncType, bool* nextOnly) {
  std::int32_t defaultType = 0;
  std::int32_t nextType = kNoNext;
  const Result r = Read(&defaultType, &nextType);
  if (r != kOk) return r;
  *nextOnly = nextType != kNoNext;
  *syncType = *nextOnly ? nextType : defaultType;
  return kOk;
}

Result ConduitSettings::Choose(std::int32_t syncType, std::int32_t preference) {
  if (!IsKnownSyncType(syncType)) return kErrUnknownSyncType;
  if (preference == kSyncPreferenceDefault) {
    const Result r = users_.WriteValue(userId_, kSection, kDefaultKey, syncType);
    return r != kOk ? r : ClearNext();
  }
  if (preference == kSyncPreferenceNextOnly) {
    return users_.WriteValue(userId_, kSection, kNextKey, syncType);
  }
  return kErrUnknownSyncType;
}

Result ConduitSettings::ClearNext() {
  std::int32_t nextType = kNoNext;
  const Result r = users_.ReadValue(userId_, kSection, kNextKey, &nextType, kNoNext);
  if (r != kOk || nextType == kNoNext) return r;
  return users_.WriteValue(userId_, kSection, kNextKey, kNoNext);
}

}  // namespace tallimor
