// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The counts the reliability suite prints when it ends: for each group of trials, how
// many were run, how many the data survived, how many faults those survived, and every
// kind of damage found (memos lost, duplicated, resurrected, archived twice, left under
// a former password, ...) and runs that did not converge; and the trial budget and the
// seed, which the environment can set so that a longer run, or the replay of a failing
// one, is a matter of one variable.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace tallimor::reliability {

// Damage found in a world after recovery. Every count is a failure.
struct Counts {
  long lost = 0;             // memos (or users) missing, on a side, in an archive or set aside
  long duplicated = 0;       // memos present more often than they should be
  long resurrected = 0;      // deleted, archived or edited-away memos that came back
  long archivedTwice = 0;    // memos more than once in their archive file
  long keyMixed = 0;         // memos (or a file's digest) under a password other than the current one
  long garbled = 0;          // memos that decipher to no typed text under any password
  long attributesWrong = 0;  // memos with the wrong category, private flag or archive file
  long falseSuccess = 0;     // runs that reported success and left a world short of done
  long notConverged = 0;     // trials whose clean HotSync failed or whose next one still changed something
  long neverAgreed = 0;      // trials whose sides still held different memos after two further HotSyncs
  void Add(const Counts& other);
  long Total() const;
};

struct Tally {
  long trials = 0;         // trials run
  long survived = 0;       // trials after which nothing was damaged and all converged
  long faults = 0;         // faults and kills met by the trials that survived
  long injected = 0;       // faults and kills met by all trials
  long skipped = 0;        // trials that could not run here (with the reason printed)
  Counts counts;
  long leftovers = 0;      // temporary files a killed writer left behind (harmless, counted)
  long leftAfterSave = 0;  // of those, still there after the next save (which should clear them)
  long midRun = 0;         // kills of hotsync that left its run unfinished (the rest hit before or after)
  // Groups of two programs at once: they print what the second program met instead of faults.
  bool concurrent = false;
  long refused = 0;        // runs, saves and commands refused because the other program held the files
  long overlapped = 0;     // trials whose second program started while the HotSync was running
};

// The tally of a named group; groups print in the order first asked for. Main thread only.
Tally& Group(const std::string& name);

// Prints one line per group and a total line, and returns true when nothing was
// damaged and every trial converged.
bool PrintSummary();

// How many times the default number of trials to run: $TALLIMOR_RELIABILITY_SCALE, or
// --scale=N on the command line (1 when neither is given; at least 1).
int Scale();
void SetScaleFromArguments(int argc, char** argv);

// The seed of every pseudo-random choice: $TALLIMOR_RELIABILITY_SEED, else a fresh one;
// printed at the start so that a failing run can be replayed.
std::uint64_t Seed();

// A generator seeded from Seed() and `stream`, so that each group draws its own
// sequence whatever order the groups run in.
std::mt19937_64 Generator(const std::string& stream);

}  // namespace tallimor::reliability
