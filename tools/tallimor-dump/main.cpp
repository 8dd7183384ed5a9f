// tallimor-dump: shows a record file (record.dat) as a text listing or as one
// JSON object. Bad files give the result code and its meaning on stderr and a
// non-zero exit; whatever could be read before the error is still shown.
#include <iostream>
#include <string>

#include "store/ResultCodes.h"
#include "tools/tallimor-dump/DumpWriters.h"
#include "tools/tallimor-dump/DumpedFile.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadFile = 1;  // the file could not be opened or read whole
constexpr int kExitUsage = 2;

constexpr char kProgram[] = "tallimor-dump";

constexpr char kHelp[] =
    "Usage: tallimor-dump [--json] FILE\n"
    "Shows a Tallimor record file (record.dat): its header, app info and sort info\n"
    "blocks, the category table in the app info data, and the records in file order.\n"
    "\n"
    "Options:\n"
    "  --json      print one JSON object instead of the listing:\n"
    "              {\"header\": {\"name\", \"version\", \"dbVersion\", \"creator\", \"type\",\n"
    "                          \"flags\", \"modDate\", \"modNumber\", \"createDate\",\n"
    "                          \"backupDate\", \"recordCount\"},\n"
    "               \"appInfo\": null or {\"name\", \"capacity\", \"used\", \"reserved\", \"data\"},\n"
    "               \"sortInfo\": null or the same,\n"
    "               \"categories\": [{\"index\", \"id\", \"name\", \"changed\"}],\n"
    "               \"records\": [{\"id\", \"category\", \"status\", \"private\", \"data\"}]}\n"
    "              data and category names are hex; status holds the bits 1 deleted,\n"
    "              2 archived, 4 modified, 8 new. Name bytes outside ASCII appear as\n"
    "              \\u0080 to \\u00ff; header is null when it could not be read.\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "The file is only read, never locked or changed. When it cannot be read whole,\n"
    "what was read is shown, the result code and its meaning go to stderr, and the\n"
    "exit status is 1. Usage errors exit with 2.\n";

struct Options {
  bool json = false;
  // --password (deciphered memo text for each record) joins here with memo protection.
  std::string file;
};

int UsageError(const std::string& message) {
  std::cerr << kProgram << ": " << message << "\n"
            << "Try '" << kProgram << " --help' for more information.\n";
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (!optionsEnded && arg == "--help") {
      std::cout << kHelp;
      return kExitOk;
    }
    if (!optionsEnded && arg == "--version") {
      std::cout << kProgram << " " << TALLIMOR_VERSION << "\n";
      return kExitOk;
    }
    if (!optionsEnded && arg == "--json") {
      options.json = true;
    } else if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
      return UsageError("unknown option '" + arg + "'");
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      return UsageError("only one FILE may be given");
    }
  }
  if (options.file.empty()) return UsageError("no FILE given");

  tallimor::DumpedFile dumped;
  const tallimor::Result result = tallimor::ReadDumpedFile(options.file, dumped);
  if (result == tallimor::kErrOpenFailed) {
    std::cerr << kProgram << ": " << options.file << ": error " << result << ": "
              << tallimor::ResultMeaning(result) << " (" << dumped.openError << ")\n";
    return kExitBadFile;
  }
  if (options.json) {
    tallimor::WriteDumpJson(dumped, std::cout);
  } else {
    tallimor::WriteDumpText(dumped, std::cout);
  }
  std::cout.flush();
  if (result != tallimor::kOk) {
    std::cerr << kProgram << ": " << options.file << ": error " << result << ": "
              << tallimor::ResultMeaning(result) << "\n";
    return kExitBadFile;
  }
  if (!std::cout) {
    std::cerr << kProgram << ": could not write the output\n";
    return kExitBadFile;
  }
  return kExitOk;
}
