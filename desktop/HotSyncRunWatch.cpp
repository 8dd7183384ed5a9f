// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The watch tries a shared flock without waiting: it fails while the HotSync holds its
// exclusive one. Taken, it is let go at once, so a HotSync that starts just then is
// kept out for no more than an instant (and says so, to be run again).
#include "desktop/HotSyncRunWatch.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "hotsync/users/UserData.h"
#include "store/FileSystem.h"

namespace tallimor {
namespace {

// The directory part of path, without its last '/', or "" when it has none.
std::string Parent(const std::string& path) {
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

HotSyncRunWatch::~HotSyncRunWatch() { Stop(); }

std::string HotSyncRunWatch::LockPathFor(const std::string& recordPath) {
  const std::string conduitDirectory = Parent(recordPath);
  const std::string userDirectory = Parent(conduitDirectory);
  if (conduitDirectory.empty() || userDirectory.empty()) return {};
  return userDirectory + "/" + UserData::kHotSyncLockFileName;
}

bool HotSyncRunWatch::Watch(const std::string& lockPath) {
  Stop();
  if (lockPath.empty()) return false;
  // Read-only and never created: the watch must not make a file the HotSync owns.
  const int fd = FileSystem::Default()->OpenRegular(lockPath, O_NOFOLLOW);
  if (fd < 0) return false;
  if (!Held(fd)) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool HotSyncRunWatch::Released() {
  if (fd_ < 0 || Held(fd_)) return false;
  Stop();
  return true;
}

void HotSyncRunWatch::Stop() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool HotSyncRunWatch::Held(int fd) {
  for (;;) {
    if (FileSystem::Default()->Lock(fd, LOCK_SH | LOCK_NB) == 0) {
      FileSystem::Default()->Lock(fd, LOCK_UN);
      return false;
    }
    if (errno != EINTR) return errno == EWOULDBLOCK;
  }
}

}  // namespace tallimor
