// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Replaces a file on disk all at once: the new contents go to a temporary file
// beside the target, are flushed to the disk, and are renamed over the target, so
// a reader (or a run killed half way) sees either the old file or the new one. A
// shorthand for FileSystem::Default()->Replace() with the usual options.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "store/ResultCodes.h"

namespace tallimor {

class AtomicFile {
 public:
  // Writes `size` bytes to `path` atomically. An existing file keeps its
  // permissions; a new one gets 0600. On failure returns kErrWrite, leaves the old
  // file untouched, removes the temporary and describes the fault in *error. The
  // temporaries that writers killed half way left beside `path` are removed first.
  static Result Write(const std::string& path, const std::uint8_t* data, std::size_t size,
                      std::string* error);

  // Removes `path` (ENOENT is not an error) and flushes the directory entry.
  static Result Remove(const std::string& path, std::string* error);
};

}  // namespace tallimor
