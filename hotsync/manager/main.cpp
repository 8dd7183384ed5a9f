// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// hotsync: the HotSync manager of Tallimor. Runs a HotSync of an emulated handheld,
// lets the user choose the conduit's HotSync action, and shows the HotSync log.
//     hotsync [--root DIR] COMMAND ...      (hotsync --help lists the commands)
#include <iostream>
#include <string>
#include <vector>

#include "hotsync/manager/ExitStatus.h"
#include "hotsync/manager/HotSyncCommands.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const int status = tallimor::RunHotSyncProgram(arguments, std::cout, std::cerr);
  std::cout.flush();
  if (!std::cout) {
    std::cerr << tallimor::kHotSyncProgram << ": could not write the output\n";
    return tallimor::kHotSyncExitFailed;
  }
  return status;
}
