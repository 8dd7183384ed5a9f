// Option and operand splitting, and the number forms the commands accept.
#include "tools/tallimor-handheld/ArgumentParser.h"

namespace tallimor {
namespace {

// An unsigned number in decimal, or in hexadecimal after "0x"; no sign, no spaces.
bool ParseUnsigned(const std::string& text, bool allowHex, std::uint64_t limit, std::uint64_t* value) {
  std::size_t start = 0;
  int base = 10;
  if (allowHex && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    start = 2;
    base = 16;
  }
  if (start >= text.size() || text.size() - start > 20) return false;
  std::uint64_t result = 0;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    result = result * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    if (result > limit) return false;
  }
  *value = result;
  return true;
}

}  // namespace

bool ArgumentParser::Parse(const std::vector<std::string>& words, std::initializer_list<OptionSpec> specs,
                           std::string* error) {
  options_.clear();
  operands_.clear();
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      operands_.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& candidate : specs) {
      if (name == candidate.name) spec = &candidate;
    }
    if (spec == nullptr) {
      *error = "unknown option '" + name + "'";
      return false;
    }
    if (options_.count(name) != 0) {
      *error = "option '" + name + "' is given twice";
      return false;
    }
    std::string value;
    if (spec->takesValue) {
      if (equals != std::string::npos) {
        value = word.substr(equals + 1);
      } else if (i + 1 < words.size()) {
        value = words[++i];
      } else {
        *error = "option '" + name + "' needs a value";
        return false;
      }
    } else if (equals != std::string::npos) {
      *error = "option '" + name + "' takes no value";
      return false;
    }
    options_.emplace(name, std::move(value));
  }
  return true;
}

const std::string* ArgumentParser::Value(const std::string& name) const {
  const auto found = options_.find(name);
  return found == options_.end() ? nullptr : &found->second;
}

bool ArgumentParser::WantsHelp(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word == "--") return false;
    if (word == "--help") return true;
  }
  return false;
}

bool ArgumentParser::ParseRecordId(const std::string& text, std::uint32_t* id) {
  std::uint64_t value = 0;
  if (!ParseUnsigned(text, true, 0xFFFFFF, &value) || value == 0) return false;
  *id = static_cast<std::uint32_t>(value);
  return true;
}

bool ArgumentParser::ParseCategoryIndex(const std::string& text, int* index) {
  std::uint64_t value = 0;
  if (!ParseUnsigned(text, false, 15, &value)) return false;
  *index = static_cast<int>(value);
  return true;
}

bool ArgumentParser::ParseUserId(const std::string& text, std::uint32_t* id) {
  std::uint64_t value = 0;
  if (!ParseUnsigned(text, false, 0xFFFFFFFFu, &value)) return false;
  *id = static_cast<std::uint32_t>(value);
  return true;
}

}  // namespace tallimor
