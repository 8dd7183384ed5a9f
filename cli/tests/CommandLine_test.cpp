// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The shared command-line reader and help writer on declarations made for the test:
// the option forms a getopt_long user expects, every usage error a declaration implies,
// and help texts that list exactly what the parser accepts.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/CommandHelp.h"
#include "cli/CommandLine.h"
#include "cli/Invocation.h"

namespace tallimor {
namespace {

const CommandSpec kAdd{"add",
                       "add a memo",
                       "Adds a memo.\n",
                       {{'c', "category", "INDEX", "the category"},
                        {'p', "private", nullptr, "make it private"},
                        {'j', "json", nullptr, "print JSON"},
                        {'\0', "hint", "TEXT", "a hint that may be empty", false, true},
                        {'u', "user", "NAME", "the user", true}},
                       {{"TEXT"}, {"MORE", true}}};

struct Parsed {
  bool ok = false;
  std::string error;
  CommandLine line;
};

Parsed Parse(const std::vector<std::string>& words, const CommandSpec& spec = kAdd,
             CommandLine::Mode mode = CommandLine::Mode::kOptionsAnywhere) {
  Parsed parsed;
  parsed.ok = parsed.line.Parse(spec, words, mode, &parsed.error);
  return parsed;
}

TEST(CliParse, ShortAndLongFormsInEveryPlaceGetoptAllows) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"-u", "taro", "-c", "3", "-pj", "text"},
           {"text", "--user=taro", "--category", "3", "--private", "--json"},
           {"-utaro", "-pjc3", "text"},
           {"--user", "taro", "text", "-c3", "-j", "-p"}}) {
    const Parsed p = Parse(words);
    ASSERT_TRUE(p.ok) << p.error << " for " << ::testing::PrintToString(words);
    EXPECT_EQ(*p.line.Value("user"), "taro");
    EXPECT_EQ(*p.line.Value("category"), "3");
    EXPECT_TRUE(p.line.Has("private") && p.line.Has("json"));
    EXPECT_EQ(p.line.arguments(), std::vector<std::string>{"text"});
  }
  // "--" ends the options; "-" is an argument; a value may start with '-'.
  const Parsed p = Parse({"-u", "-x-", "-", "--", "-p"});
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(*p.line.Value("user"), "-x-");
  EXPECT_EQ(p.line.arguments(), (std::vector<std::string>{"-", "-p"}));
  EXPECT_FALSE(p.line.Has("private"));
  // An empty value where the declaration allows one.
  const Parsed empty = Parse({"-u", "t", "--hint=", "x"});
  ASSERT_TRUE(empty.ok) << empty.error;
  EXPECT_EQ(*empty.line.Value("hint"), "");
}

TEST(CliParse, EveryMistakeIsNamed) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
      {{"-u", "t", "-x", "text"}, "unknown option '-x'"},
      {{"-u", "t", "--colour", "text"}, "unknown option '--colour'"},
      {{"-u", "t", "-pz", "text"}, "unknown option '-z'"},
      {{"-u", "t", "text", "-c"}, "option '--category' needs a value (INDEX)"},
      {{"-u", "t", "text", "--json=yes"}, "option '--json' takes no value"},
      {{"-u", "t", "-p", "text", "--private"}, "option '--private' is given twice"},
      {{"-u", "t", "-c", "1", "text", "--category=2"}, "option '--category' is given twice"},
      {{"--user=", "text"}, "option '--user' needs a value that is not empty (NAME)"},
      {{"-u", "", "text"}, "option '--user' needs a value that is not empty (NAME)"},
      {{"text"}, "--user NAME is required"},
      {{"-u", "t"}, "missing TEXT"},
      {{"-u", "t", "a", "b", "c"}, "unexpected argument 'c' (quote an argument that holds spaces)"},
  };
  for (const auto& [words, message] : mistakes) {
    const Parsed p = Parse(words);
    EXPECT_FALSE(p.ok) << ::testing::PrintToString(words);
    EXPECT_EQ(p.error, message) << ::testing::PrintToString(words);
  }
}

TEST(CliParse, StoppingAtTheFirstArgumentLeavesTheRestUntouched) {
  const CommandSpec global{"", "", "", {{'r', "root", "DIR", "the root"}, kHelpOption}, {}};
  const Parsed p = Parse({"-r", "/x", "sync", "--bogus", "-r", "y"}, global, CommandLine::Mode::kStopAtFirstArgument);
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(*p.line.Value("root"), "/x");
  EXPECT_EQ(p.line.arguments(), std::vector<std::string>{"sync"});
  EXPECT_EQ(p.line.rest(), (std::vector<std::string>{"--bogus", "-r", "y"}));
  // Help is found before "--" only.
  EXPECT_TRUE(CommandLine::AsksForHelp({"x", "-h"}));
  EXPECT_TRUE(CommandLine::AsksForHelp({"--help", "--bogus"}));
  EXPECT_FALSE(CommandLine::AsksForHelp({"--", "-h"}));
  EXPECT_TRUE(CommandLine::AsksForVersion({"-V"}));
}

