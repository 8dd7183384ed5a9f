// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// One HotSync of a user at a time. A second HotSync of the same user while one runs
// would race it for the desktop file and for the unfinished-HotSync mark, so it is
// refused. The lock is an advisory lock on a file in the user's HotSync directory; the
// system releases it when the process ends, however it ends; the desktop program
// watches it to notice a HotSync that died without telling it the end.
#pragma once

#include <string>

#include "hotsync/users/UserData.h"

namespace tallimor {

class HotSyncLock {
 public:
  // The lock file in the user's HotSync directory.
  static constexpr const char* kFileName = UserData::kHotSyncLockFileName;

  HotSyncLock() = default;
  // Releases the lock.
  ~HotSyncLock();

  HotSyncLock(const HotSyncLock&) = delete;
  HotSyncLock& operator=(const HotSyncLock&) = delete;

  // Takes the lock of the user whose HotSync directory is userDirectory, without
  // waiting. False with *error when another HotSync holds it or the file cannot be made.
  bool Take(const std::string& userDirectory, std::string* error);

 private:
  int fd_ = -1;  // the locked file, open while the lock is held
};

}  // namespace tallimor
