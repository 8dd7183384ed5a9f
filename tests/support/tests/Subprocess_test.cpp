// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The child-process runner against /bin/sh: what reaches the child (arguments, input,
// environment), what comes back (both streams, the status or the signal), and the ways a
// test ends a child: a timeout, a kill at a moment, a kill of a whole process group.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <string>

#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace tallimor::testing {
namespace {

using std::chrono::milliseconds;

// Whether `pid` has ended: gone, or a zombie that nobody has reaped yet.
bool Ended(pid_t pid) {
  if (::kill(pid, 0) != 0) return true;
  const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  return close == std::string::npos || stat.compare(close, 4, ") Z ") == 0;
}

TEST(SubprocessRun, PassesArgumentsInputAndEnvironmentAndCollectsBothStreams) {
  ::setenv("TALLIMOR_SUPPORT_KEPT", "kept", 1);
  ::setenv("TALLIMOR_SUPPORT_GONE", "gone", 1);
  const ProcessResult run = Subprocess::Run(
      "/bin/sh", {"-c", "printf '%s|' \"$1\" \"$TALLIMOR_SUPPORT_KEPT\" \"${TALLIMOR_SUPPORT_GONE-unset}\" \"$SET\"; "
                        "cat; echo oops >&2; exit 3",
                  "sh", "two words"},
      "typed\n", {{"SET", "set"}, {"TALLIMOR_SUPPORT_GONE", "", true}});
  EXPECT_EQ(run.status, 3);
  EXPECT_EQ(run.out, "two words|kept|unset|set|typed\n");
  EXPECT_EQ(run.err, "oops\n");
  EXPECT_FALSE(run.timedOut);
  ::unsetenv("TALLIMOR_SUPPORT_KEPT");
  ::unsetenv("TALLIMOR_SUPPORT_GONE");
}

// A child that writes more than a pipe holds before it reads its input must not
// deadlock against a runner that is still writing that input.
TEST(SubprocessRun, LargeInputAndOutputAtOnceDoNotDeadlock) {
  const std::string input(1 << 20, 'x');
  const ProcessResult run = Subprocess::Run("/bin/sh", {"-c", "head -c 300000 /dev/zero; cat"}, input);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.size(), 300000u + input.size());
}

TEST(SubprocessRun, SignalEndsAndStartFailuresAreReported) {
  EXPECT_EQ(Subprocess::Run("/bin/sh", {"-c", "kill -TERM $$"}).status, 128 + SIGTERM);
  const ProcessResult missing = Subprocess::Run("/nonexistent/program", {});
  EXPECT_EQ(missing.status, -1);
  EXPECT_NE(missing.err.find("/nonexistent/program"), std::string::npos);
}

TEST(SubprocessRun, TimeoutKillsTheWholeGroupAndKeepsWhatWasWritten) {
  SubprocessOptions options;
  options.timeout = milliseconds(300);
  options.ownGroup = true;
  const auto started = std::chrono::steady_clock::now();
  // The grandchild holds the output pipe open: only a kill of the group ends the run.
  const ProcessResult run = Subprocess::Run("/bin/sh", {"-c", "echo before; sleep 30 & wait"}, options);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_TRUE(run.timedOut);
  EXPECT_EQ(run.status, 128 + SIGKILL);
  EXPECT_EQ(run.out, "before\n");
}

TEST(SubprocessStart, KillAtAMomentReachesTheGroupAndDestructionReaps) {
  TempDir dir("subprocess");
  SubprocessOptions options;
  options.ownGroup = true;
  Subprocess child = Subprocess::Start(
      "/bin/sh", {"-c", "sleep 30 & echo $! > " + dir.Join("grandchild") + "; wait"}, options);
  ASSERT_TRUE(child.started());
  EXPECT_FALSE(child.WaitFor(milliseconds(100)).has_value());
  std::string grandchild;
  for (int i = 0; i < 500 && grandchild.empty(); ++i) {
    grandchild = dir.Read("grandchild");
    if (grandchild.empty()) usleep(10000);
  }
  ASSERT_FALSE(grandchild.empty());
  EXPECT_EQ(child.Kill(), 128 + SIGKILL);
  EXPECT_FALSE(child.started());
  // The grandchild was in the group: it has ended too (the signal takes a moment).
  const pid_t pid = static_cast<pid_t>(std::stol(grandchild));
  bool gone = false;
  for (int i = 0; i < 500 && !gone; ++i) {
    gone = Ended(pid);
    if (!gone) usleep(10000);
  }
  EXPECT_TRUE(gone);

  pid_t left = -1;
  {
    Subprocess running = Subprocess::Start("/bin/sleep", {"30"});
    ASSERT_TRUE(running.started());
    left = running.pid();
  }
  EXPECT_NE(::kill(left, 0), 0);  // killed and reaped by the destructor: not even a zombie
}

}  // namespace
}  // namespace tallimor::testing
