// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Directory helpers of the files replaced by rename (see FileDirectory.h); the
// flushing and the clean-up go through the file-system seam.
#include "store/FileDirectory.h"

#include "store/FileSystem.h"

namespace tallimor {

std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void SyncDirectoryOf(const std::string& path) { FileSystem::Default()->SyncDirectoryOf(path); }

std::size_t RemoveLeftTemporaries(const std::string& path, const std::string& separator) {
  return FileSystem::Default()->RemoveLeftTemporaries(path, separator);
}

}  // namespace tallimor
