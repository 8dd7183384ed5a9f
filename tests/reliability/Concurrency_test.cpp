// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Two programs at once on one handheld and its desktop: the desktop program saving
// record.dat, tallimor-handheld editing memos, and a second hotsync, each started at a
// random moment of a running HotSync (the delay is drawn within the length of a measured
// clean run, so most land inside it); then HotSyncs that succeed, and a judgement by what
// each program reported as done. A program refused because the other held the files must
// have changed nothing, which the judgement sees as a memo the world should not hold. No
// check depends on where the moment landed: whatever the order, the world must end the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/reliability/DesktopProgram.h"
#include "tests/reliability/ReferenceRuns.h"
#include "tests/reliability/TrialPool.h"
#include "tests/reliability/TrialSteps.h"
#include "tests/reliability/World.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;
using std::chrono::microseconds;

constexpr const char* kAction = "fast";
constexpr long kTrialsPerPart = 250;

// Memos of the template world that its HotSync leaves as they are: the second program
// edits the first and deletes the second.
constexpr const char* kEditedMemo = "kept as it is";
constexpr const char* kDeletedMemo = "a memo filed under Work";

// A HotSync run on a thread of its own, so that the trial's thread can start the second
// program meanwhile.
class BackgroundHotSync {
 public:
  explicit BackgroundHotSync(const World& world)
      : thread_([this, world] {
          result_ = RunHotSync(world, kAction, {"", true, {}});
          done_ = true;
        }) {}
  BackgroundHotSync(const BackgroundHotSync&) = delete;
  BackgroundHotSync& operator=(const BackgroundHotSync&) = delete;
  ~BackgroundHotSync() {
    if (thread_.joinable()) thread_.join();
  }
  bool Running() const { return !done_; }
  ChildResult Join() {
    thread_.join();
    return result_;
  }

 private:
  std::atomic<bool> done_{false};
  ChildResult result_;
  std::thread thread_;  // last: starts once the members above exist
};

// What a trial's world must hold: the reference of a clean HotSync, changed by what the
// second program reported as done. Owns the set of typed texts the keyring points to.
struct TrialModel {
  std::set<std::string> known = TemplateTexts();
  Judging judging;

  explicit TrialModel(const Judging& reference) : judging(reference) {
    judging.keys.known = &known;
    // A new memo is filed as this one is on each side: Unfiled, public.
    unfiledDesktop_ = Find(judging.expected.desktop, kEditedMemo);
    unfiledHandheld_ = Find(judging.expected.handheld, kEditedMemo);
  }

  // `text`, typed in this trial, is a memo the sides may never hold unless it is added.
  void Typed(const std::string& text) { known.insert(text); }
  void Add(const std::string& text) {
    for (auto [side, memo] : {std::pair{&judging.expected.desktop, unfiledDesktop_},
                              std::pair{&judging.expected.handheld, unfiledHandheld_}}) {
      memo.text = text;
      side->push_back(memo);
      std::sort(side->begin(), side->end());
    }
  }
  void Edit(const std::string& from, const std::string& to) {
    for (std::vector<Memo>* side : {&judging.expected.desktop, &judging.expected.handheld}) {
      for (Memo& memo : *side) {
        if (memo.text == from) memo.text = to;
      }
      std::sort(side->begin(), side->end());
    }
  }
  void Delete(const std::string& text) {
    for (std::vector<Memo>* side : {&judging.expected.desktop, &judging.expected.handheld}) {
      side->erase(std::remove_if(side->begin(), side->end(), [&](const Memo& memo) { return memo.text == text; }),
                  side->end());
    }
  }

 private:
  static Memo Find(const std::vector<Memo>& memos, const std::string& text) {
    for (const Memo& memo : memos) {
      if (memo.text == text) return memo;
    }
    return Memo{text, "", false, MemoKey::kCurrent};
  }
  Memo unfiledDesktop_;
  Memo unfiledHandheld_;
};

// The processes that have `path` open, with their command lines: whoever held a file
// that could not be read.
std::string Holders(const std::string& path) {
  std::string found;
  std::error_code error;
  for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
    std::error_code inner;
    for (const fs::directory_entry& fd : fs::directory_iterator(process.path() / "fd", inner)) {
      std::error_code link;
      if (fs::read_symlink(fd.path(), link).string().rfind(path, 0) != 0) continue;
      std::ifstream command(process.path() / "cmdline");
      std::string line;
      std::getline(command, line);
      std::replace(line.begin(), line.end(), '\0', ' ');
      found += " [" + process.path().filename().string() + " " + fd.path().filename().string() + ": " + line + "]";
    }
  }
  return found.empty() ? "no process" : found;
}

