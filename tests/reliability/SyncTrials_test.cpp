// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Whole HotSyncs that go wrong, through the real `hotsync` program and conduit: for
// each action (fast, slow, and both overwrites) every Sync Manager call of the run is
// made to fail in turn, as a lost link and as a storage failure; runs fail two and three
// times in a row at calls the seed picks; and the program is killed at random moments of
// the run. After each, clean HotSyncs with the same action must leave the world a
// fault-free run of the same starting state leaves: every memo once on each side with
// its category and private flag, every deletion and archiving in effect, every archived
// memo once in its archive file, all under the current password; and a further
// HotSync must change nothing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "tests/reliability/ReferenceRuns.h"
#include "tests/reliability/Tally.h"
#include "tests/reliability/TrialPool.h"
#include "tests/reliability/TrialSteps.h"
#include "tests/reliability/World.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

class SyncTrials : public TemplateTrials {
 protected:
  // A trial that runs the action with each fault in `faults` in turn.
  void AddFaultTrial(TrialPool& pool, const std::string& name, const std::vector<std::string>& faults) {
    AddTrial(pool, name, [judging = reference_->judging, faults](Trial& trial, const World& world) {
      for (const std::string& fault : faults) {
        const ChildResult run = RunHotSync(world, judging.action, {fault, false, {}});
        if (run.status != 0) trial.CountFault();
        CheckFaultedRun(trial, world, run, judging, judging.action + " with " + fault);
      }
    });
  }
};

TEST_P(SyncTrials, FaultAtEveryCallLosesNothing) {
  // Each call, and one past the last, which the run never meets.
  for (const char* kind : {"comm", "storage"}) {
    TrialPool pool(action_ + " HotSync, " + kind + " fault at each call");
    for (std::uint32_t call = 1; call <= reference_->calls + 1; ++call) {
      AddFaultTrial(pool, SyncFault(call, kind), {SyncFault(call, kind)});
    }
    pool.Run();
  }
}

TEST_P(SyncTrials, FaultsInARowLoseNothing) {
  TrialPool pool(action_ + " HotSync, 2 or 3 faults in a row");
  std::mt19937_64 random = Generator("in a row " + action_);
  const long trials = 12L * Scale();
  for (long trial = 0; trial < trials; ++trial) {
    std::vector<std::string> faults;
    std::string name;
    const int attempts = trial % 2 == 0 ? 2 : 3;
    for (int i = 0; i < attempts; ++i) {
      const auto call = static_cast<std::uint32_t>(1 + random() % reference_->calls);
      faults.push_back(SyncFault(call, random() % 3 == 0 ? "storage" : "comm"));
      name += (name.empty() ? "" : " then ") + faults.back();
    }
    AddFaultTrial(pool, name, faults);
  }
  pool.Run();
}

TEST_P(SyncTrials, KilledRunLosesNothing) {
  TrialPool pool(action_ + " HotSync, program killed");
  std::mt19937_64 random = Generator("kill " + action_);
  // Half the kills anywhere in the whole run (a few then land after it has ended), half
  // once the conduit runs and writes the files; every third trial is killed twice
  // before the clean HotSync.
  const long trials = 200L * Scale();
  for (long trial = 0; trial < trials; ++trial) {
    struct Kill {
      bool inConduit;
      std::chrono::microseconds delay;
    };
    std::vector<Kill> kills;
    std::string name;
    for (int k = 0; k < (trial % 3 == 2 ? 2 : 1); ++k) {
      const bool inConduit = (trial + k) % 2 == 1;
      const auto span = inConduit ? reference_->conduitTime * 5 / 4 : reference_->runTime;
      kills.push_back({inConduit, std::chrono::microseconds(static_cast<long>(
                                      random() % static_cast<std::uint64_t>(span.count() + 1)))});
      name += (name.empty() ? "killed " : " and again ") + std::to_string(kills.back().delay.count()) +
              " us after " + (inConduit ? "the conduit started" : "the start");
    }
    AddTrial(pool, name, [judging = reference_->judging, kills](Trial& trial, const World& world) {
      for (const Kill& kill : kills) KillRun(trial, world, judging, kill.inConduit, kill.delay);
    });
  }
  pool.Run();
}

INSTANTIATE_TEST_SUITE_P(Actions, SyncTrials,
                         ::testing::ValuesIn(kActions), ActionTestName);

}  // namespace
}  // namespace tallimor::reliability
