// Runs the programs under test as child processes, each with its own environment: the
// one the suite started with, plus the variables a trial sets for that run alone (a
// Sync Manager fault, a disk fault library, the leak scan switched off). Nothing here
// touches the suite's own environment, so trials may run side by side on threads.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace tallimor::reliability {

// Variables set (or, with an empty value and `unset`, removed) for one run.
struct EnvSetting {
  std::string name;
  std::string value;
  bool unset = false;
};
using Environment = std::vector<EnvSetting>;

struct ChildResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the process
  std::string out;
  std::string err;
};

class ChildProcess {
 public:
  // Takes the environment every child starts from; call once, from the main thread,
  // before the first child and after the suite has set its variables.
  static void CaptureBaseEnvironment();

  // Runs `program` with `arguments`, writing `input` to its standard input, and waits
  // for it to end, collecting both output streams.
  static ChildResult Run(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input = "", const Environment& environment = {});

  // Starts `program` with its standard streams on /dev/null and returns its process id
  // (-1 on failure), for a trial that ends it from outside.
  static pid_t Start(const std::string& program, const std::vector<std::string>& arguments,
                     const Environment& environment = {});

  // Waits for a process from Start(); its status as Run() gives it.
  static int Wait(pid_t pid);
};

}  // namespace tallimor::reliability
