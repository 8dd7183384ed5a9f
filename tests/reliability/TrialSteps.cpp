// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The shared steps of the whole-program trials.
#include "tests/reliability/TrialSteps.h"

#include <signal.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

// The end of a program's error output, enough to name what went wrong.
std::string Tail(const std::string& text) {
  constexpr std::size_t kShown = 600;
  return text.size() <= kShown ? text : "..." + text.substr(text.size() - kShown);
}

}  // namespace

std::string ActionTestName(const ::testing::TestParamInfo<const char*>& info) {
  std::string name;
  for (const char* c = info.param; *c != '\0'; ++c) {
    if (*c != '-') name += *c;
  }
  return name;
}

std::string SyncFault(std::uint32_t call, const std::string& kind) {
  return "call=" + std::to_string(call) + ",kind=" + kind;
}

void CheckFaultedRun(Trial& trial, const World& world, const ChildResult& run, const Judging& judging,
                     const std::string& what) {
  if (run.status != 0 && run.status != 1) {
    trial.Fail(what + ": the program ended with status " + std::to_string(run.status) + "\n" + Tail(run.err));
    return;
  }
  if (run.status != 0) return;
  // A run that reported success has done its work: the same HotSync again finds
  // nothing left to do.
  const WorldMemos done = ReadWorld(world, judging.keys);
  const ChildResult again = RunPlainHotSync(world, judging.action);
  const WorldMemos redone = ReadWorld(world, judging.keys);
  if (again.status != 0 || !(redone == done)) {
    ++trial.counts().falseSuccess;
    trial.Fail(what + ": reported success, but the same HotSync again (status " + std::to_string(again.status) +
               ") still changed the world\n  after the run that reported success:\n" + done.Describe() +
               "\n  after the same HotSync again:\n" + redone.Describe());
  }
}

void RecoverAndJudge(Trial& trial, const World& world, const Judging& judging, const std::string& stage) {
  const std::string prefix = stage.empty() ? "" : stage + ": ";
  const ChildResult clean = RunPlainHotSync(world, judging.action);
  if (clean.status != 0) {
    ++trial.counts().notConverged;
    trial.Fail(prefix + "the clean " + judging.action + " HotSync after it failed with status " +
               std::to_string(clean.status) + "\n" + Tail(clean.err));
  }
  const WorldMemos after = ReadWorld(world, judging.keys);
  Verdict verdict(*judging.keys.known);
  verdict.Judge(judging.expected, after);
  trial.Add(verdict, prefix + "after the clean HotSync");
  if (!verdict.Clean()) trial.Describe(after.Describe());
  if (clean.status != 0) return;

  const ChildResult further = RunPlainHotSync(world, "fast");
  const WorldMemos settled = ReadWorld(world, judging.keys);
  if (further.status != 0 || !(settled == after)) {
    ++trial.counts().notConverged;
    trial.Fail(prefix + "a further fast HotSync still changed something (status " + std::to_string(further.status) +
               ")\n  before:\n" + after.Describe() + "\n  after:\n" + settled.Describe());
  }
}

std::uint32_t CountSyncCalls(const World& from, const std::string& action, const std::string& scratch) {
  // A lost link from a call on that the run never makes leaves the run whole: two such
  // runs in a row mean every call has been met.
  constexpr std::uint32_t kLimit = 2000;  // far beyond any run of the trials' worlds
  std::uint32_t lastFailed = 0;
  std::uint32_t cleanInARow = 0;
  for (std::uint32_t call = 1; call <= kLimit && cleanInARow < 2; ++call) {
    const World world = CopyWorld(from, scratch);
    const ChildResult run = RunHotSync(world, action, {SyncFault(call, "comm"), true, {}});
    if (run.status != 0) {
      lastFailed = call;
      cleanInARow = 0;
    } else {
      ++cleanInARow;
    }
  }
  fs::remove_all(scratch);
  return lastFailed;
}

Subprocess StartUntilConduit(const World& world, const std::string& action, int* status) {
  Subprocess hotsync = StartHotSync(world, action);
  const std::string mark = world.unfinishedMark();
  while (hotsync.started() && !fs::exists(mark)) {
    if (const std::optional<int> ended = hotsync.Poll()) {
      *status = *ended;
      break;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  return hotsync;
}

void KillRun(Trial& trial, const World& world, const Judging& judging, bool inConduit,
             std::chrono::microseconds delay) {
  int status = 0;
  Subprocess hotsync = inConduit ? StartUntilConduit(world, judging.action, &status) : StartHotSync(world, judging.action);
  if (hotsync.started()) {
    std::this_thread::sleep_for(delay);
    status = hotsync.Kill(SIGKILL);
  }
  if (status == 128 + SIGKILL) {
    trial.CountFault();
  } else {
    CheckFaultedRun(trial, world, ChildResult{status, "", ""}, judging, judging.action + " not killed in time");
  }
  if (fs::exists(world.unfinishedMark())) trial.CountMidRun();
}

}  // namespace tallimor::reliability
