// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a command line against its declaration. Every usage error is found here, from
// the declaration, so that no command checks its own option syntax.
#include "cli/CommandLine.h"

namespace tallimor {
namespace {

const OptionSpec kImplicitHelp{'h', "help", nullptr, ""};

std::string LongForm(const OptionSpec& option) { return std::string("--") + option.longName; }

bool Contains(const std::vector<std::string>& words, const char* shortForm, const char* longForm) {
  for (const std::string& word : words) {
    if (word == "--") return false;
    if (word == shortForm || word == longForm) return true;
  }
  return false;
}

}  // namespace

const std::string* CommandLine::Value(std::string_view longName) const {
  const auto found = values_.find(longName);
  return found == values_.end() ? nullptr : &found->second;
}

bool CommandLine::AsksForHelp(const std::vector<std::string>& words) { return Contains(words, "-h", "--help"); }

bool CommandLine::AsksForVersion(const std::vector<std::string>& words) {
  return Contains(words, "-V", "--version");
}

bool CommandLine::Take(const OptionSpec& option, std::string value, std::string* error) {
  if (values_.count(option.longName) != 0) {
    *error = "option '" + LongForm(option) + "' is given twice";
    return false;
  }
  if (option.valueName != nullptr && value.empty() && !option.emptyAllowed) {
    *error = "option '" + LongForm(option) + "' needs a value that is not empty (" + option.valueName + ")";
    return false;
  }
  values_.emplace(option.longName, std::move(value));
  return true;
}

bool CommandLine::TakeWithValue(const OptionSpec& option, bool hasAttached, const std::string& attached,
                                const std::vector<std::string>& words, std::size_t* at, std::string* error) {
  if (option.valueName == nullptr) return Take(option, "", error);
  if (hasAttached) return Take(option, attached, error);
  if (*at + 1 < words.size()) return Take(option, words[++*at], error);
  *error = "option '" + LongForm(option) + "' needs a value (" + option.valueName + ")";
  return false;
}

bool CommandLine::Parse(const CommandSpec& spec, const std::vector<std::string>& words, Mode mode,
                        std::string* error) {
  values_.clear();
  arguments_.clear();
  rest_.clear();
  auto findLong = [&spec](std::string_view name) -> const OptionSpec* {
    for (const OptionSpec& option : spec.options) {
      if (name == option.longName) return &option;
    }
    return name == kImplicitHelp.longName ? &kImplicitHelp : nullptr;
  };
  auto findShort = [&spec](char letter) -> const OptionSpec* {
    for (const OptionSpec& option : spec.options) {
      if (option.shortName != '\0' && letter == option.shortName) return &option;
    }
    return letter == kImplicitHelp.shortName ? &kImplicitHelp : nullptr;
  };

  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (!optionsEnded && word == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      arguments_.push_back(word);
      if (mode == Mode::kStopAtFirstArgument) {
        rest_.assign(words.begin() + static_cast<std::ptrdiff_t>(i) + 1, words.end());
        break;
      }
      continue;
    }
    if (word[1] == '-') {
      const std::size_t equals = word.find('=');
      const std::string name = word.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
      const OptionSpec* option = findLong(name);
      if (option == nullptr) {
        *error = "unknown option '--" + name + "'";
        return false;
      }
      if (option->valueName == nullptr && equals != std::string::npos) {
        *error = "option '" + LongForm(*option) + "' takes no value";
        return false;
      }
      const std::string attached = equals == std::string::npos ? "" : word.substr(equals + 1);
      if (!TakeWithValue(*option, equals != std::string::npos, attached, words, &i, error)) return false;
      continue;
    }
    // One or more short options in one word; one that takes a value takes the rest.
    for (std::size_t at = 1; at < word.size(); ++at) {
      const OptionSpec* option = findShort(word[at]);
      if (option == nullptr) {
        *error = std::string("unknown option '-") + word[at] + "'";
        return false;
      }
      if (option->valueName == nullptr) {
        if (!Take(*option, "", error)) return false;
        continue;
      }
      if (!TakeWithValue(*option, at + 1 < word.size(), word.substr(at + 1), words, &i, error)) return false;
      break;
    }
  }

  for (const OptionSpec& option : spec.options) {
    if (option.required && !Has(option.longName)) {
      *error = LongForm(option) + (option.valueName != nullptr ? std::string(" ") + option.valueName : "") +
               " is required";
      return false;
    }
  }
  std::size_t required = 0;
  bool unbounded = false;
  for (const ArgumentSpec& argument : spec.arguments) {
    if (!argument.optional) ++required;
    if (argument.repeated) unbounded = true;
  }
  if (arguments_.size() < required) {
    *error = std::string("missing ") + spec.arguments[arguments_.size()].name;
    return false;
  }
  if (mode == Mode::kOptionsAnywhere && !unbounded && arguments_.size() > spec.arguments.size()) {
    *error = "unexpected argument '" + arguments_[spec.arguments.size()] + "'" +
             (spec.arguments.empty() ? "" : " (quote an argument that holds spaces)");
    return false;
  }
  return true;
}

}  // namespace tallimor
