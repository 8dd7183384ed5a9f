// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// tallimor-dump: shows a record file (record.dat, record.BAK, an .ARC) or a memo
// database (.pdb) as a text listing or as one JSON object. Bad files give the result
// code and its meaning on stderr and a non-zero exit; whatever could be read before the
// error is still shown. With --password the memos are deciphered and shown as UTF-8
// text as well; with --format they are exported instead (only from a file read whole).
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "crypto/ProcessHardening.h"
#include "protect/PasswordInfo.h"
#include "store/ResultCodes.h"
#include "cli/CommandHelp.h"
#include "cli/Invocation.h"
#include "tools/common/PasswordPrompt.h"
#include "tools/tallimor-dump/DumpExport.h"
#include "tools/tallimor-dump/DumpWriters.h"
#include "exchange/MemoFile.h"
#include "exchange/MemoFileTexts.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadFile = 1;  // the file could not be opened or read whole
constexpr int kExitPassword = 3;  // wrong password, or none could be read or checked

constexpr char kProgram[] = "tallimor-dump";

// The whole command line; its help and usage errors come from here.
const tallimor::ProgramSpec kDump{
    kProgram,
    TALLIMOR_VERSION,
    "Shows a Tallimor record file (record.dat, or a backup record.BAK or archive .ARC)\n"
    "or a handheld memo database (.pdb, such as a handheld backup): its header, app\n"
    "info and sort info blocks, the category table in the app info data, and the\n"
    "records in file order. With --format it exports the deciphered memos instead.\n",
    {"",
     "show a record file or memo database",
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
       "the file. A wrong password shows nothing and exits with 3. A file\n"
       "without a digest (an archive .ARC) is checked against the\n"
       "record.dat beside it; without one the password is taken when its\n"
       "key deciphers every memo to valid text, and a note says so."},
      {'f', "format", "FORMAT",
       "with --password: print the memos, in file order, as FORMAT\n"
       "instead of the listing: keepass-xml (KeePass 2 XML, which\n"
       "keepassxc-cli import reads: a group per category, an entry per\n"
       "memo titled by its first line, private memos tagged \"private\"),\n"
       "csv (UTF-8, a header row: category,text,private) or text (each\n"
       "memo after a line \"%% CATEGORY\", or \"%%* CATEGORY\" when private;\n"
       "memo lines starting with %% get one more %). Text is UTF-8 with\n"
       "LF line ends; category 0 is \"Unfiled\". Deleted and archived\n"
       "records are left out. A file not read whole exports nothing."},
      {'\0', "include-deleted", nullptr,
       "with --format: export deleted and archived records too\n"
       "(tagged \"deleted\" or \"archived\" in keepass-xml)."},
      tallimor::kHelpOption,
      tallimor::kVersionOption},
     {{"FILE"}}},
    {},
    kProgram,
    "The file is only read, never locked or changed; the kind is told by its content\n"
    "(a record file starts with its header length, 84). When it cannot be read whole,\n"
    "what was read is shown, the result code and its meaning go to stderr, and the\n"
    "exit status is 1. Usage errors exit with 2; password errors with 3.\n",
    ""};

