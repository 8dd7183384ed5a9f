// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Making the template world and the fault-free reference of each action, once.
#include "tests/reliability/ReferenceRuns.h"

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <thread>

#include "tests/support/TempDir.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

struct State {
  std::string base;
  bool made = false;
  std::string error;
  std::map<std::string, Reference> references;
};

State& Shared() {
  static State state;
  return state;
}

// Runs `action` once on a copy of the template without faults, reads the world it
// leaves, checks that a further HotSync leaves it so, times a run and counts its calls.
bool Measure(const World& from, const std::string& action, Reference* reference, std::string* error) {
  const std::string base = Shared().base;
  const World world = CopyWorld(from, base + "/reference");
  const auto started = std::chrono::steady_clock::now();
  const ChildResult run = RunHotSync(world, action);
  reference->runTime =
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
  if (run.status != 0) {
    *error = "the fault-free " + action + " HotSync failed: " + run.err;
    return false;
  }
  reference->judging.keys.known = &TemplateTexts();
  reference->judging.action = action;
  const WorldMemos state = ReadWorld(world, reference->judging.keys);
  if (!state.ok()) {
    *error = "the fault-free " + action + " HotSync left a world that cannot be read:\n" + state.Describe();
    return false;
  }
  if (RunPlainHotSync(world, "fast").status != 0 || !(ReadWorld(world, reference->judging.keys) == state)) {
    *error = "the fault-free " + action + " HotSync does not converge:\n" + state.Describe();
    return false;
  }
  reference->judging.expected = ExpectedFrom(state);

  const World timed = CopyWorld(from, base + "/timed");
  int status = 0;
  Subprocess hotsync = StartUntilConduit(timed, action, &status);
  if (hotsync.started()) {
    const auto marked = std::chrono::steady_clock::now();
    while (fs::exists(timed.unfinishedMark())) std::this_thread::sleep_for(std::chrono::microseconds(100));
    reference->conduitTime = std::max(reference->conduitTime, std::chrono::duration_cast<std::chrono::microseconds>(
                                                                  std::chrono::steady_clock::now() - marked));
    status = hotsync.Wait();
  }
  if (status != 0) {
    *error = "the timed " + action + " HotSync failed";
    return false;
  }
  reference->calls = CountSyncCalls(from, action, base + "/probe");
  if (reference->calls == 0) {
    *error = "no lost link made a " + action + " HotSync fail";
    return false;
  }
  return true;
}

}  // namespace

std::string ReferenceRuns::MakeScratch(const std::string& purpose) {
  const char* chosen = std::getenv("TALLIMOR_RELIABILITY_DIR");
  const std::string parent = chosen != nullptr && *chosen != '\0' ? chosen : testing::TempDir::MemoryParent();
  try {
    return testing::TempDir("reliability-" + purpose, parent).Release();
  } catch (const std::runtime_error&) {
    return "";
  }
}

bool ReferenceRuns::Template(World* world, std::string* error) {
  State& state = Shared();
  if (state.base.empty()) {
    state.base = MakeScratch("template");
    if (state.base.empty()) {
      state.error = "cannot make a directory for the template world";
    } else {
      state.made = MakeTemplateWorld(state.base + "/template", &state.error);
    }
  }
  *world = World{state.base + "/template"};
  *error = state.error;
  return state.made;
}

bool ReferenceRuns::For(const std::string& action, const Reference** reference, std::string* error) {
  World from;
  if (!Template(&from, error)) return false;
  State& state = Shared();
  auto found = state.references.find(action);
  if (found == state.references.end()) {
    Reference made;
    if (!Measure(from, action, &made, error)) return false;
    found = state.references.emplace(action, made).first;
  }
  *reference = &found->second;
  return true;
}

void ReferenceRuns::Cleanup() {
  State& state = Shared();
  if (!state.base.empty()) fs::remove_all(state.base);
  state = State{};
}

void TemplateTrials::SetUp() {
  action_ = GetParam();
  std::string error;
  ASSERT_TRUE(ReferenceRuns::Template(&template_, &error)) << error;
  ASSERT_TRUE(ReferenceRuns::For(action_, &reference_, &error)) << error;
}

void TemplateTrials::AddTrial(TrialPool& pool, const std::string& name,
                              std::function<void(Trial&, const World&)> harm) const {
  pool.Add(name, [from = template_, reference = reference_, harm](Trial& trial) {
    const World world = CopyWorld(from, trial.dir() + "/world");
    harm(trial, world);
    RecoverAndJudge(trial, world, reference->judging);
  });
}

}  // namespace tallimor::reliability
