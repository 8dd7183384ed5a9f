// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// UserDataLock: the flock beside a user's record file. The process id is written only
// once the lock is held, so a reader that finds the file locked reads the holder's id
// (or an empty file for a moment, read as unknown).
#include "desktop/UserDataLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <utility>

#include "store/FileDirectory.h"
#include "store/FileSystem.h"

namespace tallimor {
namespace {

// The directory and the one above it (the user's HotSync directory), as the first save
// would make them.
void MakeDirectories(const std::string& directory) {
  const std::string above = DirectoryOf(directory);
  if (above != "/" && above != ".") ::mkdir(above.c_str(), 0700);
  ::mkdir(directory.c_str(), 0700);
}

pid_t ReadHolder(int fd) {
  char buffer[32] = {};
  const ssize_t got = ::pread(fd, buffer, sizeof buffer - 1, 0);
  if (got <= 0) return 0;
  char* end = nullptr;
  const long pid = std::strtol(buffer, &end, 10);
  return pid > 0 && end != buffer ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

UserDataLock::~UserDataLock() { Release(); }

UserDataLock::UserDataLock(UserDataLock&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

UserDataLock& UserDataLock::operator=(UserDataLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
  }
  return *this;
}

std::string UserDataLock::LockPathFor(const std::string& dataPath) {
  return DirectoryOf(dataPath) + "/" + kFileName;
}

Result UserDataLock::Acquire(const std::string& dataPath, pid_t* holder) {
  if (holder != nullptr) *holder = 0;
  Release();
  const std::string path = LockPathFor(dataPath);
  MakeDirectories(DirectoryOf(path));
  FileSystem* files = FileSystem::Default();
  const int fd = files->OpenForLocking(path);
  if (fd < 0) return kOk;  // nowhere to keep a lock: nothing to guard with
  if (files->Lock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EWOULDBLOCK) {
      if (holder != nullptr) *holder = ReadHolder(fd);
      ::close(fd);
      return kErrUserOpenElsewhere;
    }
    ::close(fd);
    return kOk;
  }
  // The id says who holds it, for the message of the program refused; the lock itself
  // is what counts, so a failed write changes nothing.
  const std::string line = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(fd, line.data(), line.size(), 0);
  }
  fd_ = fd;
  path_ = path;
  return kOk;
}

void UserDataLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  path_.clear();
}

bool UserDataLock::Holds(const std::string& dataPath) const {
  return fd_ >= 0 && path_ == LockPathFor(dataPath);
}

}  // namespace tallimor
