// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The steps every whole-program trial shares: checking a run that met a fault or a
// kill, the clean HotSyncs after it with the judgement of the world they leave, the
// further HotSync that must change nothing, and finding out how many Sync Manager
// calls a run makes.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>

#include "tests/reliability/TrialPool.h"
#include "tests/reliability/Verdict.h"
#include "tests/reliability/World.h"

namespace tallimor::reliability {

// The four actions every group of trials runs, and the test name of one as a parameter.
inline constexpr const char* kActions[] = {"fast", "slow", "handheld-to-desktop", "desktop-to-handheld"};
std::string ActionTestName(const ::testing::TestParamInfo<const char*>& info);

// How a trial's world is judged.
struct Judging {
  Expected expected;
  Keyring keys;          // keys.known: every text typed in the trial
  std::string action;    // of the clean HotSync that follows the faults
};

// A run that met a fault must end with 0 or 1 (a crash or an abort is a failure); one
// that reported success must have done all its work: the same HotSync run again right
// after it must change nothing.
void CheckFaultedRun(Trial& trial, const World& world, const ChildResult& run, const Judging& judging,
                     const std::string& what);

// The clean HotSync with judging.action, the judgement of the world it leaves, and a
// further fast HotSync that must change nothing; `stage` names the step in the notes.
void RecoverAndJudge(Trial& trial, const World& world, const Judging& judging, const std::string& stage = "");

// The number of Sync Manager calls a run of `action` makes on a copy of `from`: the
// last call whose lost link still fails the run (calls run one by one, in `scratch`).
// 0 when no run could be made to fail.
std::uint32_t CountSyncCalls(const World& from, const std::string& action, const std::string& scratch);

// Starts hotsync on `world` and waits until it has written its unfinished mark (the
// conduit is about to run) or has ended. Returns the process, not started() when it
// ended first (its status in *status).
Subprocess StartUntilConduit(const World& world, const std::string& action, int* status);

// Starts hotsync on `world` with judging.action (with `inConduit`: waits until the
// conduit runs) and SIGKILLs it after `delay`, counting the kill; a run that ended first
// is checked as CheckFaultedRun checks it. Notes whether the kill left the run unfinished.
void KillRun(Trial& trial, const World& world, const Judging& judging, bool inConduit,
             std::chrono::microseconds delay);

// A fault of the Sync Manager at `call` of `kind` (comm, storage).
std::string SyncFault(std::uint32_t call, const std::string& kind);

}  // namespace tallimor::reliability
