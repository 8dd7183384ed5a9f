// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The declaration of a command line as data: a program's own options and its commands,
// each with its options (short and long forms, whether they take a value) and its
// positional arguments. CommandLine parses against it and CommandHelp writes every help
// text and usage error from it, so what a program accepts and what it says it accepts
// come from the same rows.
#pragma once

#include <string>
#include <vector>

namespace tallimor {

// Exit status of a wrong command line, the same in every program.
inline constexpr int kCommandLineUsageStatus = 2;

struct OptionSpec {
  char shortName;            // the letter of "-x"; '\0' when the option has no short form
  const char* longName;      // the name of "--name", without the dashes
  const char* valueName;     // what the value is ("DIR"); nullptr for a flag
  const char* help;          // for the option table; may hold line breaks
  bool required = false;     // a command line without it is a usage error
  bool emptyAllowed = false; // an empty value is accepted (otherwise refused)
};

struct ArgumentSpec {
  const char* name;       // as the usage line shows it ("FILE")
  bool optional = false;  // may be left out (only after the required ones)
  bool repeated = false;  // takes every remaining argument (the last one only)
};

// One command, or a program that has no commands. Every command also takes -h and
// --help, which show its help.
struct CommandSpec {
  const char* name;      // the word that selects the command; "" for the program itself
  const char* summary;   // one line for the overview, starting in lower case
  const char* details;   // the paragraphs of its help after the usage line; may be ""
  std::vector<OptionSpec> options;
  std::vector<ArgumentSpec> arguments;
  // The usage line's words after the name when they cannot be derived from the
  // options and arguments (alternatives, sub-commands); nullptr to derive them.
  const char* synopsis = nullptr;
};

// The options every program has among its own.
inline const OptionSpec kHelpOption{'h', "help", nullptr, "show this help and exit"};
inline const OptionSpec kVersionOption{'V', "version", nullptr, "show the version and exit"};

// A program: its own options (which come before the command), its commands, and the
// texts of its help.
struct ProgramSpec {
  const char* name;           // "hotsync"
  const char* version;
  const char* description;    // the paragraph after the usage lines of the help
  CommandSpec global;         // the program's own options; for a program without
                              // commands also its arguments
  std::vector<const CommandSpec*> commands;  // empty for a program without commands
  const char* commandPrefix;  // what stands before a command's name in its usage line
  const char* footer;         // the end of the program's help (environment, exit status)
  const char* commandFooter;  // the last line of each command's help; may be ""
};

}  // namespace tallimor
