// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Every program's command line as a user meets it first: -h, --help, -V and --version
// answer at once with no display to be had (no DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM), a command's help stays short while the program's help holds
// what every command shares, and the man pages document every option the programs
// accept.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

using testing::ProcessResult;
using testing::Subprocess;

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Runs `program` as a user would where no display can be had.
ProcessResult RunWithoutDisplay(const std::string& program, const std::vector<std::string>& arguments) {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "TALLIMOR_HANDHELD"}) {
    unsetenv(variable);
  }
  return Subprocess::Run(program, arguments);
}

struct Program {
  const char* path;
  const char* name;
};

const Program kPrograms[] = {
    {TALLIMOR_DESKTOP_PROGRAM, "tallimor"},
    {TALLIMOR_HOTSYNC_PROGRAM, "hotsync"},
    {TALLIMOR_HANDHELD_PROGRAM, "tallimor-handheld"},
    {TALLIMOR_DUMP_PROGRAM, "tallimor-dump"},
};

TEST(CliPrograms, HelpAndVersionAnswerWithoutADisplay) {
  for (const Program& program : kPrograms) {
    std::string help;
    for (const char* option : {"-h", "--help"}) {
      const ProcessResult run = RunWithoutDisplay(program.path, {option});
      EXPECT_EQ(run.status, 0) << program.name << " " << option << ": " << run.err;
      EXPECT_EQ(run.out.rfind(std::string("Usage: ") + program.name + " ", 0), 0u) << program.name << run.out;
      EXPECT_EQ(run.err, "") << program.name;
      if (!help.empty()) EXPECT_EQ(run.out, help) << program.name;
      help = run.out;
    }
    for (const char* option : {"-V", "--version"}) {
      const ProcessResult run = RunWithoutDisplay(program.path, {option});
      EXPECT_EQ(run.status, 0) << program.name << " " << option << ": " << run.err;
      EXPECT_EQ(run.out, std::string(program.name) + " " + TALLIMOR_VERSION + "\n");
    }
  }
}

TEST(CliPrograms, CommandHelpIsShortAndTheProgramHelpHoldsWhatCommandsShare) {
  const ProcessResult overview = RunWithoutDisplay(TALLIMOR_HANDHELD_PROGRAM, {"--help"});
  EXPECT_EQ(Count(overview.out, "PASSWORD:"), 1u);
  for (const char* shared : {"TALLIMOR_HANDHELD", "handheld.lock", "Exit status", "standard input"}) {
    EXPECT_NE(overview.out.find(shared), std::string::npos) << shared;
  }
  for (const char* command : {"init", "create-db", "password", "add", "edit", "delete", "private", "move", "show",
                              "list", "category", "import", "export", "databases", "help"}) {
    const ProcessResult help = RunWithoutDisplay(TALLIMOR_HANDHELD_PROGRAM, {command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("Usage: tallimor-handheld --handheld DIR ") + command, 0), 0u) << help.out;
    EXPECT_EQ(Count(help.out, "PASSWORD:"), 0u) << command;
    EXPECT_EQ(Count(help.out, "Exit status"), 0u) << command;
    EXPECT_NE(help.out.find("  -h, --help"), std::string::npos) << command;
    EXPECT_EQ(RunWithoutDisplay(TALLIMOR_HANDHELD_PROGRAM, {"help", command}).out, help.out) << command;
  }
  for (const char* command : {"sync", "configure", "log", "users", "help"}) {
    const ProcessResult help = RunWithoutDisplay(TALLIMOR_HOTSYNC_PROGRAM, {command, "-h"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("Usage: hotsync [--root DIR] ") + command, 0), 0u) << help.out;
    EXPECT_EQ(Count(help.out, "Exit status"), 0u) << command;
    EXPECT_EQ(RunWithoutDisplay(TALLIMOR_HOTSYNC_PROGRAM, {"help", command}).out, help.out) << command;
  }
  // "help --help" is the help command's own help, not an unknown command.
  const ProcessResult helpHelp = RunWithoutDisplay(TALLIMOR_HOTSYNC_PROGRAM, {"help", "--help"});
  EXPECT_EQ(helpHelp.status, 0) << helpHelp.err;
  EXPECT_EQ(helpHelp.out.rfind("Usage: hotsync [--root DIR] help [COMMAND]", 0), 0u) << helpHelp.out;
  EXPECT_EQ(RunWithoutDisplay(TALLIMOR_HOTSYNC_PROGRAM, {"help", "dance"}).status, 2);
}