// Reads the password, checks it and fills the memo texts of `dumped`. Returns kExitOk,
// or an exit status after writing the reason to stderr. Every copy of the password is
// wiped before this returns.
int ShowMemoTexts(const std::string& file, tallimor::MemoFile& dumped) {
  std::string key;
  std::string error;
  if (!tallimor::ReadCodePage932Password("Password: ", &key, &error)) {
    std::cerr << kProgram << ": " << error << "\n";
    return kExitPassword;
  }
  std::size_t undecodable = 0;
  const tallimor::MemoTextsResult result = tallimor::FillMemoTexts(key.c_str(), file, dumped, &undecodable);
  tallimor::WipeSecret(key);
  switch (result) {
    case tallimor::MemoTextsResult::kWrongPassword:
      std::cerr << kProgram << ": wrong password: it does not match the password digest in the file\n";
      return kExitPassword;
    case tallimor::MemoTextsResult::kNoPasswordInfo:
      std::cerr << kProgram << ": the password cannot be checked: the file holds no password digest, "
                   "no record.dat stands beside it, and the password does not decipher its memos to text\n";
      return kExitPassword;
    case tallimor::MemoTextsResult::kNotProtected:
      std::cerr << kProgram << ": note: the file has no password; the memos are shown as stored\n";
      break;
    case tallimor::MemoTextsResult::kNotProtectedBeside:
      std::cerr << kProgram << ": note: the file holds no password digest and the record.dat beside it has no "
                   "password; the memos are shown as stored\n";
      break;
    case tallimor::MemoTextsResult::kCheckedBeside:
      std::cerr << kProgram << ": note: the file holds no password digest; the password was checked against "
                   "the record.dat beside it\n";
      break;
    case tallimor::MemoTextsResult::kDecipheredToText:
      std::cerr << kProgram << ": note: the file holds no password digest and no record.dat stands beside it; "
                   "the password was taken because it deciphers every memo to valid text\n";
      break;
    case tallimor::MemoTextsResult::kStoredAsText:
      std::cerr << kProgram << ": note: the file holds no password digest and no record.dat stands beside it; "
                   "its memos are valid text as stored, so they are shown as stored\n";
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

void ReportReadError(const std::string& file, tallimor::Result result, const tallimor::MemoFile& dumped) {
  std::cerr << kProgram << ": " << file << ": error " << result << ": " << tallimor::ResultMeaning(result);
  if (!dumped.openError.empty()) std::cerr << " (" << dumped.openError << ")";
  std::cerr << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  // Before the password is read: a core file would hold it and the deciphered memos.
  tallimor::ProcessHardening::HardenProcess();
  tallimor::Invocation invocation;
  int status = kExitOk;
  if (!invocation.Read(kDump, std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr, &status)) {
    return status;
  }
  const tallimor::CommandLine& options = invocation.parsed();
  const std::string& file = options.arguments().front();
  std::optional<tallimor::DumpFormat> format;
  if (const std::string* name = options.Value("format")) {
    format = tallimor::DumpFormatNamed(*name);
    const char* refusal = !format                       ? "--format takes keepass-xml, csv or text"
                          : !options.Has("password")    ? "--format needs --password"
                          : options.Has("json")         ? "--format and --json exclude each other"
                                                        : nullptr;
    if (refusal != nullptr) return tallimor::CommandHelp::UsageError(kDump, nullptr, refusal, std::cerr);
  } else if (options.Has("include-deleted")) {
    return tallimor::CommandHelp::UsageError(kDump, nullptr, "--include-deleted goes with --format", std::cerr);
  }

  tallimor::MemoFile dumped;
  const tallimor::Result result = tallimor::ReadMemoFile(file, dumped);
  if (result == tallimor::kErrOpenFailed) {
    ReportReadError(file, result, dumped);
    return kExitBadFile;
  }
  if (result != tallimor::kOk && (format || dumped.kind == tallimor::MemoFileKind::kPalmDatabase)) {
    // An export of part of the memos would pass for all of them; a .pdb that cannot be
    // parsed has nothing worth showing.
    ReportReadError(file, result, dumped);
    return kExitBadFile;
  }
  if (options.Has("password")) {
    status = ShowMemoTexts(file, dumped);
    if (status != kExitOk) return status;
  }
  if (format) {
    const tallimor::DumpExportCounts counts =
        tallimor::WriteDumpExport(dumped, *format, options.Has("include-deleted"), std::cout);
    std::cout.flush();
    if (counts.replaced > 0) {
      std::cerr << kProgram << ": note: " << counts.replaced
                << " memo(s) hold control characters that XML cannot carry; they show as U+FFFD\n";
    }
    if (counts.left > 0) {
      std::cerr << kProgram << ": note: " << counts.left
                << " deleted or archived record(s) left out (--include-deleted exports them)\n";
    }
  } else if (options.Has("json")) {
    tallimor::WriteDumpJson(dumped, std::cout);
  } else {
    tallimor::WriteDumpText(dumped, std::cout);
  }
  std::cout.flush();
  if (result != tallimor::kOk) {
    ReportReadError(file, result, dumped);
    return kExitBadFile;
  }
  if (!std::cout) {
    std::cerr << kProgram << ": could not write the output\n";
    return kExitBadFile;
  }
  return kExitOk;
}
