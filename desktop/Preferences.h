// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The user's preferences for the program's safety features: clearing a copied memo from
// the clipboard after a while, and locking the memos away when the screen locks or the
// program sits idle. Kept in Tallimor.ini under a section of their own; the
// preferences dialog edits them and the application applies them.
#pragma once

#include <cstdint>

#include "store/ResultCodes.h"

namespace tallimor {

class CProfile;

class Preferences {
 public:
  // Bounds of the two delays; a value outside them in the profile is brought inside.
  static constexpr std::int32_t kMinClearSeconds = 1;
  static constexpr std::int32_t kMaxClearSeconds = 3600;
  static constexpr std::int32_t kMinIdleMinutes = 1;
  static constexpr std::int32_t kMaxIdleMinutes = 1440;

  bool clearClipboard = false;        // clear a copy from the clipboard after a delay
  std::int32_t clearSeconds = 10;     // that delay
  bool lockOnScreenLock = true;       // lock the memos away when the session's screen locks
  bool idleLock = false;              // lock them after the program has sat idle
  std::int32_t idleMinutes = 10;      // for that long

  // The preferences stored in `profile`; the defaults for what is missing.
  static Preferences Load(const CProfile& profile);

  // Writes every preference to `profile`. kOk, or the profile's write error (the
  // preferences written before it stay written).
  Result Save(CProfile& profile) const;

  // The delays brought inside their bounds.
  Preferences Bounded() const;

  bool operator==(const Preferences&) const = default;
};

}  // namespace tallimor
