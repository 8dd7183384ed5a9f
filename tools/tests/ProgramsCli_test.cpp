// Every program's command line as a user meets it first: -h, --help, -V and --version
// answer at once with no display to be had (no DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM), and a command's help stays short while the program's help holds
// what every command shares.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace tallimor {
namespace {

struct ProgramRun {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Runs `program` in an environment without any display, standard input /dev/null.
ProgramRun RunWithoutDisplay(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM" && name != "TALLIMOR_HANDHELD") {
      environment.push_back(entry);
    }
  }
  const std::string dir = ::testing::TempDir();
  const std::string outPath = dir + "cli-out-" + std::to_string(getpid());
  const std::string errPath = dir + "cli-err-" + std::to_string(getpid());
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);
  ProgramRun run;
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = Slurp(outPath);
  run.err = Slurp(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return run;
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
      const ProgramRun run = RunWithoutDisplay(program.path, {option});
      EXPECT_EQ(run.status, 0) << program.name << " " << option << ": " << run.err;
      EXPECT_EQ(run.out.rfind(std::string("Usage: ") + program.name + " ", 0), 0u) << program.name << run.out;
      EXPECT_EQ(run.err, "") << program.name;
      if (!help.empty()) EXPECT_EQ(run.out, help) << program.name;
      help = run.out;
    }
    for (const char* option : {"-V", "--version"}) {
      const ProgramRun run = RunWithoutDisplay(program.path, {option});
      EXPECT_EQ(run.status, 0) << program.name << " " << option << ": " << run.err;
      EXPECT_EQ(run.out, std::string(program.name) + " " + TALLIMOR_VERSION + "\n");
    }
  }
}

TEST(CliPrograms, CommandHelpIsShortAndTheProgramHelpHoldsWhatCommandsShare) {
  const ProgramRun overview = RunWithoutDisplay(TALLIMOR_HANDHELD_PROGRAM, {"--help"});
  EXPECT_EQ(Count(overview.out, "PASSWORD:"), 1u);
  for (const char* shared : {"TALLIMOR_HANDHELD", "handheld.lock", "Exit status", "standard input"}) {
    EXPECT_NE(overview.out.find(shared), std::string::npos) << shared;
  }
  for (const char* command : {"init", "create-db", "password", "add", "edit", "delete", "private", "move", "show",
                              "list", "category", "import", "export", "databases", "help"}) {
    const ProgramRun help = RunWithoutDisplay(TALLIMOR_HANDHELD_PROGRAM, {command, "--help"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("Usage: tallimor-handheld --handheld DIR ") + command, 0), 0u) << help.out;
    EXPECT_EQ(Count(help.out, "PASSWORD:"), 0u) << command;
    EXPECT_EQ(Count(help.out, "Exit status"), 0u) << command;
    EXPECT_NE(help.out.find("  -h, --help"), std::string::npos) << command;
    EXPECT_EQ(RunWithoutDisplay(TALLIMOR_HANDHELD_PROGRAM, {"help", command}).out, help.out) << command;
  }
  for (const char* command : {"sync", "configure", "log", "users", "help"}) {
    const ProgramRun help = RunWithoutDisplay(TALLIMOR_HOTSYNC_PROGRAM, {command, "-h"});
    EXPECT_EQ(help.status, 0) << command;
    EXPECT_EQ(help.out.rfind(std::string("Usage: hotsync [--root DIR] ") + command, 0), 0u) << help.out;
    EXPECT_EQ(Count(help.out, "Exit status"), 0u) << command;
    EXPECT_EQ(RunWithoutDisplay(TALLIMOR_HOTSYNC_PROGRAM, {"help", command}).out, help.out) << command;
  }
  // "help --help" is the help command's own help, not an unknown command.
  const ProgramRun helpHelp = RunWithoutDisplay(TALLIMOR_HOTSYNC_PROGRAM, {"help", "--help"});
  EXPECT_EQ(helpHelp.status, 0) << helpHelp.err;
  EXPECT_EQ(helpHelp.out.rfind("Usage: hotsync [--root DIR] help [COMMAND]", 0), 0u) << helpHelp.out;
  EXPECT_EQ(RunWithoutDisplay(TALLIMOR_HOTSYNC_PROGRAM, {"help", "dance"}).status, 2);
}

}  // namespace
}  // namespace tallimor
