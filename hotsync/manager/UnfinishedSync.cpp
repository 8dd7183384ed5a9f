// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The unfinished-HotSync mark: a small text file replaced atomically and removed with
// its directory entry flushed, so that a crash right after either step leaves the
// mark in the state the program meant.
#include "hotsync/manager/UnfinishedSync.h"

#include <sys/stat.h>
#include <unistd.h>

#include "hotsync/log/LogFormat.h"
#include "store/AtomicFile.h"

namespace tallimor {

UnfinishedSync::UnfinishedSync(const std::string& userDirectory) : path_(userDirectory) {
  if (!path_.empty() && path_.back() != '/') path_ += '/';
  path_ += kFileName;
}

bool UnfinishedSync::Present() const {
  struct stat st {};
  return ::lstat(path_.c_str(), &st) == 0;
}

Result UnfinishedSync::Set(std::int32_t syncType, std::string* error) {
  const std::string line = "HotSync started " + LogFormat::Now() + ", sync type " +
                           std::to_string(syncType) + ", process " +
                           std::to_string(static_cast<long>(::getpid())) + "\n";
  return AtomicFile::Write(path_, reinterpret_cast<const std::uint8_t*>(line.data()), line.size(),
                           error);
}

Result UnfinishedSync::Clear(std::string* error) { return AtomicFile::Remove(path_, error); }

}  // namespace tallimor
