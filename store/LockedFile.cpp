// LockedFile: exclusive opening with flock and whole-file replacement by rename.
// Open() re-checks, after locking, that the descriptor still names the file at the
// path, because a concurrent Replace() may have renamed a new file over it.
#include "store/LockedFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

namespace tallimor {
namespace {

// A replace between our open and our lock is rare; a few retries settle it.
constexpr int kOpenAttempts = 5;

void CloseQuietly(int fd) {
  if (fd >= 0) ::close(fd);
}

// Syncs the directory holding `path`, so that a rename into it survives a crash.
void SyncDirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

LockedFile::LockedFile() = default;

LockedFile::~LockedFile() { Close(); }

void LockedFile::Close() {
  CloseQuietly(fd_);
  fd_ = -1;
}

Result LockedFile::Open(const std::string& path, Mode mode) {
  Close();
  if (path.empty()) return kErrOpenFailed;
  int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  flags |= mode == Mode::kReadExisting ? O_RDONLY : O_RDWR;
  if (mode == Mode::kReadWriteOrCreate) flags |= O_CREAT;

  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    const int fd = ::open(path.c_str(), flags, 0600);
    if (fd < 0) return kErrOpenFailed;
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) ||
        ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
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
      return kOk;
    }
    // The path was given a new file while we were locking the old one.
    CloseQuietly(fd);
  }
  return kErrOpenFailed;
}

namespace {

// Removes the temporaries beside `path` that a writer killed half way left: the names
// Replace makes, and unlocked, since a writer locks its temporary as it makes it. The
// caller holds the lock of the file itself, so no other writer is making one now.
void RemoveLeftTemporaries(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".";
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const int fd = ::openat(::dirfd(listing), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlinkat(::dirfd(listing), name.c_str(), 0);
    }
    ::close(fd);
  }
  ::closedir(listing);
}

}  // namespace

Result LockedFile::Replace(const std::function<Result(int fd)>& write) {
  if (fd_ < 0) return kErrFileNotOpen;
  struct stat old {};
  if (::fstat(fd_, &old) != 0) return kErrWrite;
  RemoveLeftTemporaries(path_);

  std::string pattern = path_ + ".XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return kErrWrite;
  const std::string temp(name.data());
  auto fail = [&](Result result) {
    ::unlink(temp.c_str());
    CloseQuietly(fd);
    return result;
  };
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fchmod(fd, old.st_mode & 07777) != 0) {
    return fail(kErrWrite);
  }
  const Result result = write(fd);
  if (result != kOk) return fail(result);
  if (::fsync(fd) != 0) return fail(kErrWrite);
  if (::rename(temp.c_str(), path_.c_str()) != 0) return fail(kErrWrite);
  SyncDirectoryOf(path_);
  // The new file is in place and locked; let go of the old one.
  CloseQuietly(fd_);
  fd_ = fd;
  ::lseek(fd_, 0, SEEK_SET);
  return kOk;
}

}  // namespace tallimor
