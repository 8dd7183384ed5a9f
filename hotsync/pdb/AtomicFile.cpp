// Atomic replacement of a file: temporary beside the target, fsync, rename, and an
// fsync of the directory so that the rename itself survives a crash.
#include "hotsync/pdb/AtomicFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tallimor {
namespace {

constexpr const char* kTemporarySuffix = ".tmp-";

std::string DirectoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

void SyncDirectory(const std::string& path) {
  const int dir = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return;
  ::fsync(dir);  // best effort: some file systems refuse fsync on directories
  ::close(dir);
}

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
  RemoveLeftTemporaries(path);
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return Fail(error, "cannot create a temporary file beside " + path, errno);
  const std::string tempPath(name.data());
  // Locked for as long as it is being written, so that another writer's clean-up can
  // tell it from one a killed writer left.
  ::flock(fd, LOCK_EX | LOCK_NB);

  mode_t mode = 0644;
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
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(tempPath.c_str());
    return Fail(error, "cannot close " + tempPath, err);
  }
  if (::rename(tempPath.c_str(), path.c_str()) != 0) {
    const int err = errno;
    ::unlink(tempPath.c_str());
    return Fail(error, "cannot replace " + path, err);
  }
  SyncDirectory(path);
  return kOk;
}

Result AtomicFile::Remove(const std::string& path, std::string* error) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) return Fail(error, "cannot remove " + path, errno);
  SyncDirectory(path);
  return kOk;
}

std::size_t AtomicFile::RemoveLeftTemporaries(const std::string& path) {
  const std::string directory = DirectoryOf(path);
  const auto slash = path.rfind('/');
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + kTemporarySuffix;
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return 0;
  std::size_t removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    // Exactly the names Write makes: the prefix and mkostemp's six characters.
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const int fd = ::openat(::dirfd(dir), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    // A writer at work holds its temporary locked; a killed one's lock went with it.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::unlinkat(::dirfd(dir), name.c_str(), 0) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  ::closedir(dir);
  if (removed != 0) SyncDirectory(path);
  return removed;
}

}  // namespace tallimor
