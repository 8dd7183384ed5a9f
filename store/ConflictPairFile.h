// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The memos a HotSync kept in both versions because they were changed on both sides:
// which records form each pair, in a small file beside the desktop file (record.CFL
// beside record.dat). The conduit writes it; the desktop program reads it to offer a
// review of the pairs and writes it back without the pairs the user has decided on.
// It is advisory: both memos of a pair are ordinary records of record.dat, so a lost
// or damaged pair file loses no memo, only the offer to review.
//
// Format: text, lines ending in LF. The first line is "TallimorConflicts 1"; every
// further line is one pair, three decimal numbers separated by one space:
//     <mark> <handheld version's record id> <desktop version's record id>
// where <mark> is the commit mark of the HotSync that made the pair (the last backup
// date that HotSync stamped on record.dat, conduit/DesktopJournal.h). A pair whose
// mark is above record.dat's mark comes from a HotSync that was rolled back, and its
// ids mean nothing. At most kMaxPairs lines; lines that do not read as a pair are
// skipped. The file is replaced whole (AtomicFile); no pairs: no file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/ResultCodes.h"

namespace tallimor {

struct ConflictPair {
  std::uint32_t mark = 0;        // commit mark of the HotSync that kept both versions
  std::uint32_t handheldId = 0;  // the record holding the handheld's version
  std::uint32_t desktopId = 0;   // the record holding the desktop's version
  bool operator==(const ConflictPair&) const = default;
};

class ConflictPairFile {
 public:
  static constexpr const char* kExtension = ".CFL";
  static constexpr const char* kFirstLine = "TallimorConflicts 1";
  // No record file holds more records than this, so no more pairs either.
  static constexpr std::size_t kMaxPairs = 65535;

  // The pair file of the desktop file at `recordPath` (its extension replaced).
  static std::string PathBeside(const std::string& recordPath);

  explicit ConflictPairFile(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }

  // The pairs in the file, in file order; none when there is no file. kErrOpenFailed
  // when it exists but cannot be read; kErrReadHeader when its first line is not the
  // format's (nothing is taken from such a file).
  Result Read(std::vector<ConflictPair>* pairs) const;

  // Replaces the file by `pairs` (removes it when there are none). kErrWrite, with the
  // file as it was.
  Result Write(const std::vector<ConflictPair>& pairs) const;

  // The text of a file holding `pairs`, and the pairs of a text (false: not the format).
  static std::string Format(const std::vector<ConflictPair>& pairs);
  static bool Parse(std::string_view text, std::vector<ConflictPair>* pairs);

 private:
  std::string path_;
};

}  // namespace tallimor
