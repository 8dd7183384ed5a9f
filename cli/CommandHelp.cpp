// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Help texts and usage errors derived from the declarations: the usage line is built
// from the options and arguments a command takes, and the option tables from the same
// rows the parser reads, so help cannot drift from behaviour.
#include "cli/CommandHelp.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace tallimor {
namespace {

constexpr std::size_t kCommandColumn = 40;  // where a command's summary starts
constexpr std::size_t kMaxOptionColumn = 28;

// Help and version are shown in the option tables, not in usage lines.
bool InUsageLine(const OptionSpec& option) {
  return std::string_view(option.longName) != "help" && std::string_view(option.longName) != "version";
}

std::string DerivedSynopsis(const CommandSpec& command) {
  std::string synopsis;
  auto add = [&synopsis](const std::string& word) { synopsis += (synopsis.empty() ? "" : " ") + word; };
  for (const OptionSpec& option : command.options) {
    if (!InUsageLine(option)) continue;
    std::string word = std::string("--") + option.longName;
    if (option.valueName != nullptr) word += std::string(" ") + option.valueName;
    add(option.required ? word : "[" + word + "]");
  }
  for (const ArgumentSpec& argument : command.arguments) {
    std::string word = argument.name;
    if (argument.repeated) word += "...";
    add(argument.optional ? "[" + word + "]" : word);
  }
  return synopsis;
}

std::string Synopsis(const CommandSpec& command) {
  return command.synopsis != nullptr ? command.synopsis : DerivedSynopsis(command);
}

std::string OptionForms(const OptionSpec& option) {
  std::string forms = "  ";
  forms += option.shortName != '\0' ? std::string("-") + option.shortName + ", " : std::string("    ");
  forms += std::string("--") + option.longName;
  if (option.valueName != nullptr) forms += std::string(" ") + option.valueName;
  return forms;
}

// Writes `text` starting at the current column `column`, its later lines indented to it.
void WriteIndented(std::string_view text, std::size_t column, std::ostream& out) {
  bool first = true;
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    if (!first) out << std::string(column, ' ');
    out << text.substr(0, eol) << "\n";
    first = false;
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
  }
  if (first) out << "\n";
}

void WriteOptionTable(const std::vector<OptionSpec>& options, std::ostream& out) {
  std::size_t width = 0;
  for (const OptionSpec& option : options) {
    const std::size_t size = OptionForms(option).size();
    if (size <= kMaxOptionColumn) width = std::max(width, size);
  }
  const std::size_t column = width + 2;
  for (const OptionSpec& option : options) {
    std::string forms = OptionForms(option);
    if (forms.size() > width) {
      out << forms << "\n" << std::string(column, ' ');
    } else {
      forms.resize(column, ' ');
      out << forms;
    }
    WriteIndented(option.help, column, out);
  }
}

void WriteCommandLine(const CommandSpec& command, std::ostream& out) {
  const std::string synopsis = Synopsis(command);
  std::string line = std::string("  ") + command.name + (synopsis.empty() ? "" : " " + synopsis);
  if (line.size() < kCommandColumn) {
    line.resize(kCommandColumn, ' ');
    out << line << command.summary << "\n";
  } else {
    out << line << "\n" << std::string(kCommandColumn, ' ') << command.summary << "\n";
  }
}

// The text, ending in exactly one line end ("" stays "").
std::string Paragraph(const char* text) {
  std::string paragraph = text == nullptr ? "" : text;
  while (!paragraph.empty() && paragraph.back() == '\n') paragraph.pop_back();
  return paragraph.empty() ? paragraph : paragraph + "\n";
}

}  // namespace

const CommandSpec CommandHelp::kHelpCommand{
    "help", "show the help, or the help of COMMAND", "Shows the help of the program, or the help of COMMAND.\n",
    {}, {{"COMMAND", true}}};

std::string CommandHelp::UsageLine(const ProgramSpec& program, const CommandSpec& command) {
  const std::string synopsis = Synopsis(command);
  std::string line = program.commandPrefix;
  if (command.name[0] != '\0') line += std::string(" ") + command.name;
  return synopsis.empty() ? line : line + " " + synopsis;
}

void CommandHelp::WriteProgramHelp(const ProgramSpec& program, std::ostream& out) {
  const std::string synopsis = Synopsis(program.global);
  out << "Usage: " << program.name << (synopsis.empty() ? "" : " " + synopsis) << "\n"
      << Paragraph(program.description);
  if (!program.commands.empty()) {
    out << "\nCommands:\n";
    for (const CommandSpec* command : program.commands) WriteCommandLine(*command, out);
    WriteCommandLine(kHelpCommand, out);
  }
  out << "\nOptions:\n";
  WriteOptionTable(program.global.options, out);
  const std::string footer = Paragraph(program.footer);
  if (!footer.empty()) out << "\n" << footer;
}

void CommandHelp::WriteCommandHelp(const ProgramSpec& program, const CommandSpec& command, std::ostream& out) {
  std::string summary = command.summary;
  if (!summary.empty()) summary[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(summary[0])));
  out << "Usage: " << UsageLine(program, command) << "\n" << summary << ".\n";
  const std::string details = Paragraph(command.details);
  if (!details.empty()) out << "\n" << details;
  std::vector<OptionSpec> options = command.options;
  options.push_back({'h', "help", nullptr, "show this help"});
  out << "\nOptions:\n";
  WriteOptionTable(options, out);
  const std::string footer = Paragraph(program.commandFooter);
  if (!footer.empty()) out << "\n" << footer;
}

int CommandHelp::UsageError(const ProgramSpec& program, const CommandSpec* command, const std::string& message,
                            std::ostream& err) {
  std::string who = program.name;
  if (command != nullptr && command->name[0] != '\0') who += std::string(" ") + command->name;
  err << who << ": " << message << "\n"
      << "Try '" << who << " --help' for more information.\n";
  return kCommandLineUsageStatus;
}

}  // namespace tallimor
