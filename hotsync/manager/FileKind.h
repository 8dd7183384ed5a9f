// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// FileKind: what stands at a path that should be a regular file, in words for a
// message, so that a named pipe or a directory in a file's place is reported as such
// rather than as an unexplained failure to open it.
#pragma once

#include <string>

namespace tallimor {

class FileKind {
 public:
  FileKind() = delete;

  // "it is a named pipe, not a regular file" (or a directory, a socket, a device) when
  // something other than a regular file stands at `path` (links followed); `otherwise`
  // when a regular file or nothing does.
  static std::string Problem(const std::string& path, const std::string& otherwise);
};

}  // namespace tallimor
