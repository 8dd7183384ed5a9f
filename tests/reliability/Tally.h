// The counts the reliability suite prints when it ends: for each group of trials, how
// many were run, how many the data survived, how many memos were lost and how many runs
// did not converge; and the trial budget and the seed, which the environment can set so
// that a longer run, or the replay of a failing one, is a matter of one variable.
#pragma once

#include <cstdint>
#include <random>
#include <string>

namespace tallimor::reliability {

struct Tally {
  long trials = 0;       // trials run
  long survived = 0;     // trials after which nothing was lost and all converged
  long memosLost = 0;    // memos (or users) missing after recovery, over all trials
  long notConverged = 0; // trials whose further run still changed something
  long leftovers = 0;    // temporary files a killed writer left behind (harmless, counted)
  long leftAfterSave = 0; // of those, still there after the next save (which should clear them)
  long extraCopies = 0;  // memos present beyond the reference (duplicates or revived; no loss)
  long midRun = 0;       // kills of hotsync that left its run unfinished (the rest hit before or after)
};

// The tally of a named group; groups print in the order first asked for.
Tally& Group(const std::string& name);

// Prints one line per group and a total line, and returns true when nothing was lost
// and every trial converged.
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
