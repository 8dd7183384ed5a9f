// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// tallimor-handheld: acts on an emulated handheld as the handheld memo application
// does: makes the handheld, creates the memo database, sets the password, adds, edits,
// deletes and lists memos and manages categories, and installs or copies out .pdb files.
//     tallimor-handheld [--handheld DIR] COMMAND [ARGUMENTS]
#include <iostream>
#include <string>
#include <vector>

#include "crypto/ProcessHardening.h"
#include "tools/tallimor-handheld/HandheldProgram.h"
#include "tools/tallimor-handheld/HandheldSession.h"

int main(int argc, char** argv) {
  // Before the password is read: a core file would hold it and the deciphered memos.
  tallimor::ProcessHardening::HardenProcess();
  const int status = tallimor::RunHandheldProgram(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
  std::cout.flush();
  if (status == tallimor::kExitOk && !std::cout) {
    std::cerr << tallimor::kHandheldProgram << ": could not write the output\n";
    return tallimor::kExitFailed;
  }
  return status;
}
