// ArgumentParser: splits the words after a tallimor-handheld command into its options
// and its operands. Options may stand before, between or after the operands; "--" ends
// the options, so a memo text may start with '-'. An option that takes a value is
// written "--name VALUE" or "--name=VALUE".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

namespace tallimor {

struct OptionSpec {
  const char* name;  // with its leading "--"
  bool takesValue;
};

class ArgumentParser {
 public:
  ArgumentParser() = default;

  // Parses `words` against the options in `specs`. False with *error for an unknown
  // option, a missing value, a value given to a flag, or an option given twice.
  bool Parse(const std::vector<std::string>& words, std::initializer_list<OptionSpec> specs, std::string* error);

  bool Has(const std::string& name) const { return options_.count(name) != 0; }
  // The value of an option, or nullptr when it was not given.
  const std::string* Value(const std::string& name) const;
  const std::vector<std::string>& operands() const { return operands_; }

  // True when `words` ask for help: "--help" before any "--".
  static bool WantsHelp(const std::vector<std::string>& words);

  // A memo's unique id: decimal or 0x-prefixed hexadecimal, 1 to 0xFFFFFF.
  static bool ParseRecordId(const std::string& text, std::uint32_t* id);
  // A category index, 0 to 15.
  static bool ParseCategoryIndex(const std::string& text, int* index);
  // A HotSync user id, 0 to 4294967295.
  static bool ParseUserId(const std::string& text, std::uint32_t* id);

 private:
  std::map<std::string, std::string> options_;  // flags map to ""
  std::vector<std::string> operands_;
};

}  // namespace tallimor
