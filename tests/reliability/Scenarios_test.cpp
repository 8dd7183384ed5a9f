// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Whole scenarios a user meets, each judged by what the user did rather than by a
// reference run: the expected memos (text, category, private flag) on both sides, the
// expected archive contents and what must be kept aside in record.OLD. Each runs once
// as it is, and again with a lost link and a storage failure at every Sync Manager call
// of its HotSync and with the program killed at random moments, each followed by clean
// HotSyncs that must reach the same end.
//   - a reset handheld (made anew with the same user name and password) HotSynced with
//     a desktop that holds memos: nothing is deleted, both sides hold the union, a memo
//     typed again on both sides is there once;
//   - an existing but emptied memo database against a desktop with memos (slow HotSync):
//     the same;
//   - the password changed on the handheld while the desktop holds new and edited memos:
//     afterwards no memo on either side is under the old password, and the desktop's
//     changes are kept aside in record.OLD under the old password; with no desktop
//     changes the new password simply takes effect;
//   - private memos keep their flag through every sync type and back again.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>

#include "tests/reliability/ReferenceRuns.h"
#include "tests/reliability/Tally.h"
#include "tests/reliability/TrialPool.h"
#include "tests/reliability/TrialSteps.h"
#include "tests/reliability/World.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

constexpr const char* kNewPassword = "newsecret";
constexpr const char* kUnfiled = "Unfiled";
constexpr const char* kWork = "Work";

// A scenario: the world just before its HotSync, that HotSync's action, and what the
// world must hold after it and the clean HotSyncs. Held by pointer: the keyring points
// into `known`.
struct Scenario {
  std::string name;
  World world;
  std::set<std::string> known;
  std::vector<std::string> passwords{kPassword};  // the current one first
  std::string action;
  Expected expected;
  // Further stages after the clean HotSync: an action and what it must leave.
  std::vector<std::pair<std::string, Expected>> stages;
  std::string error;  // why the world could not be built

  Judging JudgingFor(const std::string& stageAction, const Expected& stageExpected) const {
    Judging judging;
    judging.expected = stageExpected;
    judging.keys.passwords = passwords;
    judging.keys.known = &known;
    judging.action = stageAction;
    return judging;
  }
};

// Builds a scenario world step by step; the first failing step is kept in error.
class Builder {
 public:
  Builder(Scenario& scenario) : s_(scenario) {}
  const std::string& error() const { return error_; }
  bool ok() const { return error_.empty(); }

  void Tool(const std::vector<std::string>& arguments, const std::string& password = kPassword) {
    if (ok()) Step(HandheldTool(s_.world, arguments, password + "\n"), "tallimor-handheld " + arguments[0], &error_);
  }
  // Adds a memo on the handheld and returns its id.
  std::string Add(const std::string& text, int category = 0, bool isPrivate = false) {
    s_.known.insert(text);
    if (!ok()) return "";
    std::vector<std::string> arguments = {"add", "--category", std::to_string(category)};
    if (isPrivate) arguments.push_back("--private");
    arguments.push_back(text);
    const ChildResult added = HandheldTool(s_.world, arguments);
    Step(added, "add \"" + text + "\"", &error_);
    return AddedId(added);
  }
  // A handheld of "Taro Yamada" with a protected memo database and the category Work.
  void NewHandheld() {
    Tool({"init", "--user", "Taro Yamada"});
    Tool({"create-db", "--password", "--hint", "pet"});
    Tool({"category", "add", kWork});
  }
  void HotSync(const std::string& action) {
    if (ok()) Step(RunPlainHotSync(s_.world, action), action + " HotSync", &error_);
  }
  void Desktop(const DesktopChanges& changes, const std::string& password = kPassword) {
    for (const auto& edit : changes.edits) s_.known.insert(edit.second);
    s_.known.insert(changes.added.begin(), changes.added.end());
    if (ok()) ChangeDesktop(s_.world, password, changes, &error_);
  }

 private:
  Scenario& s_;
  std::string error_;
};

Memo Live(const std::string& text, const std::string& category = kUnfiled, bool isPrivate = false) {
  return Memo{text, category, isPrivate, MemoKey::kCurrent};
}

// The same memos expected on both sides, sorted; the desktop file may keep no private flag.
Expected OnBothSides(std::vector<Memo> memos) {
  std::sort(memos.begin(), memos.end());
  Expected expected;
  expected.desktop = memos;
  expected.handheld = memos;
  expected.judgeSetAside = true;
  expected.desktopPrivacyExact = false;
  return expected;
}