// The option forms ("-x", "--name") listed in the option tables of a help text.
std::set<std::string> OptionsIn(const std::string& help) {
  static const std::regex kRow(R"(^ {2,6}(?:(-[A-Za-z]), )?(--[a-z][a-z-]*))");
  std::set<std::string> options;
  std::istringstream lines(help);
  for (std::string line; std::getline(lines, line);) {
    std::smatch match;
    if (!std::regex_search(line, match, kRow)) continue;
    if (match[1].matched) options.insert(match[1]);
    options.insert(match[2]);
  }
  return options;
}

// How groff source writes a word with hyphens: "\-\-name\-x".
std::string GroffForm(const std::string& word) {
  std::string escaped;
  for (const char c : word) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
  return escaped;
}

// What groff writes for `arguments` (run in the man page folder).
std::string Groff(const std::string& arguments) {
  const ProcessResult run = Subprocess::Run("/bin/sh", {"-c", "cd '" TALLIMOR_MAN_DIR "' && groff -man " + arguments});
  return run.status < 0 ? "(groff did not start)" : run.out;
}

TEST(CliPrograms, ManPagesDocumentEveryOptionAndCommand) {
  const std::map<std::string, std::vector<std::string>> commands = {
      {"tallimor", {}},
      {"tallimor-dump", {}},
      {"hotsync", {"sync", "configure", "log", "users", "help"}},
      {"tallimor-handheld", {"init", "create-db", "password", "add", "edit", "delete", "private", "move", "show",
                             "list", "category", "import", "export", "databases", "help"}}};
  for (const Program& program : kPrograms) {
    const std::string page = testing::ReadWholeFile(std::string(TALLIMOR_MAN_DIR "/") + program.name + ".1");
    ASSERT_FALSE(page.empty()) << program.name;
    std::set<std::string> options = OptionsIn(RunWithoutDisplay(program.path, {"--help"}).out);
    for (const std::string& command : commands.at(program.name)) {
      EXPECT_NE(page.find(GroffForm(command)), std::string::npos) << program.name << " " << command;
      const std::set<std::string> more = OptionsIn(RunWithoutDisplay(program.path, {command, "--help"}).out);
      options.insert(more.begin(), more.end());
    }
    EXPECT_GE(options.size(), 4u) << program.name;  // at least -h, --help, -V, --version
    for (const std::string& option : options) {
      EXPECT_NE(page.find(GroffForm(option)), std::string::npos) << program.name << "(1) lacks " << option;
    }
    if (access("/usr/bin/groff", X_OK) == 0) {
      EXPECT_EQ(Groff(std::string("-ww -z ") + program.name + ".1 2>&1"), "") << program.name;
    }
  }
  // Each command's tag of hotsync(1) renders whole on its own line, its options with it.
  if (access("/usr/bin/groff", X_OK) == 0) {
    const std::string shown = Groff("-Tascii -P -cbou hotsync.1");
    for (const char* tag : {"\n       sync [-H|--handheld DIR] [-a|--action ACTION] [--allow-mass-delete]\n",
                            "\n       configure [-a|--action ACTION [--default]] [-u|--user NAME]\n",
                            "\n       log [-u|--user NAME]\n", "\n       help [COMMAND]\n"}) {
      EXPECT_NE(shown.find(tag), std::string::npos) << tag;
    }
  }
  // What both handheld programs share is in both pages.
  for (const char* name : {"hotsync", "tallimor-handheld"}) {
    const std::string page = testing::ReadWholeFile(std::string(TALLIMOR_MAN_DIR "/") + name + ".1");
    for (const char* shared : {"TALLIMOR_HANDHELD", "handheld.lock"}) {
      EXPECT_NE(page.find(shared), std::string::npos) << name << " " << shared;
    }
  }
}

}  // namespace
}  // namespace tallimor
