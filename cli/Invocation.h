// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Invocation: a program's whole command line read against its ProgramSpec: the
// program's own options, the command chosen and that command's options and arguments.
// Help (-h, --help, help [COMMAND]), the version (-V, --version) and usage errors are
// answered here, the same way in every program.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "cli/CommandLine.h"
#include "cli/CommandSpec.h"

namespace tallimor {

class Invocation {
 public:
  // Reads `words` (the arguments after the program name). True when the program is to
  // run: global() holds its own options and, for a program with commands, command()
  // the chosen one (a pointer into program.commands) and parsed() its command line;
  // for a program without commands parsed() is the program's whole command line.
  // False with *status when it is done already: the help or the version written to
  // `out` (status 0), or a usage error to `err` (kCommandLineUsageStatus).
  bool Read(const ProgramSpec& program, const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
            int* status);

  const CommandLine& global() const { return global_; }
  const CommandSpec* command() const { return command_; }
  const CommandLine& parsed() const { return parsed_; }

  // For a program's table of command records (each with a `spec`): the declarations
  // for its ProgramSpec, and the record of the command Read chose (nullptr for none).
  template <typename Record, std::size_t N>
  static std::vector<const CommandSpec*> SpecsOf(const Record* const (&records)[N]) {
    std::vector<const CommandSpec*> specs;
    for (const Record* record : records) specs.push_back(&record->spec);
    return specs;
  }
  template <typename Record, std::size_t N>
  const Record* Chosen(const Record* const (&records)[N]) const {
    for (const Record* record : records) {
      if (&record->spec == command_) return record;
    }
    return nullptr;
  }

 private:
  CommandLine global_;
  const CommandSpec* command_ = nullptr;
  CommandLine parsed_;
};

}  // namespace tallimor
