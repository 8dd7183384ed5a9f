// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The one decode-and-show step for stored text that may not be valid code page 932.
#include "text/ShownText.h"

#include "text/CodePage932.h"

namespace tallimor {

void AppendByteEscape(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void DecodeCp932Runs(std::string_view cp932, const std::function<void(std::string_view utf8)>& decoded,
                     const std::function<void(unsigned char byte)>& undecodable) {
  while (!cp932.empty()) {
    const Converted<std::string> whole = CodePage932::ToUtf8(cp932);
    if (whole.ok()) {
      decoded(whole.text);
      return;
    }
    // Everything before the error offset decodes by definition; the byte at it is
    // the one that starts no character.
    const std::size_t good = whole.errorOffset < cp932.size() ? whole.errorOffset : cp932.size() - 1;
    if (good > 0) decoded(CodePage932::ToUtf8(cp932.substr(0, good)).text);
    undecodable(static_cast<unsigned char>(cp932[good]));
    cp932.remove_prefix(good + 1);
  }
}

std::string ShowCp932AsUtf8(std::string_view cp932, ControlCharacters controls, std::size_t* undecodable) {
  std::string out;
  out.reserve(cp932.size());
  DecodeCp932Runs(
      cp932,
      [&](std::string_view utf8) {
        if (controls == ControlCharacters::kKeep) {
          out += utf8;
          return;
        }
        for (const char ch : utf8) {
          const auto b = static_cast<unsigned char>(ch);
          if (b < 0x20 || b == 0x7F) {
            AppendByteEscape(out, b);
          } else {
            out += ch;
          }
        }
      },
      [&](unsigned char byte) {
        AppendByteEscape(out, byte);
        if (undecodable != nullptr) ++*undecodable;
      });
  return out;
}

}  // namespace tallimor
