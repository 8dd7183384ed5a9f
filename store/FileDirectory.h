// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// What the files that are replaced by rename share about the directory they live in:
// where it is, flushing it so that a rename survives a crash, and clearing away the
// temporaries that writers killed half way left in it. The last two are shorthands for
// the same operations of FileSystem::Default().
#pragma once

#include <cstddef>
#include <string>

namespace tallimor {

// The directory of `path`: "." for a bare name, "/" for a file in the root.
std::string DirectoryOf(const std::string& path);

// Flushes the directory entry of `path` (best effort: some file systems refuse).
void SyncDirectoryOf(const std::string& path);

// Removes the temporaries of `path` that writers killed half way left beside it:
// regular files named the file's name, `separator` and six characters (mkstemp's),
// that no process holds locked, since a writer locks its temporary as it makes it.
// Returns how many were removed.
std::size_t RemoveLeftTemporaries(const std::string& path, const std::string& separator);

}  // namespace tallimor
