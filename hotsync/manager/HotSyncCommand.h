// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// HotSyncCommand: one command of `hotsync` as a record: its declaration (name, summary,
// help, options and arguments), from which its help and usage errors come, and the
// function that carries it out. Each command lives in a file of its own
// (SyncCommand.cpp, ...); HotSyncCommands lists them.
#pragma once

#include "cli/CommandLine.h"
#include "cli/CommandSpec.h"

namespace tallimor {

class HotSyncContext;

struct HotSyncCommand {
  CommandSpec spec;
  // Carries the command out; returns the exit status (ExitStatus.h).
  int (*run)(HotSyncContext& context, const CommandLine& line);
};

// The commands, in the order the help lists them.
extern const HotSyncCommand kSyncCommand;
extern const HotSyncCommand kConfigureCommand;
extern const HotSyncCommand kLogCommand;
extern const HotSyncCommand kUsersCommand;

}  // namespace tallimor
