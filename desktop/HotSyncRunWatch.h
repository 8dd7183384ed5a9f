// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Noticing a HotSync that has died. A HotSync holds HotSync.lock in its user's
// directory for its whole run, and the kernel lets the lock go when the process ends,
// however it ends. The desktop program, kept out of its data between the HotSync's
// start and end codes, watches that lock: once it is free while no end code has come,
// the HotSync is gone and will never send one.
#pragma once

#include <string>

namespace tallimor {

class HotSyncRunWatch {
 public:
  HotSyncRunWatch() = default;
  // Stops watching.
  ~HotSyncRunWatch();

  HotSyncRunWatch(const HotSyncRunWatch&) = delete;
  HotSyncRunWatch& operator=(const HotSyncRunWatch&) = delete;

  // The lock file of the HotSync user whose record file is recordPath
  // (<user directory>/Tallimor-Vexa/record.dat): <user directory>/HotSync.lock. Empty
  // when recordPath has no such shape.
  static std::string LockPathFor(const std::string& recordPath);

  // Starts watching the lock at lockPath, replacing any earlier watch. True when a
  // HotSync holds it now; false (and nothing watched) when nobody does or the file
  // cannot be opened, since a lock nobody holds says nothing about the HotSync.
  bool Watch(const std::string& lockPath);

  bool Watching() const { return fd_ >= 0; }

  // True once the lock watched has been let go: the HotSync has ended or died. The
  // watch then stops. False while it is held or when nothing is watched.
  bool Released();

  // Stops watching.
  void Stop();

 private:
  // True when some process holds an exclusive lock on fd; tries a shared lock and
  // lets it go at once.
  static bool Held(int fd);

  int fd_ = -1;  // the lock file, open while watched
};

}  // namespace tallimor
