// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// create-db: creates the memo database, with or without a password.
#include <ctime>

#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

namespace tallimor {
namespace {

int RunCreateDb(HandheldSession& s, const CommandLine& line) {
  int status = kExitOk;
  std::string hint;
  if (line.Has("hint") && !line.Has("password")) return s.Usage("--hint needs --password");
  if (!s.HintOption(line, &hint, &status)) return status;
  status = s.OpenHandheld();
  if (status != kExitOk) return status;
  if (s.handheld().DatabaseExists(MemoDatabase::kDatabaseName)) {
    return s.Fail("the handheld already holds the memo database " +
                  s.handheld().DatabasePath(MemoDatabase::kDatabaseName));
  }
  s.NewMemo(MemoDatabase::CreateNew(PalmTimeFromUnix(static_cast<std::int64_t>(std::time(nullptr)))));
  if (line.Has("password")) {
    status = s.SetNewPassword(hint);
    if (status != kExitOk) return status;
  }
  return s.Save();
}

}  // namespace

const HandheldCommand kCreateDbCommand{
    {"create-db",
     "create the memo database (DIR/TallimorDB.pdb)",
     "Creates the memo database TallimorDB (creator Tlmr, type DATA) holding only the\n"
     "category Unfiled. With --password the memos are protected: the password is read\n"
     "(from the terminal with echo off and typed twice, or from the first line of\n"
     "standard input), its MD5 digest and the hint are stored, and every memo is\n"
     "enciphered with it. Refused when the database exists.\n",
     {{'p', "password", nullptr, "protect the memos with a password"},
      {'\0', "hint", "TEXT", "the password's hint, at most 255 bytes", false, true}},
     {}},
    RunCreateDb};

}  // namespace tallimor