const CommandSpec kSync{"sync", "run it", "", {{'H', "handheld", "DIR", "the handheld"}}, {}};
const ProgramSpec kProgram{"prog",
                           "9.8.7",
                           "Does things.\n",
                           {"", "", "", {{'r', "root", "DIR", "the root\nsecond line"}, kHelpOption, kVersionOption},
                            {}, "[--root DIR] COMMAND"},
                           {&kAdd, &kSync},
                           "prog [--root DIR]",
                           "Exit status: 0 or not.\n",
                           "See 'prog --help'."};

struct ReadRun {
  bool proceed = false;
  int status = -1;
  std::string out;
  std::string err;
  Invocation invocation;
};

ReadRun Read(const std::vector<std::string>& words) {
  ReadRun run;
  std::ostringstream out, err;
  run.proceed = run.invocation.Read(kProgram, words, out, err, &run.status);
  run.out = out.str();
  run.err = err.str();
  return run;
}

TEST(CliHelp, ProgramAndCommandHelpComeFromTheDeclarations) {
  const std::string help = Read({"--help"}).out;
  EXPECT_EQ(help,
            "Usage: prog [--root DIR] COMMAND\n"
            "Does things.\n"
            "\n"
            "Commands:\n"
            "  add [--category INDEX] [--private] [--json] [--hint TEXT] --user NAME TEXT [MORE]\n"
            "                                        add a memo\n"
            "  sync [--handheld DIR]                 run it\n"
            "  help [COMMAND]                        show the help, or the help of COMMAND\n"
            "\n"
            "Options:\n"
            "  -r, --root DIR  the root\n"
            "                  second line\n"
            "  -h, --help      show this help and exit\n"
            "  -V, --version   show the version and exit\n"
            "\n"
            "Exit status: 0 or not.\n");
  for (const std::vector<std::string>& words :
       std::vector<std::vector<std::string>>{{"-h"}, {"help"}, {"-r", "x", "-h", "sync"}, {"--bogus", "--help"}}) {
    const ReadRun run = Read(words);
    EXPECT_FALSE(run.proceed);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, help) << ::testing::PrintToString(words);
  }
  const std::string sync =
      "Usage: prog [--root DIR] sync [--handheld DIR]\n"
      "Run it.\n"
      "\n"
      "Options:\n"
      "  -H, --handheld DIR  the handheld\n"
      "  -h, --help          show this help\n"
      "\n"
      "See 'prog --help'.\n";
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"sync", "--help"}, {"sync", "-h"}, {"help", "sync"}, {"sync", "--bogus", "-h"}}) {
    const ReadRun run = Read(words);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, sync) << ::testing::PrintToString(words);
  }
  EXPECT_EQ(Read({"help", "--help"}).out.rfind("Usage: prog [--root DIR] help [COMMAND]\n", 0), 0u);
  EXPECT_EQ(Read({"-V"}).out, "prog 9.8.7\n");
  EXPECT_EQ(Read({"--version"}).out, "prog 9.8.7\n");
}

TEST(CliHelp, UsageErrorsPointToTheRightHelp) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> mistakes = {
      {{}, "prog: no command given\nTry 'prog --help' for more information.\n"},
      {{"dance"}, "prog: unknown command 'dance'\nTry 'prog --help' for more information.\n"},
      {{"--root"}, "prog: option '--root' needs a value (DIR)\nTry 'prog --help' for more information.\n"},
      {{"help", "dance"}, "prog: unknown command 'dance'\nTry 'prog --help' for more information.\n"},
      {{"sync", "x"}, "prog sync: unexpected argument 'x'\nTry 'prog sync --help' for more information.\n"},
      {{"add", "-u", "t"}, "prog add: missing TEXT\nTry 'prog add --help' for more information.\n"},
  };
  for (const auto& [words, message] : mistakes) {
    const ReadRun run = Read(words);
    EXPECT_FALSE(run.proceed);
    EXPECT_EQ(run.status, kCommandLineUsageStatus) << ::testing::PrintToString(words);
    EXPECT_EQ(run.err, message);
    EXPECT_EQ(run.out, "");
  }
  const ReadRun run = Read({"-r", "/root", "sync", "-H", "/hh"});
  ASSERT_TRUE(run.proceed) << run.err;
  EXPECT_EQ(run.invocation.command(), &kSync);
  EXPECT_EQ(*run.invocation.global().Value("root"), "/root");
  EXPECT_EQ(*run.invocation.parsed().Value("handheld"), "/hh");
}

}  // namespace
}  // namespace tallimor