// After the clean HotSyncs both sides must hold the same memos, with the same categories
// and private flags, whatever each holds compared with the model.
void CheckSidesAgree(Trial& trial, const World& world, const Judging& judging) {
  const WorldMemos settled = ReadWorld(world, judging.keys);
  if (settled.desktop.ok && settled.handheld.ok && settled.desktop.live == settled.handheld.live) return;
  ++trial.counts().neverAgreed;
  trial.Fail("after two further HotSyncs the sides still differ:\n" + settled.Describe() +
             (settled.desktop.ok ? "" : "\n  record.dat was open in: " + Holders(world.recordFile())));
  trial.Describe(settled.Describe());
}

// True when `result` is a run or command refused because another program held the
// handheld, counted as refused. The refusal must name the holder, `holder`, with its
// process: a user told "another program" (or a program long gone) cannot tell what to
// wait for, so a refusal naming anyone else fails the trial.
bool Refused(Trial& trial, const ChildResult& result, const std::string& holder, const std::string& what) {
  if (result.status != 1 || result.err.find("is in use by ") == std::string::npos) return false;
  trial.CountRefused();
  if (result.err.find("in use by " + holder + " (process") == std::string::npos) {
    trial.Fail(what + " was refused while " + holder + " held the handheld, but named another holder: " +
               result.err.substr(0, 400));
  }
  return true;
}

std::string Shown(const ChildResult& result) {
  return "status " + std::to_string(result.status) + ": " + result.err.substr(0, 400);
}

class Concurrency : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(ReferenceRuns::Template(&template_, &error)) << error;
    ASSERT_TRUE(ReferenceRuns::For(kAction, &reference_, &error)) << error;
    // The span the second program's delay is drawn from: the longer of two timed clean
    // runs as the trials make them.
    const std::string scratch = ReferenceRuns::MakeScratch("timing");
    ASSERT_FALSE(scratch.empty());
    for (int i = 0; i < 2; ++i) {
      const World world = CopyWorld(template_, scratch + "/world");
      const auto started = std::chrono::steady_clock::now();
      ASSERT_EQ(RunPlainHotSync(world, kAction).status, 0);
      span_ = std::max(span_, std::chrono::duration_cast<microseconds>(std::chrono::steady_clock::now() - started));
    }
    fs::remove_all(scratch);
  }

  microseconds Delay(std::mt19937_64& random) const {
    return microseconds(static_cast<long>(random() % static_cast<std::uint64_t>(span_.count() + 1)));
  }

  World template_;
  const Reference* reference_ = nullptr;
  microseconds span_{0};
};

// The desktop's changes of trial `n`, typed into `model`.
DesktopChanges DesktopTrialChanges(long n, TrialModel& model) {
  DesktopChanges changes;
  changes.added = {"added on the desktop during HotSync " + std::to_string(n)};
  changes.edits = {{kEditedMemo, "edited on the desktop during HotSync " + std::to_string(n)}};
  changes.deleted = {kDeletedMemo};
  model.Typed(changes.added.front());
  model.Typed(changes.edits.front().second);
  return changes;
}

// The end of a desktop trial: the HotSync `run` may have been refused (status 1) when the
// desktop held record.dat; the desktop's changes must be kept when it reported them saved.
void JudgeDesktopTrial(Trial& trial, const World& world, const DesktopChanges& changes, TrialModel& model,
                       const ChildResult& run, const DesktopSaveOutcome& saved) {
  trial.CountRefused(saved.Refused());
  if (run.status == 1) {
    trial.CountRefused();
  } else if (run.status != 0) {
    trial.Fail("the HotSync ended with " + Shown(run));
  }
  if (saved.saved) {
    model.Add(changes.added.front());
    model.Edit(changes.edits.front().first, changes.edits.front().second);
    model.Delete(changes.deleted.front());
  } else {
    trial.Fail("the desktop never saved: " + saved.error);
  }
  RecoverAndJudge(trial, world, model.judging);
  CheckSidesAgree(trial, world, model.judging);
  if (!trial.Survived()) {
    trial.Fail("what happened: the HotSync ended with " + Shown(run) + "; the desktop saved " +
               (saved.saved ? "" : "nothing ") + "after " + std::to_string(saved.heldLoads) + " loads and " +
               std::to_string(saved.heldSaves) + " saves refused as held, " + std::to_string(saved.changedSaves) +
               " as changed");
  }
}

