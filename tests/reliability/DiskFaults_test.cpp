// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The disk under the HotSync root goes wrong during a HotSync: record.dat cannot be
// opened for writing, its directory takes no new entries, or the disk is full. The
// first two, and the full disk at every file operation in turn, come from a library
// loaded into hotsync that fails the chosen calls after a given number of them worked;
// a real full disk comes from a small tmpfs under the root, where the machine lets a
// test mount one. After each, clean HotSyncs on a sound disk must leave the world a
// fault-free run leaves, and a further HotSync must change nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "tests/reliability/ReferenceRuns.h"
#include "tests/reliability/Tally.h"
#include "tests/reliability/TrialPool.h"
#include "tests/reliability/TrialSteps.h"
#include "tests/reliability/World.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

// One way the disk fails: which calls, on which paths, with which error.
struct DiskFault {
  const char* name;
  const char* match;  // a path part; "ROOT/" stands for the world's HotSync root
  const char* error;
  const char* ops;
};

constexpr DiskFault kDiskFaults[] = {
    {"record.dat unwritable", "/Tallimor-Vexa/record.dat", "EACCES", "open+create+rename+unlink"},
    {"desktop directory unwritable", "/Tallimor-Vexa", "EACCES", "create+rename+unlink+mkdir"},
    {"disk full", "ROOT/", "ENOSPC", "write+sync+create+mkdir"},
};

// TALLIMOR_DISK_FAULT for `fault` in `world`, failing from call after+1 on.
std::string DiskFaultSetting(const DiskFault& fault, const World& world, unsigned long after,
                             const std::string& report = "") {
  std::string match = fault.match;
  if (match.rfind("ROOT/", 0) == 0) match = world.root() + match.substr(4);
  return "match=" + match + ",after=" + std::to_string(after) + ",errno=" + fault.error + ",ops=" + fault.ops +
         (report.empty() ? "" : ",report=" + report);
}

RunOptions WithDiskFault(const std::string& setting) {
  return {"", false, {{"LD_PRELOAD", TALLIMOR_DISK_FAULT_LIBRARY}, {"TALLIMOR_DISK_FAULT", setting}}};
}

// How many calls of `fault` a fault-free run of `action` makes on a copy of `from`.
long CountDiskCalls(const World& from, const std::string& action, const DiskFault& fault, std::string* error) {
  const std::string scratch = ReferenceRuns::MakeScratch("disk-count");
  const World world = CopyWorld(from, scratch + "/world");
  const std::string report = scratch + "/calls";
  const ChildResult run = RunHotSync(world, action, WithDiskFault(DiskFaultSetting(fault, world, 1UL << 30, report)));
  long calls = -1;
  std::ifstream(report) >> calls;
  fs::remove_all(scratch);
  if (run.status != 0 || calls < 0) *error = "a run with the disk fault library failed or did not report: " + run.err;
  return run.status == 0 ? calls : -1;
}

// The way to run a command in a mount namespace of its own, or "" with *why when this
// machine does not let a test mount a tmpfs.
std::vector<std::string> MountNamespace(std::string* why) {
  static const std::vector<std::string> found = [] {
    for (std::vector<std::string> unshare : {std::vector<std::string>{"-m"}, std::vector<std::string>{"-rm"}}) {
      std::vector<std::string> probe = unshare;
      probe.insert(probe.end(), {"sh", "-c", "d=$(mktemp -d) && mount -t tmpfs -o size=64k t \"$d\" && umount \"$d\" && rmdir \"$d\""});
      for (const char* program : {"/usr/bin/unshare", "/bin/unshare"}) {
        if (access(program, X_OK) != 0) continue;
        if (Subprocess::Run(program, probe).status == 0) {
          unshare.insert(unshare.begin(), program);
          return unshare;
        }
      }
    }
    return std::vector<std::string>{};
  }();
  if (found.empty()) *why = "no mount namespace with a tmpfs can be made here (unshare -m and -rm both failed)";
  return found;
}

class DiskFaults : public TemplateTrials {};

