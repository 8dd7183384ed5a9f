// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// HandheldCommand: one command of tallimor-handheld as a record: its declaration (name,
// summary, help, options and arguments), from which its help and usage errors come,
// and the function that carries it out. Each command lives in a file of its own under
// commands/; HandheldProgram lists them.
#pragma once

#include "cli/CommandLine.h"
#include "cli/CommandSpec.h"

namespace tallimor {

class HandheldSession;

struct HandheldCommand {
  CommandSpec spec;
  // Carries the command out on the session's handheld; returns the exit status.
  int (*run)(HandheldSession& session, const CommandLine& line);
};

// The commands, in the order the help lists them.
extern const HandheldCommand kInitCommand;
extern const HandheldCommand kCreateDbCommand;
extern const HandheldCommand kPasswordCommand;
extern const HandheldCommand kAddCommand;
extern const HandheldCommand kEditCommand;
extern const HandheldCommand kDeleteCommand;
extern const HandheldCommand kPrivateCommand;
extern const HandheldCommand kMoveCommand;
extern const HandheldCommand kShowCommand;
extern const HandheldCommand kListCommand;
extern const HandheldCommand kCategoryCommand;
extern const HandheldCommand kImportCommand;
extern const HandheldCommand kExportCommand;
extern const HandheldCommand kDatabasesCommand;

}  // namespace tallimor
