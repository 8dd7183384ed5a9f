// flock on <user directory>/HotSync.lock; the file itself stays, empty, between runs.
#include "hotsync/manager/HotSyncLock.h"

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
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    *error = path + ": " + std::strerror(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
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
