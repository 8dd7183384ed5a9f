// tallimor-dump: shows a record file (record.dat) as a text listing or as one
// JSON object. Bad files give the result code and its meaning on stderr and a
// non-zero exit; whatever could be read before the error is still shown. With
// --password the memos are deciphered and shown as UTF-8 text as well.
#include <iostream>
#include <string>

#include "desktop/PasswordInfo.h"
#include "store/ResultCodes.h"
#include "tools/tallimor-dump/MemoTexts.h"
#include "tools/common/PasswordPrompt.h"
#include "tools/tallimor-dump/DumpWriters.h"
#include "tools/tallimor-dump/DumpedFile.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadFile = 1;  // the file could not be opened or read whole
constexpr int kExitUsage = 2;
constexpr int kExitPassword = 3;  // wrong password, or none could be read or checked

constexpr char kProgram[] = "tallimor-dump";

constexpr char kHelp[] =
    "Usage: tallimor-dump [--json] [--password] FILE\n"
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
    "  --password  also show each memo as text: deciphered with the password when\n"
    "              the file is protected, up to its first NUL, as UTF-8 (\"text\" in\n"
    "              the JSON records). The password is read from the terminal with\n"
    "              echo off, or from the first line of standard input when that is\n"
    "              not a terminal; never from the command line. It is taken as\n"
    "              UTF-8 and checked, as code page 932 bytes, against the digest in\n"
    "              the file. A wrong password shows nothing and exits with 3.\n"
    "  --help      show this help and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "The file is only read, never locked or changed. When it cannot be read whole,\n"
    "what was read is shown, the result code and its meaning go to stderr, and the\n"
    "exit status is 1. Usage errors exit with 2; password errors with 3.\n";

struct Options {
  bool json = false;
  bool password = false;  // show the memo texts, deciphered with a password read from input
  std::string file;
};

// Reads the password, checks it and fills the memo texts of `dumped`. Returns kExitOk,
// or an exit status after writing the reason to stderr. Every copy of the password is
// wiped before this returns.
int ShowMemoTexts(tallimor::DumpedFile& dumped) {
  std::string key;
  std::string error;
  if (!tallimor::ReadCodePage932Password("Password: ", &key, &error)) {
    std::cerr << kProgram << ": " << error << "\n";
    return kExitPassword;
  }
  std::size_t undecodable = 0;
  const tallimor::MemoTextsResult result = tallimor::FillMemoTexts(key.c_str(), dumped, &undecodable);
  tallimor::WipeSecret(key);
  switch (result) {
    case tallimor::MemoTextsResult::kWrongPassword:
      std::cerr << kProgram << ": wrong password: it does not match the password digest in the file\n";
      return kExitPassword;
    case tallimor::MemoTextsResult::kNoPasswordInfo:
      std::cerr << kProgram << ": the password cannot be checked: the file has no application "
                   "information holding a password digest\n";
      return kExitPassword;
    case tallimor::MemoTextsResult::kNotProtected:
      std::cerr << kProgram << ": note: the file has no password; the memos are shown as stored\n";
      break;
    case tallimor::MemoTextsResult::kProtected:
      break;
  }
  if (undecodable > 0) {
    std::cerr << kProgram << ": note: " << undecodable
              << " memo(s) hold bytes that are not code page 932 text; they show as U+FFFD\n";
  }
  return kExitOk;
}

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
    } else if (!optionsEnded && arg == "--password") {
      options.password = true;
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
  if (options.password) {
    const int status = ShowMemoTexts(dumped);
    if (status != kExitOk) return status;
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
