// tallimor-dump: shows a record file (record.dat) as a text listing or as one
// JSON object. Bad files give the result code and its meaning on stderr and a
// non-zero exit; whatever could be read before the error is still shown. With
// --password the memos are deciphered and shown as UTF-8 text as well.
#include <iostream>
#include <string>
#include <vector>

#include "protect/PasswordInfo.h"
#include "store/ResultCodes.h"
#include "cli/Invocation.h"
#include "tools/common/PasswordPrompt.h"
#include "tools/tallimor-dump/DumpWriters.h"
#include "tools/tallimor-dump/DumpedFile.h"
#include "tools/tallimor-dump/MemoTexts.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadFile = 1;  // the file could not be opened or read whole
constexpr int kExitPassword = 3;  // wrong password, or none could be read or checked

constexpr char kProgram[] = "tallimor-dump";

// The whole command line; its help and usage errors come from here.
const tallimor::ProgramSpec kDump{
    kProgram,
    TALLIMOR_VERSION,
    "Shows a Tallimor record file (record.dat): its header, app info and sort info\n"
    "blocks, the category table in the app info data, and the records in file order.\n",
    {"",
     "show a record file",
     "",
     {{'j', "json", nullptr,
       "print one JSON object instead of the listing:\n"
       "{\"header\": {\"name\", \"version\", \"dbVersion\", \"creator\", \"type\",\n"
       "            \"flags\", \"modDate\", \"modNumber\", \"createDate\",\n"
       "            \"backupDate\", \"recordCount\"},\n"
       " \"appInfo\": null or {\"name\", \"capacity\", \"used\", \"reserved\", \"data\"},\n"
       " \"sortInfo\": null or the same,\n"
       " \"categories\": [{\"index\", \"id\", \"name\", \"changed\"}],\n"
       " \"records\": [{\"id\", \"category\", \"status\", \"private\", \"data\"}]}\n"
       "data and category names are hex; status holds the bits 1 deleted,\n"
       "2 archived, 4 modified, 8 new. Name bytes outside ASCII appear as\n"
       "\\u0080 to \\u00ff; header is null when it could not be read."},
      {'p', "password", nullptr,
       "also show each memo as text: deciphered with the password when\n"
       "the file is protected, up to its first NUL, as UTF-8 (\"text\" in\n"
       "the JSON records). The password is read from the terminal with\n"
       "echo off, or from the first line of standard input when that is\n"
       "not a terminal; never from the command line. It is taken as\n"
       "UTF-8 and checked, as code page 932 bytes, against the digest in\n"
       "the file. A wrong password shows nothing and exits with 3."},
      tallimor::kHelpOption,
      tallimor::kVersionOption},
     {{"FILE"}}},
    {},
    kProgram,
    "The file is only read, never locked or changed. When it cannot be read whole,\n"
    "what was read is shown, the result code and its meaning go to stderr, and the\n"
    "exit status is 1. Usage errors exit with 2; password errors with 3.\n",
    ""};

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
              << " memo(s) hold bytes that are not code page 932 text; each such byte shows as \\xHH\n";
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  tallimor::Invocation invocation;
  int status = kExitOk;
  if (!invocation.Read(kDump, std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, &status)) {
    return status;
  }
  const tallimor::CommandLine& options = invocation.parsed();
  const std::string& file = options.arguments().front();

  tallimor::DumpedFile dumped;
  const tallimor::Result result = tallimor::ReadDumpedFile(file, dumped);
  if (result == tallimor::kErrOpenFailed) {
    std::cerr << kProgram << ": " << file << ": error " << result << ": " << tallimor::ResultMeaning(result) << " ("
              << dumped.openError << ")\n";
    return kExitBadFile;
  }
  if (options.Has("password")) {
    status = ShowMemoTexts(dumped);
    if (status != kExitOk) return status;
  }
  if (options.Has("json")) {
    tallimor::WriteDumpJson(dumped, std::cout);
  } else {
    tallimor::WriteDumpText(dumped, std::cout);
  }
  std::cout.flush();
  if (result != tallimor::kOk) {
    std::cerr << kProgram << ": " << file << ": error " << result << ": " << tallimor::ResultMeaning(result) << "\n";
    return kExitBadFile;
  }
  if (!std::cout) {
    std::cerr << kProgram << ": could not write the output\n";
    return kExitBadFile;
  }
  return kExitOk;
}
