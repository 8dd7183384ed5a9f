// Directory helpers of the files replaced by rename (see FileDirectory.h).
#include "store/FileDirectory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tallimor {

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncDirectoryOf(const std::string& path) {
  const int fd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::size_t RemoveLeftTemporaries(const std::string& path, const std::string& separator) {
  const std::size_t slash = path.find_last_of('/');
  const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + separator;
  DIR* listing = ::opendir(DirectoryOf(path).c_str());
  if (listing == nullptr) return 0;
  std::size_t removed = 0;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    const int fd = ::openat(::dirfd(listing), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::unlinkat(::dirfd(listing), name.c_str(), 0) == 0) {
      ++removed;
    }
    ::close(fd);
  }
  ::closedir(listing);
  if (removed != 0) SyncDirectoryOf(path);
  return removed;
}

}  // namespace tallimor
