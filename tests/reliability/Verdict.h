// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Judges a world against what it should hold, memo by memo (a memo is known by its
// text: every text a trial types is unique), and names each kind of damage: a memo
// missing (lost), there too often (duplicated), back after the user deleted, archived
// or edited it away (resurrected), in its archive too often (archived twice), under a
// former password (key-mixed), deciphering to nothing anybody typed (garbled), with
// the wrong category, private flag or archive file.
//
// What the world should hold comes either from a fault-free run of the same starting
// state (the reference of fault and kill trials) or from what the user did (the model
// of scenario trials).
#pragma once

#include <set>
#include <string>
#include <vector>

#include "tests/reliability/MemoSides.h"
#include "tests/reliability/Tally.h"
#include "tests/reliability/World.h"

namespace tallimor::reliability {

struct Expected {
  std::vector<Memo> desktop;   // live memos of record.dat
  std::vector<Memo> handheld;  // live memos of the handheld
  std::vector<ArchivedMemo> archives;
  // Texts that must be kept aside in record.OLD, under a former password whose digest
  // the file holds. Without `judgeSetAside` record.OLD is not looked at.
  bool judgeSetAside = false;
  std::vector<std::string> setAside;
  // The desktop file may keep no private flag: when false, a desktop memo may lose its
  // flag but never gain one it should not have. True compares the flags exactly.
  bool desktopPrivacyExact = true;
};

// What a world read after a fault-free run should be read as again.
Expected ExpectedFrom(const WorldMemos& reference);

class Verdict {
 public:
  // `known`: every text that anybody typed in this trial.
  explicit Verdict(const std::set<std::string>& known) : known_(known) {}

  // Compares `actual` with `expected`, adding to the counts and the notes.
  void Judge(const Expected& expected, const WorldMemos& actual);

  const Counts& counts() const { return counts_; }
  Counts& counts() { return counts_; }
  const std::vector<std::string>& notes() const { return notes_; }
  void Note(const std::string& note) { notes_.push_back(note); }
  bool Clean() const { return counts_.Total() == 0; }

 private:
  enum class Privacy { kExact, kMayDrop, kIgnored };
  // Compares the live memos of one place (`where`).
  void JudgeMemos(const std::string& where, const std::vector<Memo>& expected, const std::vector<Memo>& actual,
                  Privacy privacy, const Expected& all);
  void JudgeArchives(const Expected& expected, const std::vector<ArchivedMemo>& actual);
  void JudgeSetAside(const Expected& expected, const WorldMemos& actual);
  // True when the text is expected live on a side.
  static bool ExpectedLive(const Expected& expected, const std::string& text);

  const std::set<std::string>& known_;
  Counts counts_;
  std::vector<std::string> notes_;
};

}  // namespace tallimor::reliability
