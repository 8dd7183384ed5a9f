// The commands of tallimor-handheld: each one opens the emulated handheld, acts on it
// as the handheld memo application would, and saves what changed atomically. Errors go
// to `err` as one line starting with the program name; the result is the exit status.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace tallimor {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;    // the command could not be carried out
inline constexpr int kExitUsage = 2;     // the command line is wrong
inline constexpr int kExitPassword = 3;  // the password is wrong or could not be read

inline constexpr char kHandheldProgram[] = "tallimor-handheld";

// Runs `words` (the command name, then its arguments) on the handheld in `directory`.
// "COMMAND --help" prints the command's help instead and needs no handheld.
int RunHandheldCommand(const std::string& directory, const std::vector<std::string>& words, std::ostream& out,
                       std::ostream& err);

// True when `name` is a command.
bool IsHandheldCommand(const std::string& name);
// The program's help: usage, every command in one line, texts, password, exit status.
void WriteHandheldHelp(std::ostream& out);
// The help of one command (false when there is no such command).
bool WriteHandheldCommandHelp(const std::string& name, std::ostream& out);

}  // namespace tallimor
