// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The table of tallimor-handheld's commands and the program's own options. The
// handheld directory comes from --handheld, else from $TALLIMOR_HANDHELD, as a
// pilot-link user's port comes from $PILOTPORT.
#include "tools/tallimor-handheld/HandheldProgram.h"

#include <cstdlib>

#include "cli/CommandHelp.h"
#include "cli/Invocation.h"
#include "tools/tallimor-handheld/HandheldCommand.h"
#include "tools/tallimor-handheld/HandheldSession.h"

#ifndef TALLIMOR_VERSION
#error "TALLIMOR_VERSION must come from the build"
#endif

namespace tallimor {
namespace {

constexpr const char* kHandheldVariable = "TALLIMOR_HANDHELD";

const HandheldCommand* const kCommands[] = {
    &kInitCommand, &kCreateDbCommand, &kPasswordCommand, &kAddCommand,    &kEditCommand,
    &kDeleteCommand, &kPrivateCommand, &kMoveCommand,   &kShowCommand,   &kListCommand,
    &kCategoryCommand, &kImportCommand, &kExportCommand, &kDatabasesCommand,
};

}  // namespace

const ProgramSpec& HandheldProgramSpec() {
  static const ProgramSpec program{
      kHandheldProgram,
      TALLIMOR_VERSION,
      "Acts on an emulated handheld as the handheld memo application does, so that the\n"
      "next HotSync finds the changes a handheld would have made. The handheld is the\n"
      "directory DIR: its identity in DIR/handheld.ini and its databases as\n"
      "DIR/<database name>.pdb (a .pdb copied there is part of the handheld).\n",
      {"",
       "",
       "",
       {{'H', "handheld", "DIR", "the emulated handheld (default $TALLIMOR_HANDHELD)"},
        {'h', "help", nullptr, "show this help; 'help COMMAND' or 'COMMAND --help'\nshows the help of a command"},
        kVersionOption},
       {},
       "--handheld DIR COMMAND [ARGUMENTS]"},
      Invocation::SpecsOf(kCommands),
      "tallimor-handheld --handheld DIR",
      "Texts (memos, category names, the hint, the user name) are taken as UTF-8 and\n"
      "stored in code page 932, as the handheld stores them; a text that code page 932\n"
      "cannot hold is refused. Memo ids are decimal or 0x-hexadecimal; category indexes\n"
      "are 0 to 15.\n"
      "\n"
      "PASSWORD: when the memo database is protected, commands that read or write memo\n"
      "text (add, edit, show, list, password) ask for the password. It is never taken\n"
      "from the command line: it is read from the terminal with echo off, or from the\n"
      "first line of standard input when that is not a terminal. A new password has 1 to\n"
      "16 characters and is typed twice on a terminal. add and edit take the text '-'\n"
      "to read the memo from standard input (after the password's line).\n"
      "\n"
      "Each command holds the lock DIR/handheld.lock while it runs, and a HotSync holds\n"
      "it for its whole run; a command that finds it held is refused, naming the holder.\n"
      "Every change is written to the database file atomically, and only when the whole\n"
      "command succeeded. The handheld's files are private to you (mode 0600).\n"
      "\n"
      "Environment:\n"
      "  TALLIMOR_HANDHELD  the emulated handheld when --handheld is not given\n"
      "\n"
      "Exit status: 0 success, 1 the command failed, 2 wrong command line, 3 wrong or\n"
      "unreadable password.\n",
      "See 'tallimor-handheld --help' for how texts and the password are read."};
  return program;
}

int RunHandheldProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  const ProgramSpec& program = HandheldProgramSpec();
  Invocation invocation;
  int status = kExitOk;
  if (!invocation.Read(program, arguments, out, err, &status)) return status;
  const HandheldCommand* command = invocation.Chosen(kCommands);
  std::string directory;
  if (const std::string* given = invocation.global().Value("handheld"); given != nullptr) {
    directory = *given;
  } else if (const char* variable = std::getenv(kHandheldVariable); variable != nullptr) {
    directory = variable;
  }
  HandheldSession session(program, command->spec, directory, out, err);
  if (directory.empty()) return session.Usage("--handheld DIR is required (or set $TALLIMOR_HANDHELD)");
  return command->run(session, invocation.parsed());
}

}  // namespace tallimor
