// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// SaveConflict: the checks behind the desktop's message after a save that another
// program got in the way of. Nothing here reads or writes record.dat itself: the lock
// probe takes a shared lock only for an instant and lets it go.
#include "desktop/SaveConflict.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "hotsync/log/HotSyncLog.h"
#include "store/FileDirectory.h"

namespace tallimor {
std::string SaveConflict::HotSyncLogPathFor(const std::string& dataPath) {
  // record.dat lies in Tallimor-Vexa inside the user's HotSync directory.
  return DirectoryOf(DirectoryOf(dataPath)) + "/" + HotSyncLog::kFileName;
}

bool SaveConflict::IsHeldElsewhere(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return false;
  const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
  ::close(fd);  // also lets the probe's own lock go
  return held;
}

SaveConflictKind SaveConflict::Classify(const std::string& dataPath, Result result) {
  if (result == kErrFileChanged) return SaveConflictKind::kChanged;
  if ((result == kErrWrite || result == kErrOpenFailed) && IsHeldElsewhere(dataPath))
    return SaveConflictKind::kHeld;
  return SaveConflictKind::kNone;
}

SaveConflict::LogStamp SaveConflict::StampOf(const std::string& path) {
  LogStamp stamp;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return stamp;
  stamp.exists = true;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.seconds = st.st_mtim.tv_sec;
  stamp.nanoseconds = st.st_mtim.tv_nsec;
  return stamp;
}

void SaveConflict::Remember(const std::string& dataPath) {
  remembered_ = StampOf(HotSyncLogPathFor(dataPath));
  rememberedAny_ = true;
}

OtherProgram SaveConflict::Writer(const std::string& dataPath, SaveConflictKind kind) const {
  const LogStamp now = StampOf(HotSyncLogPathFor(dataPath));
  if (rememberedAny_ && now.exists && !(now == remembered_)) return OtherProgram::kHotSync;
  if (kind == SaveConflictKind::kChanged) return OtherProgram::kTallimor;
  return OtherProgram::kUnknown;
}

}  // namespace tallimor