TEST_F(Concurrency, DesktopSaveDuringHotSync) {
  TrialPool pool("concurrent desktop save", true);
  // The desktop program holds record.dat (it is loading or saving) at the moment the
  // HotSync locks it, and lets it go at once: the HotSync may fail, but must never take
  // the held file for a missing one. So that no timing decides where it lands, the
  // refusal is made by failing that one lock of the file (the first, second, ... of the
  // run) as a lock another program holds fails.
  for (unsigned long locks = 0; locks < 4; ++locks) {
    const std::string name = "record.dat held as the HotSync locks it for the " + std::to_string(locks + 1) + ". time";
    pool.Add(name, [from = template_, judging = reference_->judging, locks](Trial& trial) {
      const World world = CopyWorld(from, trial.dir() + "/world");
      TrialModel model(judging);
      const DesktopChanges changes = DesktopTrialChanges(-1, model);
      const Environment heldOnce = {
          {"LD_PRELOAD", TALLIMOR_DISK_FAULT_LIBRARY},
          {"TALLIMOR_DISK_FAULT",
           "match=" + world.recordFile() + ",after=" + std::to_string(locks) + ",errno=EACCES,ops=lock,once"}};
      trial.CountOverlap();
      const ChildResult run = RunHotSync(world, kAction, {"", true, heldOnce});
      const DesktopSaveOutcome saved = DesktopProgram(world, kPassword).Save(changes, [] { return false; });
      JudgeDesktopTrial(trial, world, changes, model, run, saved);
    });
  }
  std::mt19937_64 random = Generator("concurrent desktop save");
  const long trials = kTrialsPerPart * Scale();
  for (long n = 0; n < trials; ++n) {
    const microseconds delay = Delay(random);
    const std::string name = "desktop saves " + std::to_string(delay.count()) + " us after the start";
    pool.Add(name, [from = template_, judging = reference_->judging, delay, n](Trial& trial) {
      const World world = CopyWorld(from, trial.dir() + "/world");
      TrialModel model(judging);
      const DesktopChanges changes = DesktopTrialChanges(n, model);

      BackgroundHotSync sync(world);
      std::this_thread::sleep_for(delay);
      if (sync.Running()) trial.CountOverlap();
      const DesktopSaveOutcome saved =
          DesktopProgram(world, kPassword).Save(changes, [&sync] { return sync.Running(); });
      const ChildResult run = sync.Join();
      JudgeDesktopTrial(trial, world, changes, model, run, saved);
    });
  }
  pool.Run();
}

// The handheld's ids of the memos the trials edit and delete, from `list --json`.
std::string HandheldId(const ChildResult& list, const std::string& text) {
  const std::size_t at = list.out.find("\"text\": \"" + text + "\"");
  if (at == std::string::npos) return "";
  const std::size_t line = list.out.rfind('{', at);
  const std::size_t id = list.out.find("\"id\": ", line);
  if (line == std::string::npos || id == std::string::npos || id > at) return "";
  return list.out.substr(id + 6, list.out.find_first_of(",}", id) - id - 6);
}

