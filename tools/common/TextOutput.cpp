// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Display and JSON forms of stored text for the command-line programs.
#include "tools/common/TextOutput.h"

#include <cstdio>

#include "text/ShownText.h"

namespace tallimor {
namespace {

constexpr char kMemoLineStart[] = "      | ";

std::string JsonQuoted(std::string_view bytes, bool escapeNonAscii) {
  std::string text = "\"";
  for (const char ch : bytes) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      text.push_back('\\');
      text.push_back(ch);
    } else if (c < 0x20 || c == 0x7F || (escapeNonAscii && c > 0x7F)) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      text += escaped;
    } else {
      text.push_back(ch);
    }
  }
  return text + "\"";
}

}  // namespace

std::string JsonUtf8(std::string_view utf8) { return JsonQuoted(utf8, false); }

std::string JsonBytes(std::string_view bytes) { return JsonQuoted(bytes, true); }

void WriteMemoLines(std::string_view utf8, std::ostream& out) {
  std::string line = kMemoLineStart;
  for (const char ch : utf8) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\n') {
      out << line << "\n";
      line = kMemoLineStart;
    } else if ((c < 0x20 && c != '\t') || c == 0x7F) {
      AppendByteEscape(line, c);
    } else {
      line.push_back(ch);
    }
  }
  out << line << "\n";
}

}  // namespace tallimor
