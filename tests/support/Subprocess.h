// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the programs under test as child processes, the way a user or a script does:
// arguments, text on standard input, the test's environment with a few variables
// changed for that run alone, both output streams collected, and the exit status or
// the signal that ended it. A child can also be started in the background, in a process
// group of its own when the test must end it with everything it started, and killed at
// a moment of the test's choosing.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <vector>

namespace tallimor::testing {

// A variable set (or, with `unset`, removed) for one run.
struct EnvSetting {
  std::string name;
  std::string value;
  bool unset = false;
};
using Environment = std::vector<EnvSetting>;

struct ProcessResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the process
  std::string out;
  std::string err;
  bool timedOut = false;  // killed because it outlived its timeout
};

struct SubprocessOptions {
  std::string input;                           // written to standard input by Run()
  Environment environment;                     // changes to the environment it starts with
  std::chrono::milliseconds timeout{0};        // Run(): killed past it (0: waits for ever)
  bool ownGroup = false;                       // leads a process group; signals reach the group
  bool inheritStreams = false;                 // Start(): the test's own streams, not /dev/null
};

class Subprocess {
 public:
  // Fixes the environment every later child starts from, so that threads may start
  // children while nothing reads the process environment. Without it each child starts
  // from the test process's environment as it is at that moment.
  static void CaptureBaseEnvironment();

  // Runs `program` (a path, or a name looked up in PATH) with `arguments`, writing the
  // input to its standard input while collecting both output streams, and waits for it.
  // A child that cannot be started gives status -1 and says why in `err`.
  static ProcessResult Run(const std::string& program, const std::vector<std::string>& arguments,
                           const SubprocessOptions& options);
  static ProcessResult Run(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& input = "", const Environment& environment = {});

  // Starts `program` in the background, its standard streams on /dev/null unless the
  // options keep the test's; started() is false when it could not be started.
  static Subprocess Start(const std::string& program, const std::vector<std::string>& arguments,
                          const SubprocessOptions& options = {});

  Subprocess() = default;
  ~Subprocess();  // a child still running is killed (with its group) and reaped
  Subprocess(Subprocess&& other) noexcept;
  Subprocess& operator=(Subprocess&& other) noexcept;
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  // Waits for the child to end; its status as Run() gives it (-1 if none is running).
  int Wait();
  // The status if the child has ended within `timeout`, else nothing (still running).
  std::optional<int> WaitFor(std::chrono::milliseconds timeout);
  // The status if the child has already ended, without waiting.
  std::optional<int> Poll() { return WaitFor(std::chrono::milliseconds(0)); }
  // Sends `signal` to the child, or to its whole group when it leads one.
  void Signal(int signal) const;
  // Sends `signal` (SIGKILL by default) and waits; the status it ended with.
  int Kill(int signal = SIGKILL);

  // Waits for a child the test forked itself; its status as Run() gives it.
  static int WaitForPid(pid_t pid);

 private:
  Subprocess(pid_t pid, bool ownGroup) : pid_(pid), ownGroup_(ownGroup) {}

  pid_t pid_ = -1;         // -1 once reaped
  bool ownGroup_ = false;  // the child leads a process group of its own
};

}  // namespace tallimor::testing
