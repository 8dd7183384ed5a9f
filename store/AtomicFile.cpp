// Atomic replacement of a file: temporary beside the target, fsync, rename, and an
// fsync of the directory so that the rename itself survives a crash.
#include "store/AtomicFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "store/FileDirectory.h"

namespace tallimor {
namespace {

constexpr const char* kTemporarySuffix = ".tmp-";

Result Fail(std::string* error, const std::string& what, int err) {
  if (error) *error = what + ": " + std::strerror(err);
  return kErrWrite;
}

}  // namespace

Result AtomicFile::Write(const std::string& path, const std::uint8_t* data, std::size_t size,
                         std::string* error) {
  std::string pattern = path + kTemporarySuffix + "XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  RemoveLeftTemporaries(path, kTemporarySuffix);
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return Fail(error, "cannot create a temporary file beside " + path, errno);
  const std::string tempPath(name.data());
  // Locked for as long as it is being written, so that another writer's clean-up can
  // tell it from one a killed writer left.
  ::flock(fd, LOCK_EX | LOCK_NB);

  // A new file is private: handheld databases hold the password's digest and hint.
  mode_t mode = 0600;
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0) mode = existing.st_mode & 07777;

  auto abandon = [&](const std::string& what) {
    const int err = errno;
    ::close(fd);
    ::unlink(tempPath.c_str());
    return Fail(error, what, err);
  };

  if (::fchmod(fd, mode) != 0) return abandon("cannot set the permissions of " + tempPath);
  std::size_t written = 0;
  while (written < size) {
    const ssize_t n = ::write(fd, data + written, size - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon("cannot write " + tempPath);
    }
    written += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) return abandon("cannot flush " + tempPath);
  // Renamed while still open and locked: closed first, the finished temporary would
  // look like one a killed writer left, and another writer's clean-up could remove it
  // before the rename.
  if (::rename(tempPath.c_str(), path.c_str()) != 0) return abandon("cannot replace " + path);
  // The contents are on the disk already (fsync above); a failing close loses nothing.
  ::close(fd);
  SyncDirectoryOf(path);
  return kOk;
}

Result AtomicFile::Remove(const std::string& path, std::string* error) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Fail(error, "cannot remove " + path, errno);
  SyncDirectoryOf(path);
  return kOk;
}

}  // namespace tallimor
