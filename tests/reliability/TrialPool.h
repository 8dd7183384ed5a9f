// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a group's trials, two at a time by default, each in a fresh directory of its own
// (a world is a plain directory tree, so trials never share state), and then, on the
// main thread and in the order they were added, counts them in the group's tally and
// reports each damaged one as a test failure with the replay of that trial alone.
//
// Every pseudo-random choice is drawn while trials are added, never inside one, so a
// replay of one trial (TALLIMOR_RELIABILITY_TRIAL) meets the same choices as the whole
// run did. TALLIMOR_RELIABILITY_JOBS sets how many run at once.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "tests/reliability/Tally.h"
#include "tests/reliability/Verdict.h"

namespace tallimor::reliability {

// What one trial found. Filled from the trial's own thread only.
class Trial {
 public:
  Trial(std::string name, std::string dir) : name_(std::move(name)), dir_(std::move(dir)) {}

  const std::string& name() const { return name_; }
  // An empty directory that is the trial's alone.
  const std::string& dir() const { return dir_; }

  // Damage found, with its notes.
  void Add(const Verdict& verdict, const std::string& when = "");
  // A failure that is no damage to memos (a program that crashed, a world that could
  // not be made); the trial does not count as survived.
  void Fail(const std::string& why);
  // What the world held when the trial found damage, printed after the notes.
  void Describe(const std::string& world) { world_ = world; }
  // One more fault or kill met by the trial.
  void CountFault(long faults = 1) { faults_ += faults; }
  void CountMidRun() { ++midRun_; }
  // Of two programs at once: one more run, save or command refused because the other
  // held the files; the second program started while the HotSync ran.
  void CountRefused(long refused = 1) { refused_ += refused; }
  void CountOverlap() { ++overlapped_; }
  // The trial could not run here; `why` is printed once for the group.
  void Skip(const std::string& why) { skipped_ = why; }

  Counts& counts() { return counts_; }
  bool Survived() const { return counts_.Total() == 0 && failures_.empty() && skipped_.empty(); }

 private:
  friend class TrialPool;
  std::string name_;
  std::string dir_;
  Counts counts_;
  std::vector<std::string> failures_;  // notes of damage and failures
  long faults_ = 0;
  long midRun_ = 0;
  long refused_ = 0;
  long overlapped_ = 0;
  std::string skipped_;
  std::string world_;
};

class TrialPool {
 public:
  // Trials counted in the tally `group`; `concurrent`: a group of two programs at once,
  // which prints what the second program met.
  explicit TrialPool(std::string group, bool concurrent = false);

  // Adds a trial named `name` (unique in the group), run later by Run().
  void Add(const std::string& name, std::function<void(Trial&)> body);

  // Runs every added trial (those TALLIMOR_RELIABILITY_TRIAL selects, when set), then
  // counts and reports them. Returns the number that did not survive.
  long Run();

  // How many trials run at once.
  static int Jobs();

 private:
  struct Entry {
    std::string name;
    std::function<void(Trial&)> body;
  };
  std::string group_;
  bool concurrent_;
  std::vector<Entry> entries_;
};

}  // namespace tallimor::reliability
