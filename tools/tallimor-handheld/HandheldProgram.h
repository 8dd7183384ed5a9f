// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The command line of tallimor-handheld: the program's own options, the table of its
// commands, and running the one a command line names.
//     tallimor-handheld [--handheld DIR] COMMAND [ARGUMENTS]
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandSpec.h"

namespace tallimor {

// The declaration of the whole program; its help and usage errors come from it.
const ProgramSpec& HandheldProgramSpec();

// Runs the program with its arguments (without the program name); returns the exit
// status. The handheld is --handheld DIR, else $TALLIMOR_HANDHELD.
int RunHandheldProgram(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace tallimor
