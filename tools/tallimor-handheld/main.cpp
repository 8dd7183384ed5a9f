// tallimor-handheld: acts on an emulated handheld as the handheld memo application
// does: makes the handheld, creates the memo database, sets the password, adds, edits,
// deletes and lists memos and manages categories, and installs or copies out .pdb files.
//     tallimor-handheld --handheld DIR COMMAND [ARGUMENTS]
#include <iostream>
#include <string>
#include <vector>

#include "tools/tallimor-handheld/HandheldCommands.h"

namespace {

int UsageError(const std::string& message) {
  std::cerr << tallimor::kHandheldProgram << ": " << message << "\n"
            << "Try '" << tallimor::kHandheldProgram << " --help' for more information.\n";
  return tallimor::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::string directory;
  bool haveDirectory = false;
  int i = 1;
  // The program's own options come before the command.
  for (; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      tallimor::WriteHandheldHelp(std::cout);
      return tallimor::kExitOk;
    }
    if (arg == "--version") {
      std::cout << tallimor::kHandheldProgram << " " << TALLIMOR_VERSION << "\n";
      return tallimor::kExitOk;
    }
    if (arg == "--handheld" || arg.rfind("--handheld=", 0) == 0) {
      if (haveDirectory) return UsageError("--handheld is given twice");
      if (arg == "--handheld") {
        if (i + 1 >= argc) return UsageError("--handheld needs a directory");
        directory = argv[++i];
      } else {
        directory = arg.substr(std::string("--handheld=").size());
      }
      if (directory.empty()) return UsageError("--handheld needs a directory");
      haveDirectory = true;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') return UsageError("unknown option '" + arg + "'");
    break;
  }
  if (i >= argc) return UsageError("no command given");
  const std::vector<std::string> words(argv + i, argv + argc);
  if (words[0] == "help") {
    if (words.size() == 1) {
      tallimor::WriteHandheldHelp(std::cout);
      return tallimor::kExitOk;
    }
    if (!tallimor::WriteHandheldCommandHelp(words[1], std::cout)) return UsageError("unknown command '" + words[1] + "'");
    return tallimor::kExitOk;
  }
  const int status = tallimor::RunHandheldCommand(directory, words, std::cout, std::cerr);
  std::cout.flush();
  if (status == tallimor::kExitOk && !std::cout) {
    std::cerr << tallimor::kHandheldProgram << ": could not write the output\n";
    return tallimor::kExitFailed;
  }
  return status;
}
