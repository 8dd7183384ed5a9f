// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Text typed on a command line or a terminal, taken at the program's edge: it is UTF-8
// and becomes the code page 932 bytes that every stored text is, or is refused with a
// message that says which character could not be taken and where.
#pragma once

#include <string>
#include <string_view>

namespace tallimor {

class ArgumentText {
 public:
  ArgumentText() = delete;

  // `utf8` as code page 932 bytes in *cp932. False with *error when it is not UTF-8 or
  // holds a character code page 932 has none for; `what` names the text in the
  // message ("the memo text", "the user name").
  static bool ToCp932(std::string_view utf8, const std::string& what, std::string* cp932, std::string* error);
};

}  // namespace tallimor
