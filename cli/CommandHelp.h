// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CommandHelp: every text a program shows about its command line, written from its
// ProgramSpec: the program's help with the list of commands, each command's help with
// its usage line and option table, and the two-line usage error.
#pragma once

#include <ostream>
#include <string>

#include "cli/CommandSpec.h"

namespace tallimor {

class CommandHelp {
 public:
  // The usage line of `command` (without "Usage: "): the program's command prefix, the
  // command's name, then its synopsis or the one derived from its options and arguments.
  static std::string UsageLine(const ProgramSpec& program, const CommandSpec& command);
  // The program's help: usage, description, commands, options, footer.
  static void WriteProgramHelp(const ProgramSpec& program, std::ostream& out);
  // One command's help: usage, summary, details, its options (with -h, --help), and the
  // program's command footer.
  static void WriteCommandHelp(const ProgramSpec& program, const CommandSpec& command, std::ostream& out);
  // "PROGRAM [COMMAND]: MESSAGE" and the line that points to the help, on `err`.
  // `command` is nullptr for an error in the program's own options. Returns
  // kCommandLineUsageStatus.
  static int UsageError(const ProgramSpec& program, const CommandSpec* command, const std::string& message,
                        std::ostream& err);

  // The `help [COMMAND]` command every program with commands has.
  static const CommandSpec kHelpCommand;
};

}  // namespace tallimor
