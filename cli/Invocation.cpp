// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The order in which a command line is answered: the program's own options (help and
// version first), then the command's name, then its help, then its options and
// arguments. Help is shown whenever it is asked for, even on a command line that is
// otherwise wrong, since that is when a user needs it.
#include "cli/Invocation.h"

#include "cli/CommandHelp.h"

namespace tallimor {
namespace {

const CommandSpec* FindCommand(const ProgramSpec& program, const std::string& name) {
  for (const CommandSpec* command : program.commands) {
    if (name == command->name) return command;
  }
  return name == CommandHelp::kHelpCommand.name ? &CommandHelp::kHelpCommand : nullptr;
}

bool Done(int status, int* out) {
  *out = status;
  return false;
}

}  // namespace

bool Invocation::Read(const ProgramSpec& program, const std::vector<std::string>& words, std::ostream& out,
                      std::ostream& err, int* status) {
  command_ = nullptr;
  std::string error;
  if (program.commands.empty()) {
    if (CommandLine::AsksForHelp(words)) {
      CommandHelp::WriteProgramHelp(program, out);
      return Done(0, status);
    }
    if (CommandLine::AsksForVersion(words)) {
      out << program.name << " " << program.version << "\n";
      return Done(0, status);
    }
    if (!parsed_.Parse(program.global, words, CommandLine::Mode::kOptionsAnywhere, &error)) {
      return Done(CommandHelp::UsageError(program, nullptr, error, err), status);
    }
    global_ = parsed_;
    return true;
  }

  if (!global_.Parse(program.global, words, CommandLine::Mode::kStopAtFirstArgument, &error)) {
    // "hotsync --bogus --help" still shows the help.
    if (CommandLine::AsksForHelp(words) && global_.arguments().empty()) {
      CommandHelp::WriteProgramHelp(program, out);
      return Done(0, status);
    }
    return Done(CommandHelp::UsageError(program, nullptr, error, err), status);
  }
  if (global_.Has("help")) {
    CommandHelp::WriteProgramHelp(program, out);
    return Done(0, status);
  }
  if (global_.Has("version")) {
    out << program.name << " " << program.version << "\n";
    return Done(0, status);
  }
  if (global_.arguments().empty()) return Done(CommandHelp::UsageError(program, nullptr, "no command given", err), status);

  const std::string& name = global_.arguments().front();
  const CommandSpec* command = FindCommand(program, name);
  if (command == nullptr) {
    return Done(CommandHelp::UsageError(program, nullptr, "unknown command '" + name + "'", err), status);
  }
  const std::vector<std::string>& rest = global_.rest();
  if (CommandLine::AsksForHelp(rest)) {
    CommandHelp::WriteCommandHelp(program, *command, out);
    return Done(0, status);
  }
  if (!parsed_.Parse(*command, rest, CommandLine::Mode::kOptionsAnywhere, &error)) {
    return Done(CommandHelp::UsageError(program, command, error, err), status);
  }
  if (command == &CommandHelp::kHelpCommand) {
    if (parsed_.arguments().empty()) {
      CommandHelp::WriteProgramHelp(program, out);
      return Done(0, status);
    }
    const CommandSpec* about = FindCommand(program, parsed_.arguments().front());
    if (about == nullptr) {
      const std::string message = "unknown command '" + parsed_.arguments().front() + "'";
      return Done(CommandHelp::UsageError(program, nullptr, message, err), status);
    }
    CommandHelp::WriteCommandHelp(program, *about, out);
    return Done(0, status);
  }
  command_ = command;
  return true;
}

}  // namespace tallimor
