// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Preferences in the profile: section "Preferences", one key each, flags as 0 or 1 and
// delays as decimal numbers, read the way the profile reads every number.
#include "desktop/Preferences.h"

#include <algorithm>
#include <string>

#include "desktop/CProfile.h"

namespace tallimor {
namespace {

constexpr char kSection[] = "Preferences";
constexpr char kClearClipboardKey[] = "ClearClipboard";
constexpr char kClearSecondsKey[] = "ClearClipboardSeconds";
constexpr char kLockOnScreenLockKey[] = "LockOnScreenLock";
constexpr char kIdleLockKey[] = "IdleLock";
constexpr char kIdleMinutesKey[] = "IdleLockMinutes";

}  // namespace

Preferences Preferences::Load(const CProfile& profile) {
  const Preferences defaults;
  Preferences read;
  read.clearClipboard = profile.GetInt(kSection, kClearClipboardKey, defaults.clearClipboard) != 0;
  read.clearSeconds = profile.GetInt(kSection, kClearSecondsKey, defaults.clearSeconds);
  read.lockOnScreenLock =
      profile.GetInt(kSection, kLockOnScreenLockKey, defaults.lockOnScreenLock) != 0;
  read.idleLock = profile.GetInt(kSection, kIdleLockKey, defaults.idleLock) != 0;
  read.idleMinutes = profile.GetInt(kSection, kIdleMinutesKey, defaults.idleMinutes);
  return read.Bounded();
}

Result Preferences::Save(CProfile& profile) const {
  const Preferences bounded = Bounded();
  const struct {
    const char* key;
    std::int32_t value;
  } rows[] = {
      {kClearClipboardKey, bounded.clearClipboard ? 1 : 0},
      {kClearSecondsKey, bounded.clearSeconds},
      {kLockOnScreenLockKey, bounded.lockOnScreenLock ? 1 : 0},
      {kIdleLockKey, bounded.idleLock ? 1 : 0},
      {kIdleMinutesKey, bounded.idleMinutes},
  };
  for (const auto& row : rows) {
    const Result written = profile.WriteString(kSection, row.key, std::to_string(row.value));
    if (written != kOk) return written;
  }
  return kOk;
}

Preferences Preferences::Bounded() const {
  Preferences bounded = *this;
  bounded.clearSeconds = std::clamp(clearSeconds, kMinClearSeconds, kMaxClearSeconds);
  bounded.idleMinutes = std::clamp(idleMinutes, kMinIdleMinutes, kMaxIdleMinutes);
  return bounded;
}

}  // namespace tallimor
