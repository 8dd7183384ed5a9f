// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// SaveConflict: tells a save that another program got in the way of from one that
// failed on its own, and names that program when it can. Another program has either
// rewritten record.dat since the store read it (the store refuses to write over it) or
// holds it open now (the conduit keeps it locked for a whole HotSync). A HotSync writes
// the user's HotSync log as it starts, beside the user's data; when the log has not
// been written since the store was read or written, the other writer was most likely
// another Tallimor.
#pragma once

#include <cstdint>
#include <string>

#include "store/ResultCodes.h"

namespace tallimor {

enum class SaveConflictKind {
  kNone,     // the save failed for a reason of its own (or did not fail)
  kChanged,  // the file was rewritten since it was read
  kHeld,     // another program has the file open
};

enum class OtherProgram { kUnknown, kHotSync, kTallimor };

class SaveConflict {
 public:
  // The HotSync log of the user whose record file is `dataPath`.
  static std::string HotSyncLogPathFor(const std::string& dataPath);

  // What a save (or a load) of the file at `dataPath` that answered `result` met.
  static SaveConflictKind Classify(const std::string& dataPath, Result result);

  // True when another program holds the file at `path` locked now.
  static bool IsHeldElsewhere(const std::string& path);

  // Notes the state of the user's HotSync log, as the store has just been read from or
  // written to `dataPath`.
  void Remember(const std::string& dataPath);

  // The program behind a conflict of `kind` on `dataPath`: HotSync when the HotSync log
  // was written since Remember(); another Tallimor for a rewritten file otherwise;
  // unknown for a file held open otherwise.
  OtherProgram Writer(const std::string& dataPath, SaveConflictKind kind) const;

 private:
  // Size and modification time of the log; exists is false when there is none.
  struct LogStamp {
    bool exists = false;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t seconds = 0;
    std::int64_t nanoseconds = 0;
    bool operator==(const LogStamp&) const = default;
  };
  static LogStamp StampOf(const std::string& path);

  LogStamp remembered_;     // the log when the store was last read or written
  bool rememberedAny_ = false;
};

}  // namespace tallimor
