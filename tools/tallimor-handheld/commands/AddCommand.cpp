// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// add: adds a memo, marked changed for the next HotSync, and prints its id. The text is
// an argument, or standard input when it is "-", so that a secret memo need not show in
// the process list or the shell's history.
#include "protect/PasswordInfo.h"
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"
#include "tools/tallimor-handheld/NumberArgument.h"

namespace tallimor {
namespace {

int RunAdd(HandheldSession& s, const CommandLine& line) {
  int category = 0;
  if (const std::string* index = line.Value("category");
      index != nullptr && !NumberArgument::CategoryIndex(*index, &category)) {
    return s.Usage("--category takes a category index from 0 to 15");
  }
  const std::string& typed = line.arguments()[0];
  std::string text;
  // A text argument is checked before the password is asked for; text on standard
  // input comes after the password's line, so it is read once the database is open.
  int status = typed == "-" ? kExitOk : s.MemoText(typed, &text);
  if (status != kExitOk || (status = s.OpenMemo(true)) != kExitOk) return status;
  if (typed == "-" && (status = s.MemoText(typed, &text)) != kExitOk) return status;
  std::uint32_t id = 0;
  std::string error;
  const Result added = s.memo().AddMemo(text, category, line.Has("private"), &id, &error);
  WipeSecret(text);
  if (added != kOk) return s.Fail(error);
  status = s.Save();
  if (status == kExitOk) s.out() << id << "\n";
  return status;
}

}  // namespace

const HandheldCommand kAddCommand{
    {"add",
     "add a memo; prints its id",
     "Adds a memo with TEXT (line ends as typed; CR LF becomes LF) in category INDEX\n"
     "(default 0, Unfiled), private with --private. It is marked changed (dirty) for\n"
     "the next HotSync. Prints the unique id the handheld gave it.\n"
     "\n"
     "TEXT '-' reads the text from standard input instead, up to its end; one line end\n"
     "at the very end is dropped. When the database is protected, the first line of\n"
     "standard input is the password and the rest is the text. A text given as an\n"
     "argument shows in the process list and the shell's history: use '-' for secrets.\n"
     "A text that starts with '-' follows '--'.\n",
     {{'\0', "category", "INDEX", "the category index, 0 to 15 (default 0)"},
      {'\0', "private", nullptr, "make the memo private"}},
     {{"TEXT"}}},
    RunAdd};

}  // namespace tallimor
