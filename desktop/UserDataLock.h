// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// UserDataLock: one desktop program per HotSync user. While a user is open, the program
// holds an exclusive flock on `desktop.lock` in the directory of that user's record.dat
// (<HotSync root><user directory>/Tallimor-Vexa/desktop.lock); the file holds the
// holder's process id as a decimal line. The lock belongs to the user's data, not to
// the session: the single-instance lock and the message socket live in the runtime
// directory, so two shells with different runtime directories would otherwise run two
// programs on one user, each saving over the other's memos. The kernel lets the lock
// go when the program ends in any way; a file left behind blocks nobody.
#pragma once

#include <sys/types.h>

#include <string>

#include "store/ResultCodes.h"

namespace tallimor {

// Another desktop program holds the user's lock.
inline constexpr Result kErrUserOpenElsewhere = -4006;

class UserDataLock {
 public:
  static constexpr const char* kFileName = "desktop.lock";

  UserDataLock() = default;
  ~UserDataLock();  // lets the lock go
  UserDataLock(const UserDataLock&) = delete;
  UserDataLock& operator=(const UserDataLock&) = delete;
  UserDataLock(UserDataLock&& other) noexcept;
  UserDataLock& operator=(UserDataLock&& other) noexcept;

  // The lock file of the user whose record file is `dataPath`.
  static std::string LockPathFor(const std::string& dataPath);

  // Takes the lock of the user whose record file is `dataPath`, making its directory
  // (private to the user) when there is none yet. kErrUserOpenElsewhere when another
  // program holds it (*holder, if given, gets its process id, 0 when unknown). Where
  // no lock file can be made (a read-only directory) there is nothing to guard with:
  // kOk, holding nothing. A lock held before is let go first.
  Result Acquire(const std::string& dataPath, pid_t* holder = nullptr);

  // Lets the lock go (the file stays, empty of meaning).
  void Release();

  // True when this object holds the lock of the user whose record file is `dataPath`.
  bool Holds(const std::string& dataPath) const;
  bool IsHeld() const { return fd_ >= 0; }

 private:
  int fd_ = -1;       // the locked file, or -1
  std::string path_;  // its path
};

}  // namespace tallimor
