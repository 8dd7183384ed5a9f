// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The file-system seam (see FileSystem.h): the real primitives, and the compound
// operations every writer shares, each written once here on top of the primitives so
// that a fault injected into any one call is seen by all of them alike.
#include "store/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "store/FileDirectory.h"

namespace tallimor {
namespace {

std::atomic<FileSystem*> installed{nullptr};

Result Fail(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
  return kErrWrite;
}

// `fd` made blocking again when it is a regular file; otherwise closed, -1 and errno
// (EINVAL for what is not a regular file). -1 stays -1.
int KeepIfRegular(int fd) {
  if (fd < 0) return -1;
  struct stat st {};
  const bool known = ::fstat(fd, &st) == 0;
  if (!known || !S_ISREG(st.st_mode)) {
    const int err = known ? EINVAL : errno;
    ::close(fd);
    errno = err;
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

FileSystem::~FileSystem() = default;

FileSystem* FileSystem::Default() {
  static FileSystem real;
  FileSystem* chosen = installed.load(std::memory_order_acquire);
  return chosen != nullptr ? chosen : &real;
}

FileSystem* FileSystem::SetDefault(FileSystem* fileSystem) {
  FileSystem* before = Default();
  installed.store(fileSystem, std::memory_order_release);
  return before;
}

int FileSystem::Open(const std::string& path, int flags, mode_t mode) {
  return ::open(path.c_str(), flags, mode);
}

int FileSystem::CreateTemporary(std::string* pattern) { return ::mkostemp(pattern->data(), O_CLOEXEC); }

ssize_t FileSystem::Write(int fd, const void* data, std::size_t size) { return ::write(fd, data, size); }

int FileSystem::Sync(int fd) { return ::fsync(fd); }

int FileSystem::SetMode(int fd, mode_t mode) { return ::fchmod(fd, mode); }

int FileSystem::Lock(int fd, int operation) { return ::flock(fd, operation); }

int FileSystem::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

int FileSystem::Link(const std::string& from, const std::string& to) {
  return ::link(from.c_str(), to.c_str());
}

int FileSystem::Remove(const std::string& path) { return ::unlink(path.c_str()); }

int FileSystem::MakeDirectory(const std::string& path, mode_t mode) { return ::mkdir(path.c_str(), mode); }

int FileSystem::SyncDirectory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int synced = ::fsync(fd);
  const int err = errno;
  ::close(fd);
  errno = err;
  return synced;
}

Result FileSystem::WriteAll(int fd, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = Write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return kErrWrite;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return kOk;
}

Result FileSystem::ReplaceWith(const std::string& path, const std::function<Result(int fd)>& write,
                               const ReplaceOptions& options, std::string* error) {
  if (path.empty()) return Fail(error, "no file name given", EINVAL);
  RemoveLeftTemporaries(path, options.separator);
  std::string temp = path + options.separator + "XXXXXX";
  const int fd = CreateTemporary(&temp);
  if (fd < 0) return Fail(error, "cannot create a temporary file beside " + path, errno);

  // Everything that fails from here on takes the temporary away again, so that no
  // half-written file outlives the call.
  auto abandon = [&](Result result, const std::string& what, int err) {
    Remove(temp);
    ::close(fd);
    if (result != kErrWrite) return result;
    return Fail(error, what, err);
  };

  if (Lock(fd, LOCK_EX | LOCK_NB) != 0 && options.lockRequired) {
    return abandon(kErrWrite, "cannot lock " + temp, errno);
  }
  mode_t mode = 0600;
  if (options.mode != kKeepMode) {
    mode = static_cast<mode_t>(options.mode);
  } else if (struct stat existing {}; ::stat(path.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  }
  if (SetMode(fd, mode) != 0) return abandon(kErrWrite, "cannot set the permissions of " + temp, errno);
  errno = 0;
  const Result written = write(fd);
  if (written != kOk) return abandon(written, "cannot write " + temp, errno != 0 ? errno : EIO);
  if (Sync(fd) != 0) return abandon(kErrWrite, "cannot flush " + temp, errno);
  if (options.beforePlacing) {
    const Result ready = options.beforePlacing();
    if (ready != kOk) return abandon(ready, "cannot replace " + path, EBUSY);
  }
  // Placed while still open and locked: closed first, the finished temporary would look
  // like one a killed writer left, and another writer's clean-up could remove it before
  // it is placed.
  if (options.exclusive) {
    if (Link(temp, path) != 0) return abandon(kErrWrite, "cannot create " + path, errno);
    Remove(temp);
  } else if (Rename(temp, path) != 0) {
    return abandon(kErrWrite, "cannot replace " + path, errno);
  }
  SyncDirectoryOf(path);
  if (options.keptOpen != nullptr) {
    ::lseek(fd, 0, SEEK_SET);
    *options.keptOpen = fd;
  } else {
    // The contents are on the disk already (synced above); a failing close loses nothing.
    ::close(fd);
  }
  return kOk;
}

Result FileSystem::Replace(const std::string& path, const void* data, std::size_t size,
                           const ReplaceOptions& options, std::string* error) {
  return ReplaceWith(path, [&](int fd) { return WriteAll(fd, data, size); }, options, error);
}

int FileSystem::OpenRegular(const std::string& path, int extraFlags) {
  // Without O_NONBLOCK the open itself would wait for a writer on a named pipe.
  const int fd = Open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | extraFlags, 0);
  if (fd < 0) return -1;
  return KeepIfRegular(fd);
}

int FileSystem::OpenForAppend(const std::string& path) {
  const int fd = Open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
  return KeepIfRegular(fd);
}

int FileSystem::OpenForLocking(const std::string& path) {
  const int fd = Open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0600);
  return KeepIfRegular(fd);
}

int FileSystem::MakePrivateDirectory(const std::string& path) {
  if (MakeDirectory(path, 0700) == 0) return 0;
  if (errno != EEXIST) return -1;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  if (S_ISDIR(st.st_mode)) return 0;
  errno = ENOTDIR;
  return -1;
}

void FileSystem::MakePrivateParents(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    MakePrivateDirectory(path.substr(0, slash));
  }
}

Result FileSystem::RemoveFile(const std::string& path, std::string* error) {
  if (Remove(path) != 0 && errno != ENOENT) return Fail(error, "cannot remove " + path, errno);
  SyncDirectoryOf(path);
  return kOk;
}

void FileSystem::SyncDirectoryOf(const std::string& path) { SyncDirectory(DirectoryOf(path)); }

std::size_t FileSystem::RemoveLeftTemporaries(const std::string& path, const std::string& separator) {
  const std::size_t slash = path.find_last_of('/');
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + separator;
  const std::string directory = DirectoryOf(path);
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return 0;
  std::size_t removed = 0;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const int fd = ::openat(::dirfd(listing), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) continue;
    // A writer holds its temporary locked from the moment it makes it: one that can be
    // locked here was left by a writer that is gone.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && Lock(fd, LOCK_EX | LOCK_NB) == 0 &&
        Remove(directory + "/" + name) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  ::closedir(listing);
  if (removed != 0) SyncDirectoryOf(path);
  return removed;
}

std::string OpenFault(int err) {
  return err == EINVAL ? "not a regular file" : std::strerror(err);
}

}  // namespace tallimor