TEST_P(DiskFaults, UnwritableOrFullLosesNothing) {
  for (const DiskFault& fault : kDiskFaults) {
    TrialPool pool(action_ + " HotSync, " + fault.name);
    std::string error;
    const long calls = CountDiskCalls(template_, action_, fault, &error);
    ASSERT_GE(calls, 0) << fault.name << ": " << error;
    // Each call, and one past the last, which the run never meets; in longer runs also
    // each call failing once, as a disk that fails for a moment does.
    for (const bool once : {false, true}) {
      if (once && Scale() == 1) break;
      for (long after = 0; after <= calls; ++after) {
        const std::string name = (once ? "fails once after " : "fails after ") + std::to_string(after) + " calls";
        AddTrial(pool, name, [judging = reference_->judging, fault, after, once](Trial& trial, const World& world) {
          const std::string setting =
              DiskFaultSetting(fault, world, static_cast<unsigned long>(after)) + (once ? ",once" : "");
          const ChildResult run = RunHotSync(world, judging.action, WithDiskFault(setting));
          if (run.status != 0) trial.CountFault();
          CheckFaultedRun(trial, world, run, judging, judging.action + " with " + setting);
        });
      }
    }
    pool.Run();
  }
}

TEST_P(DiskFaults, FullTmpfsLosesNothing) {
  TrialPool pool(action_ + " HotSync, HotSync root on a full tmpfs");
  std::string why;
  const std::vector<std::string> unshare = MountNamespace(&why);
  if (unshare.empty()) {
    pool.Add("no tmpfs", [why](Trial& trial) { trial.Skip(why); });
    pool.Run();
    return;
  }
  // From no page free to enough for the whole run.
  for (int pages = 0; pages <= 8; ++pages) {
    AddTrial(pool, std::to_string(pages) + " pages free",
             [judging = reference_->judging, unshare, pages](Trial& trial, const World& world) {
      std::vector<std::string> arguments(unshare.begin() + 1, unshare.end());
      arguments.insert(arguments.end(), {"sh", TALLIMOR_TMPFS_RUNNER, world.root(), std::to_string(pages * 4),
                                         TALLIMOR_HOTSYNC_PROGRAM});
      for (const std::string& argument : HotSyncArguments(world, judging.action)) arguments.push_back(argument);
      const ChildResult run = Subprocess::Run(unshare.front(), arguments);
      if (run.status >= 90 && run.status <= 95) {
        trial.Fail("the tmpfs could not be set up or taken down (status " + std::to_string(run.status) + "): " +
                   run.err);
        return;
      }
      if (run.status != 0) trial.CountFault();
      CheckFaultedRun(trial, world, run, judging, judging.action + " with " + std::to_string(pages) + " pages free");
    });
  }
  pool.Run();
}

INSTANTIATE_TEST_SUITE_P(Actions, DiskFaults,
                         ::testing::ValuesIn(kActions), ActionTestName);

// The library itself: only the chosen calls on matching paths fail, from the one after
// the given number on, and it reports how many it saw.
TEST(DiskFaultLibrary, FailsTheChosenCallsAfterTheGivenNumber) {
  const std::string dir = ReferenceRuns::MakeScratch("library");
  ASSERT_FALSE(dir.empty());
  const std::string script = "for f in a b c; do echo x > " + dir + "/$f; done; echo y > " + dir + "-other";
  const Environment environment = {
      {"LD_PRELOAD", TALLIMOR_DISK_FAULT_LIBRARY},
      {"TALLIMOR_DISK_FAULT", "match=" + dir + "/,after=1,errno=ENOSPC,ops=create,report=" + dir + "-calls"}};
  const ChildResult run = Subprocess::Run("/bin/sh", {"-c", script}, "", environment);
  EXPECT_TRUE(fs::exists(dir + "/a"));
  EXPECT_FALSE(fs::exists(dir + "/b"));
  EXPECT_FALSE(fs::exists(dir + "/c"));
  EXPECT_TRUE(fs::exists(dir + "-other")) << "a path that does not match failed";
  EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
  long calls = 0;
  std::ifstream(dir + "-calls") >> calls;
  EXPECT_EQ(calls, 3);
  fs::remove_all(dir);
  fs::remove(dir + "-other");
  fs::remove(dir + "-calls");
}

}  // namespace
}  // namespace tallimor::reliability