TEST_F(Concurrency, HandheldEditsDuringHotSync) {
  // Listed on a copy: the template stays as every trial copies it.
  const std::string scratch = ReferenceRuns::MakeScratch("ids");
  ASSERT_FALSE(scratch.empty());
  const ChildResult list = HandheldTool(CopyWorld(template_, scratch + "/world"), {"list", "--json"});
  fs::remove_all(scratch);
  ASSERT_EQ(list.status, 0) << list.err;
  const std::string editedId = HandheldId(list, kEditedMemo);
  const std::string deletedId = HandheldId(list, kDeletedMemo);
  ASSERT_FALSE(editedId.empty() || deletedId.empty()) << list.out;

  TrialPool pool("concurrent handheld edits", true);
  std::mt19937_64 random = Generator("concurrent handheld edits");
  const long trials = kTrialsPerPart * Scale();
  enum class Command { kAdd, kEdit, kDelete };
  for (long n = 0; n < trials; ++n) {
    // One to three commands, one after another, the first after the delay.
    std::vector<Command> commands = {Command::kAdd, Command::kEdit, Command::kDelete};
    std::shuffle(commands.begin(), commands.end(), random);
    commands.resize(1 + random() % 3);
    const microseconds delay = Delay(random);
    std::string name;
    for (Command command : commands) {
      name += command == Command::kAdd ? "add " : command == Command::kEdit ? "edit " : "delete ";
    }
    name += std::to_string(delay.count()) + " us after the start";
    pool.Add(name, [from = template_, judging = reference_->judging, delay, n, commands, editedId,
                    deletedId](Trial& trial) {
      const World world = CopyWorld(from, trial.dir() + "/world");
      TrialModel model(judging);
      const std::string added = "added on the handheld during HotSync " + std::to_string(n);
      const std::string edited = "edited on the handheld during HotSync " + std::to_string(n);
      model.Typed(added);
      model.Typed(edited);

      BackgroundHotSync sync(world);
      std::this_thread::sleep_for(delay);
      if (sync.Running()) trial.CountOverlap();
      for (Command command : commands) {
        const ChildResult result =
            command == Command::kAdd    ? HandheldTool(world, {"add", added})
            : command == Command::kEdit ? HandheldTool(world, {"edit", editedId, edited})
                                        : HandheldTool(world, {"delete", deletedId});
        if (result.status == 0) {
          if (command == Command::kAdd) model.Add(added);
          if (command == Command::kEdit) model.Edit(kEditedMemo, edited);
          if (command == Command::kDelete) model.Delete(kDeletedMemo);
        } else {
          const std::string what = "tallimor-handheld " + std::string(command == Command::kAdd    ? "add"
                                                                      : command == Command::kEdit ? "edit"
                                                                                                  : "delete");
          if (!Refused(trial, result, "hotsync", what)) trial.Fail(what + " ended with " + Shown(result));
        }
      }
      // The HotSync is refused as well when a command held the handheld as it started.
      const ChildResult run = sync.Join();
      if (run.status != 0 && !Refused(trial, run, "tallimor-handheld", "the HotSync")) {
        trial.Fail("the HotSync ended with " + Shown(run));
      }
      RecoverAndJudge(trial, world, model.judging);
      CheckSidesAgree(trial, world, model.judging);
    });
  }
  pool.Run();
}

TEST_F(Concurrency, SecondHotSyncDuringHotSync) {
  TrialPool pool("concurrent second HotSync", true);
  std::mt19937_64 random = Generator("concurrent second HotSync");
  const long trials = kTrialsPerPart * Scale();
  for (long n = 0; n < trials; ++n) {
    const microseconds delay = Delay(random);
    const std::string name = "second HotSync " + std::to_string(delay.count()) + " us after the start";
    pool.Add(name, [from = template_, judging = reference_->judging, delay](Trial& trial) {
      const World world = CopyWorld(from, trial.dir() + "/world");
      BackgroundHotSync first(world);
      std::this_thread::sleep_for(delay);
      if (first.Running()) trial.CountOverlap();
      // The second run is the one most likely refused: it keeps the leak scan.
      const ChildResult second = RunHotSync(world, kAction);
      const ChildResult firstRun = first.Join();
      long done = 0;
      for (const auto& [what, run] : {std::pair{"first", firstRun}, std::pair{"second", second}}) {
        if (run.status == 0) {
          ++done;
        } else if (!Refused(trial, run, "hotsync", std::string("the ") + what + " HotSync")) {
          trial.Fail(std::string("the ") + what + " HotSync ended with " + Shown(run));
        }
      }
      if (done == 0) {
        trial.Fail("neither HotSync ran");
      } else {
        // A HotSync that reported success has done the whole HotSync, whichever ran.
        const WorldMemos after = ReadWorld(world, judging.keys);
        Verdict verdict(*judging.keys.known);
        verdict.Judge(judging.expected, after);
        if (!verdict.Clean()) ++trial.counts().falseSuccess;
        trial.Add(verdict, "after the two HotSyncs");
        if (!verdict.Clean()) trial.Describe(after.Describe());
      }
      RecoverAndJudge(trial, world, judging);
      CheckSidesAgree(trial, world, judging);
    });
  }
  pool.Run();
}

}  // namespace
}  // namespace tallimor::reliability
