// The commands of the HotSync program `hotsync`, the HotSync manager of this system:
//     hotsync [--root DIR] sync --handheld DIR [--action ACTION]
//     hotsync [--root DIR] configure [--user NAME]
//     hotsync [--root DIR] log [--user NAME]
//     hotsync [--root DIR] users
// Results go to `out`, progress and errors to `err`; the return value is the exit
// status (ExitStatus.h).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tallimor {

inline constexpr char kHotSyncProgram[] = "hotsync";

// Runs the program with its arguments (without the program name).
int RunHotSyncProgram(const std::vector<std::string>& arguments, std::ostream& out,
                      std::ostream& err);

// The program's help, and one command's (false for an unknown command).
void WriteHotSyncHelp(std::ostream& out);
bool WriteHotSyncCommandHelp(const std::string& command, std::ostream& out);

}  // namespace tallimor
