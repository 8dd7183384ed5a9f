// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Finding and checking the private runtime directory. The check runs on every use, not only
// when the directory is created: /tmp is shared, and another user may have made the
// fallback name first, or the user may have opened the directory up since.
#include "notifier/RuntimeDirectory.h"

#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "notifier/WindowMessageResult.h"

namespace tallimor {

static_assert(kRuntimePathCapacity == sizeof(sockaddr_un::sun_path));

namespace {

// Writes the formatted path into *out; kWmPathTooLong when it does not fit.
template <typename... Args>
Result FormatPath(RuntimePath* out, const char* format, Args... args) {
  const int written = std::snprintf(out->data(), out->size(), format, args...);
  if (written < 0) return kWmSystemError;
  if (static_cast<std::size_t>(written) >= out->size()) return kWmPathTooLong;
  return kOk;
}

}  // namespace

Result RuntimeDirectory::Locate(RuntimePath* dir) {
  return Resolve(std::getenv("XDG_RUNTIME_DIR"), "/tmp", dir);
}

Result RuntimeDirectory::Resolve(const char* xdgRuntimeDir, const char* fallbackParent,
                                 RuntimePath* dir) {
  if (dir == nullptr || fallbackParent == nullptr) return kErrNullArgument;
  Result result;
  if (xdgRuntimeDir != nullptr && xdgRuntimeDir[0] == '/') {
    result = FormatPath(dir, "%s", xdgRuntimeDir);
  } else {
    result = FormatPath(dir, "%s/tallimor-%lu", fallbackParent,
                        static_cast<unsigned long>(geteuid()));
  }
  if (result != kOk) return result;
  return Prepare(dir->data());
}

Result RuntimeDirectory::Prepare(const char* dir) {
  if (dir == nullptr) return kErrNullArgument;
  if (mkdir(dir, 0700) != 0 && errno != EEXIST) return kWmSystemError;
  struct stat info {};
  if (lstat(dir, &info) != 0) return kWmSystemError;
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 077) != 0) {
    return kWmUnsafeDirectory;
  }
  return kOk;
}

Result RuntimeDirectory::EntryPath(const char* name, RuntimePath* path) {
  if (name == nullptr || path == nullptr) return kErrNullArgument;
  RuntimePath dir{};
  const Result result = Locate(&dir);
  if (result != kOk) return result;
  return FormatPath(path, "%s/%s", dir.data(), name);
}

}  // namespace tallimor
