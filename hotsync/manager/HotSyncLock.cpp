// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// flock on <user directory>/HotSync.lock; the file itself stays, empty, between runs.
#include "hotsync/manager/HotSyncLock.h"
#include "store/FileSystem.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace tallimor {

HotSyncLock::~HotSyncLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool HotSyncLock::Take(const std::string& userDirectory, std::string* error) {
  std::string path = userDirectory;
  if (!path.empty() && path.back() != '/') path += '/';
  path += kFileName;
  FileSystem* files = FileSystem::Default();
  const int fd = files->OpenForLocking(path);
  if (fd < 0) {
    *error = path + ": " + OpenFault(errno);
    return false;
  }
  if (files->Lock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int saved = errno;
    ::close(fd);
    *error = saved == EWOULDBLOCK ? "another HotSync of this user is running"
                                  : path + ": " + std::strerror(saved);
    return false;
  }
  fd_ = fd;
  return true;
}

}  // namespace tallimor
