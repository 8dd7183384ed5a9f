// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CommandLine: the words of one command line read against a CommandSpec, the way
// getopt_long reads them: "-x", "-xVALUE", "-x VALUE", bundled flags ("-jp"),
// "--name", "--name=VALUE", "--name VALUE"; "--" ends the options, and a lone "-" is an
// argument (it stands for standard input where a command says so).
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "cli/CommandSpec.h"

namespace tallimor {

class CommandLine {
 public:
  enum class Mode {
    kOptionsAnywhere,      // options may stand before, between and after the arguments
    kStopAtFirstArgument,  // the first argument ends the options; the words after it are rest()
  };

  CommandLine() = default;

  // Reads `words` against `spec`. False with *error, a sentence that names what is
  // wrong, for an unknown option, a missing or empty value, a value given to a flag, an
  // option given twice, a required option left out, or too few or too many arguments
  // (kStopAtFirstArgument checks only that the required arguments are there).
  bool Parse(const CommandSpec& spec, const std::vector<std::string>& words, Mode mode, std::string* error);

  // Whether the option of that long name was given, and its value (nullptr when not).
  bool Has(std::string_view longName) const { return values_.find(longName) != values_.end(); }
  const std::string* Value(std::string_view longName) const;
  const std::vector<std::string>& arguments() const { return arguments_; }
  // kStopAtFirstArgument: the words after the first argument, untouched.
  const std::vector<std::string>& rest() const { return rest_; }

  // True when `words` hold "-h" or "--help" before any "--": help is shown even when
  // the rest of the command line is wrong.
  static bool AsksForHelp(const std::vector<std::string>& words);
  // The same for "-V" and "--version".
  static bool AsksForVersion(const std::vector<std::string>& words);

 private:
  bool Take(const OptionSpec& option, std::string value, std::string* error);
  // Takes `option` with the value written in its word ("--name=VALUE", "-xVALUE") when
  // `hasAttached`, else with the next word, which *at then moves past.
  bool TakeWithValue(const OptionSpec& option, bool hasAttached, const std::string& attached,
                     const std::vector<std::string>& words, std::size_t* at, std::string* error);

  std::map<std::string, std::string, std::less<>> values_;  // by long name; flags map to ""
  std::vector<std::string> arguments_;
  std::vector<std::string> rest_;
};

}  // namespace tallimor
