// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The user's private runtime directory, where the desktop program's message socket and its
// single-instance lock live: $XDG_RUNTIME_DIR, else /tmp/tallimor-<uid>. Only a directory
// that nobody but the user can enter is used, so only the user's programs can reach the socket.
#pragma once

#include <array>
#include <cstddef>

#include "store/ResultCodes.h"

namespace tallimor {

// Room for a path that still fits a Unix socket address (sun_path), NUL included.
inline constexpr std::size_t kRuntimePathCapacity = 108;
using RuntimePath = std::array<char, kRuntimePathCapacity>;

class RuntimeDirectory {
 public:
  RuntimeDirectory() = delete;

  // Finds the runtime directory for this process's environment, creating it (mode 0700)
  // when missing, and checks it with Check. Writes its path to *dir.
  static Result Locate(RuntimePath* dir);

  // The choice Locate makes, from the value of XDG_RUNTIME_DIR (nullptr when unset) and
  // the parent of the fallback directory (normally "/tmp"). A value that is empty or not
  // absolute counts as unset; a value that is set but unsafe is refused, not replaced.
  static Result Resolve(const char* xdgRuntimeDir, const char* fallbackParent, RuntimePath* dir);

  // Creates dir when missing, then kOk only if it is a directory (not a symbolic link)
  // owned by this process's effective user with no access for group or others;
  // kWmUnsafeDirectory otherwise.
  static Result Prepare(const char* dir);

  // The path of the entry called name in the runtime directory, which is located as above.
  // kWmPathTooLong when it would not fit a socket address.
  static Result EntryPath(const char* name, RuntimePath* path);
};

}  // namespace tallimor