// A handheld reset after a HotSync: made anew with the same user name and password;
// one memo typed again on it, one new. `emptyOnly`: only the memo database is made
// anew, empty, and the HotSync is slow.
std::unique_ptr<Scenario> ResetHandheld(const std::string& dir, bool emptyOnly) {
  auto s = std::make_unique<Scenario>();
  const std::string tag = emptyOnly ? "emptied: " : "reset: ";
  s->name = emptyOnly ? "emptied memo database" : "reset handheld";
  s->world = World{dir};
  s->action = emptyOnly ? "slow" : "fast";
  fs::create_directories(dir);
  Builder b(*s);
  b.NewHandheld();
  b.Add(tag + "kept in Unfiled");
  b.Add(tag + "filed under Work", 1);
  b.Add(tag + "the third memo");
  b.Add(tag + "typed again after the reset");
  b.HotSync("fast");
  DesktopChanges desktop;
  desktop.added = {tag + "added on the desktop"};
  b.Desktop(desktop);
  std::vector<Memo> all = {Live(tag + "kept in Unfiled"), Live(tag + "filed under Work", kWork),
                           Live(tag + "the third memo"), Live(tag + "typed again after the reset"),
                           Live(tag + "added on the desktop")};
  if (emptyOnly) {
    fs::remove(s->world.memoDatabase());
    b.Tool({"create-db", "--password", "--hint", "pet"});
  } else {
    fs::remove_all(s->world.handheld());
    b.NewHandheld();
    b.Add(tag + "typed again after the reset");
    b.Add(tag + "new on the reset handheld");
    all.push_back(Live(tag + "new on the reset handheld"));
  }
  s->expected = OnBothSides(all);
  s->error = b.error();
  return s;
}

// The handheld's password changed after a HotSync; `desktopChanges`: meanwhile the
// desktop edited one memo and added one, under the old password. The handheld archives
// a memo after the change.
std::unique_ptr<Scenario> PasswordChanged(const std::string& dir, bool desktopChanges) {
  auto s = std::make_unique<Scenario>();
  s->name = desktopChanges ? "password changed, desktop changed" : "password changed alone";
  s->world = World{dir};
  s->action = "fast";
  fs::create_directories(dir);
  Builder b(*s);
  b.NewHandheld();
  b.Add("password: unchanged");
  b.Add("password: edited on the desktop");
  b.Add("password: filed under Work", 1);
  const std::string archived = b.Add("password: archived after the change");
  b.HotSync("fast");
  if (desktopChanges) {
    DesktopChanges desktop;
    desktop.edits = {{"password: edited on the desktop", "password: the desktop's edit"}};
    desktop.added = {"password: added on the desktop"};
    b.Desktop(desktop);
  }
  b.Tool({"password"}, std::string(kPassword) + "\n" + kNewPassword);
  b.Tool({"delete", archived, "--archive"}, kNewPassword);
  s->passwords = {kNewPassword, kPassword};
  // The desktop cannot encipher its changes under a password it does not know: they
  // wait in record.OLD, and both sides hold the handheld's memos.
  s->expected = OnBothSides({Live("password: unchanged"), Live("password: edited on the desktop"),
                             Live("password: filed under Work", kWork)});
  s->expected.archives = {{"Unfiled.ARC", Live("password: archived after the change", "")}};
  if (desktopChanges) s->expected.setAside = {"password: added on the desktop", "password: the desktop's edit"};
  s->error = b.error();
  return s;
}

// Private memos, then `action`: before it the handheld makes one memo private and one
// public (not before desktop-to-handheld, whose result would not depend on it) and the
// desktop edits a private memo. Afterwards the flags must survive both overwrites too.
std::unique_ptr<Scenario> PrivateMemos(const std::string& dir, const std::string& action) {
  auto s = std::make_unique<Scenario>();
  s->name = "private memos, " + action;
  s->world = World{dir};
  s->action = action;
  fs::create_directories(dir);
  Builder b(*s);
  b.NewHandheld();
  b.Add("private: kept private", 0, true);
  b.Add("private: filed under Work", 1, true);
  b.Add("private: public");
  const std::string toPrivate = b.Add("private: to be made private");
  const std::string toPublic = b.Add("private: to be made public", 0, true);
  b.HotSync("fast");
  const bool handheldChanges = action != "desktop-to-handheld";
  if (handheldChanges) {
    b.Tool({"private", toPrivate, "on"});
    b.Tool({"private", toPublic, "off"});
  }
  DesktopChanges desktop;
  desktop.edits = {{"private: kept private", "private: kept private, edited on the desktop"}};
  b.Desktop(desktop);
  // The handheld overwriting the desktop drops the desktop's edit.
  const std::string first =
      action == "handheld-to-desktop" ? "private: kept private" : "private: kept private, edited on the desktop";
  s->expected = OnBothSides({Live(first, kUnfiled, true), Live("private: filed under Work", kWork, true),
                             Live("private: public"), Live("private: to be made private", kUnfiled, handheldChanges),
                             Live("private: to be made public", kUnfiled, !handheldChanges)});
  s->stages = {{"desktop-to-handheld", s->expected}, {"handheld-to-desktop", s->expected}};
  s->error = b.error();
  return s;
}

