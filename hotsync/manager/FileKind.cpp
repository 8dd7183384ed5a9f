// The kind of what stands at a path, from lstat, so that a symbolic link is not
// followed into a description of its target.
#include "hotsync/manager/FileKind.h"

#include <sys/stat.h>

namespace tallimor {

std::string FileKind::Problem(const std::string& path, const std::string& otherwise) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return otherwise;
  const char* kind = S_ISFIFO(st.st_mode)  ? "a named pipe"
                     : S_ISDIR(st.st_mode) ? "a directory"
                     : S_ISLNK(st.st_mode) ? "a symbolic link"
                     : S_ISSOCK(st.st_mode) ? "a socket"
                                            : "a device";
  return std::string("it is ") + kind + ", not a regular file";
}

}  // namespace tallimor
