// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of the HotSync program `hotsync`, the HotSync manager of this system:
//     hotsync [--root DIR] sync [--handheld DIR] [--action ACTION] [--allow-mass-delete]
//     hotsync [--root DIR] configure [--action ACTION] [--default] [--user NAME]
//     hotsync [--root DIR] log [--user NAME]
//     hotsync [--root DIR] users
//     hotsync help [COMMAND]
// Results go to `out`, progress and errors to `err`; the return value is the exit
// status (ExitStatus.h).
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandSpec.h"

namespace tallimor {

inline constexpr char kHotSyncProgram[] = "hotsync";

// The declaration of the whole program; its help and usage errors come from it.
const ProgramSpec& HotSyncProgramSpec();

// Runs the program with its arguments (without the program name).
int RunHotSyncProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace tallimor
