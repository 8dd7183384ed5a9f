// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// LockedFile: exclusive opening with flock and whole-file replacement by rename.
// Open() re-checks, after locking, that the descriptor still names the file at the
// path, because a concurrent Replace() may have renamed a new file over it.
#include "store/LockedFile.h"

#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "store/FileSystem.h"

namespace tallimor {
namespace {

// A replace between our open and our lock is rare; a few retries settle it.
constexpr int kOpenAttempts = 5;

void CloseQuietly(int fd) {
  if (fd >= 0) ::close(fd);
}

}  // namespace

LockedFile::LockedFile() = default;

LockedFile::~LockedFile() { Close(); }

void LockedFile::Close() {
  CloseQuietly(fd_);
  fd_ = -1;
  identity_ = FileIdentity{};
}

bool LockedFile::IdentityOf(int fd, FileIdentity* identity) {
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0) return false;
  identity->device = static_cast<std::uint64_t>(st.st_dev);
  identity->inode = static_cast<std::uint64_t>(st.st_ino);
  identity->size = static_cast<std::int64_t>(st.st_size);
  identity->modifiedSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
  identity->modifiedNanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
  return true;
}

bool LockedFile::ContentDigest(int fd, std::uint64_t* digest) {
  // FNV-1a over 8-byte words, with the length folded in: no cryptographic strength
  // is needed to tell one version of a file from another.
  constexpr std::uint64_t kPrime = 0x100000001b3ull;
  std::uint64_t hash = 0xcbf29ce484222325ull;
  std::vector<std::uint8_t> buffer(1 << 16);
  std::uint64_t total = 0;
  for (off_t at = 0;;) {
    const ssize_t got = ::pread(fd, buffer.data(), buffer.size(), at);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) break;
    std::size_t i = 0;
    const auto n = static_cast<std::size_t>(got);
    for (; i + 8 <= n; i += 8) {
      std::uint64_t word;
      std::memcpy(&word, buffer.data() + i, 8);
      hash = (hash ^ word) * kPrime;
    }
    for (; i < n; ++i) hash = (hash ^ buffer[i]) * kPrime;
    at += got;
    total += static_cast<std::uint64_t>(got);
  }
  *digest = (hash ^ total) * kPrime;
  return true;
}

bool LockedFile::StillAsOpened() const {
  FileIdentity now;
  if (!IdentityOf(fd_, &now) || !(now == identity_)) return false;
  struct stat atPath {};
  return ::stat(path_.c_str(), &atPath) == 0 && static_cast<std::uint64_t>(atPath.st_dev) == now.device &&
         static_cast<std::uint64_t>(atPath.st_ino) == now.inode;
}

Result LockedFile::Open(const std::string& path, Mode mode) {
  Close();
  if (path.empty()) return kErrOpenFailed;
  int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  flags |= mode == Mode::kReadExisting ? O_RDONLY : O_RDWR;
  if (mode == Mode::kReadWriteOrCreate) flags |= O_CREAT;

  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    FileSystem* fs = FileSystem::Default();
    const int fd = fs->Open(path, flags, 0600);
    if (fd < 0) return kErrOpenFailed;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || fs->Lock(fd, LOCK_EX | LOCK_NB) != 0) {
      CloseQuietly(fd);
      return kErrOpenFailed;
    }
    struct stat current {};
    if (::stat(path.c_str(), &current) == 0 && current.st_dev == opened.st_dev &&
        current.st_ino == opened.st_ino) {
      char resolved[PATH_MAX];
      if (::realpath(path.c_str(), resolved) == nullptr) {
        CloseQuietly(fd);
        return kErrOpenFailed;
      }
      // Regular files ignore O_NONBLOCK; clear it all the same.
      ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
      fd_ = fd;
      path_ = resolved;
      IdentityOf(fd_, &identity_);
      return kOk;
    }
    // The path was given a new file while we were locking the old one.
    CloseQuietly(fd);
  }
  return kErrOpenFailed;
}

Result LockedFile::Replace(const std::function<Result(int fd)>& write) {
  if (fd_ < 0) return kErrFileNotOpen;
  struct stat old {};
  if (::fstat(fd_, &old) != 0) return kErrWrite;
  // We hold the file's lock, so no other writer is making a temporary of it now, and
  // the new file is locked before it stands under the name.
  FileSystem::ReplaceOptions options;
  options.separator = ".";
  options.mode = static_cast<int>(old.st_mode & 07777);
  options.lockRequired = true;
  options.beforePlacing = [this] { return StillAsOpened() ? kOk : kErrFileChanged; };
  int placed = -1;
  options.keptOpen = &placed;
  const Result result = FileSystem::Default()->ReplaceWith(path_, write, options, nullptr);
  if (result != kOk) return result;
  // The new file is in place and locked; let go of the old one.
  CloseQuietly(fd_);
  fd_ = placed;
  IdentityOf(fd_, &identity_);
  return kOk;
}

}  // namespace tallimor
