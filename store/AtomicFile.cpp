// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Atomic replacement of a whole file through the file-system seam: temporary beside
// the target, fsync, rename, and an fsync of the directory so that the rename itself
// survives a crash.
#include "store/AtomicFile.h"

#include "store/FileSystem.h"

namespace tallimor {

Result AtomicFile::Write(const std::string& path, const std::uint8_t* data, std::size_t size,
                         std::string* error) {
  // A new file is private (the default mode): handheld databases hold the password's
  // digest and hint.
  return FileSystem::Default()->Replace(path, data, size, FileSystem::ReplaceOptions{}, error);
}

Result AtomicFile::Remove(const std::string& path, std::string* error) {
  return FileSystem::Default()->RemoveFile(path, error);
}

}  // namespace tallimor
