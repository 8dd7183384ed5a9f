// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Remembers a HotSync that did not finish. The HotSync program writes the mark into the
// user's HotSync directory before the conduit runs and removes it only when the run
// succeeds, so a run that failed or was killed half way leaves it behind, and the next
// HotSync of that handheld compares every record (a slow synchronization) instead of
// trusting change flags that one side may already have cleared.
#pragma once

#include <cstdint>
#include <string>

#include "store/ResultCodes.h"

namespace tallimor {

class UnfinishedSync {
 public:
  // The mark's file in the user's HotSync directory: one line saying when the
  // unfinished run started and with which sync type.
  static constexpr const char* kFileName = "HotSync.unfinished";

  // The mark of the user whose HotSync directory is userDirectory (with or without a
  // trailing '/').
  explicit UnfinishedSync(const std::string& userDirectory);

  const std::string& path() const { return path_; }

  // True when a run of this user has not finished.
  bool Present() const;
  // Writes the mark (atomically, flushed to the disk) for a run of `syncType`.
  // *error says why it could not be written.
  Result Set(std::int32_t syncType, std::string* error);
  // Removes the mark after a successful run.
  Result Clear(std::string* error);

 private:
  std::string path_;
};

}  // namespace tallimor
