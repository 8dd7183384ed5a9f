// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The kind of what stands at a path, following symbolic links as the readers do, so
// that a link to a regular file is no problem and a link to a pipe is one.
#include "hotsync/manager/FileKind.h"

#include <sys/stat.h>

namespace tallimor {

std::string FileKind::Problem(const std::string& path, const std::string& otherwise) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode)) return otherwise;
  const char* kind = S_ISFIFO(st.st_mode)   ? "a named pipe"
                     : S_ISDIR(st.st_mode)  ? "a directory"
                     : S_ISSOCK(st.st_mode) ? "a socket"
                                            : "a device";
  return std::string("it is ") + kind + ", not a regular file";
}

}  // namespace tallimor
