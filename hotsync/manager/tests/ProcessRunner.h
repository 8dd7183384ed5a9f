// Runs the programs under test as child processes, the way a user or a script does:
// arguments, text on standard input, the environment of the test process, and both
// output streams collected.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tallimor::testing {

struct ProcessResult {
  int status = -1;  // the exit status, or 128 + the signal that ended the process
  std::string out;
  std::string err;
};

// Runs `program` with `arguments`, writing `input` to its standard input, and waits
// for it to end.
ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& input = "");

// Starts `program` with its standard streams on /dev/null and returns its process id
// (-1 on failure), for tests that end it from outside.
pid_t StartProcess(const std::string& program, const std::vector<std::string>& arguments);

// Waits for a process started by StartProcess; its status as RunProcess gives it.
int WaitProcess(pid_t pid);

}  // namespace tallimor::testing