class Scenarios : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { base_ = ReferenceRuns::MakeScratch("scenarios"); }
  static void TearDownTestSuite() { fs::remove_all(base_); }

  // Runs `scenario` as it is, under a fault at every call, and killed `kills` times.
  static void RunScenario(const std::unique_ptr<Scenario>& built, long kills) {
    ASSERT_TRUE(built->error.empty()) << built->name << ": " << built->error;
    const Scenario& scenario = *built;
    const std::uint32_t calls = CountSyncCalls(scenario.world, scenario.action, base_ + "/probe");
    EXPECT_GT(calls, 0u) << scenario.name << ": no lost link made its HotSync fail";
    TrialPool pool(scenario.name);
    AddTrial(pool, scenario, "as it is", {});
    for (const char* kind : {"comm", "storage"}) {
      for (std::uint32_t call = 1; call <= calls; ++call) {
        AddTrial(pool, scenario, SyncFault(call, kind), {SyncFault(call, kind)});
      }
    }
    std::mt19937_64 random = Generator("scenario " + scenario.name);
    // How long a run lasts, measured once; only to spread the kills.
    const World timed = CopyWorld(scenario.world, base_ + "/timed");
    const auto started = std::chrono::steady_clock::now();
    RunPlainHotSync(timed, scenario.action);
    const auto runTime =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    for (long k = 0; k < kills; ++k) {
      const auto delay = std::chrono::microseconds(
          static_cast<long>(random() % static_cast<std::uint64_t>(runTime.count() + 1)));
      AddTrial(pool, scenario, "killed " + std::to_string(delay.count()) + " us after the start", {}, delay);
    }
    pool.Run();
  }

  // One trial: the scenario's HotSync with each of `faults` in turn (or killed after
  // `killAfter`), the clean HotSync and its judgement, then (without faults) the
  // further stages.
  static void AddTrial(TrialPool& pool, const Scenario& scenario, const std::string& name,
                       const std::vector<std::string>& faults,
                       std::chrono::microseconds killAfter = std::chrono::microseconds(-1)) {
    const Scenario* s = &scenario;
    pool.Add(name, [s, faults, killAfter](Trial& trial) {
      const World world = CopyWorld(s->world, trial.dir() + "/world");
      const Judging judging = s->JudgingFor(s->action, s->expected);
      for (const std::string& fault : faults) {
        const ChildResult run = RunHotSync(world, s->action, {fault, false, {}});
        if (run.status != 0) trial.CountFault();
        CheckFaultedRun(trial, world, run, judging, s->action + " with " + fault);
      }
      if (killAfter.count() >= 0) KillRun(trial, world, judging, false, killAfter);
      RecoverAndJudge(trial, world, judging);
      // The further stages check where the world goes from there; a fault at every
      // call adds nothing to that, so they follow the other trials only.
      if (!faults.empty()) return;
      for (const auto& [action, expected] : s->stages) {
        RecoverAndJudge(trial, world, s->JudgingFor(action, expected), "then " + action);
      }
    });
  }

  static std::string base_;
};

std::string Scenarios::base_;

TEST_F(Scenarios, ResetHandheldKeepsTheUnion) { RunScenario(ResetHandheld(base_ + "/reset", false), 20L * Scale()); }

TEST_F(Scenarios, EmptiedMemoDatabaseKeepsTheUnion) {
  RunScenario(ResetHandheld(base_ + "/emptied", true), 20L * Scale());
}

TEST_F(Scenarios, ChangedPasswordKeepsDesktopChangesAside) {
  RunScenario(PasswordChanged(base_ + "/password-desktop", true), 20L * Scale());
}

TEST_F(Scenarios, ChangedPasswordAloneTakesEffect) {
  RunScenario(PasswordChanged(base_ + "/password-alone", false), 10L * Scale());
}

class PrivateScenarios : public Scenarios, public ::testing::WithParamInterface<const char*> {};

TEST_P(PrivateScenarios, PrivateFlagSurvivesEverySyncType) {
  RunScenario(PrivateMemos(base_ + "/private-" + GetParam(), GetParam()), 5L * Scale());
}

INSTANTIATE_TEST_SUITE_P(Actions, PrivateScenarios,
                         ::testing::ValuesIn(kActions), ActionTestName);

}  // namespace
}  // namespace tallimor::reliability
