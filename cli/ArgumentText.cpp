// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Conversion of typed text with a message a user can act on: the character and the
// byte where conversion stopped, and the rule that texts are UTF-8 stored as code page
// 932. Nothing is ever replaced or dropped to make a text fit.
#include "cli/ArgumentText.h"

#include <cstdio>

#include "text/CodePage932.h"

namespace tallimor {

bool ArgumentText::ToCp932(std::string_view utf8, const std::string& what, std::string* cp932, std::string* error) {
  Converted<std::string> converted = CodePage932::FromUtf8(utf8);
  if (converted.ok()) {
    *cp932 = std::move(converted.text);
    return true;
  }
  std::string where = "at byte " + std::to_string(converted.errorOffset);
  if (converted.error == TextError::kUnrepresentable) {
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(converted.errorCharacter));
    where = std::string("character ") + code + " " + where;
  }
  *error = what + " cannot be taken: " + CodePage932::ErrorMeaning(converted.error) + " (" + where +
           "); texts are read as UTF-8 and stored in code page 932";
  return false;
}

}  // namespace tallimor
