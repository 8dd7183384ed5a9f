// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CodePage932: strict conversion between Unicode (UTF-8 or UTF-16) and code page 932
// (Windows-31J), the byte encoding of every stored text: memos, category names, the
// hint and the password bytes. It agrees with glibc's iconv "CP932" code for code, but
// never substitutes: text it cannot convert is reported with its position.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tallimor {

// Why a conversion stopped.
enum class TextError {
  kNone = 0,
  kInvalidInput,      // the input is not well-formed: bad UTF-8, a lone surrogate, or
                      // bytes that are no code of code page 932 (or a cut-off lead byte)
  kUnrepresentable,   // a valid Unicode character that code page 932 has no code for
};

// The outcome of a conversion: the whole converted text, or an error and where it is.
template <typename Text>
struct Converted {
  Text text;                        // empty when the conversion failed
  TextError error = TextError::kNone;
  std::size_t errorOffset = 0;      // first input unit (byte, or UTF-16 unit) not converted
  char32_t errorCharacter = 0;      // the character, for kUnrepresentable

  bool ok() const { return error == TextError::kNone; }
};

class CodePage932 {
 public:
  CodePage932() = delete;

  // Code page 932 bytes to Unicode. NUL bytes are converted like any other character.
  static Converted<std::string> ToUtf8(std::string_view bytes);
  static Converted<std::u16string> ToUtf16(std::string_view bytes);

  // Unicode to code page 932 bytes. Where the code page has two codes for a character
  // (NEC and IBM extensions), the one iconv chooses is taken.
  static Converted<std::string> FromUtf8(std::string_view utf8);
  static Converted<std::string> FromUtf16(std::u16string_view utf16);

  // Reads the character at `at` (REQUIRES: at < bytes.size()) into *character and
  // returns its length in bytes, 1 or 2; 0, leaving *character alone, when the bytes
  // there are no code. For readers that step over what they cannot read.
  static std::size_t ReadCharacter(std::string_view bytes, std::size_t at, char32_t* character);

  // True for a byte that starts a double-byte code (0x81-0x9F, 0xE0-0xFC). Callers that
  // cut text at a byte limit use it to avoid splitting a character.
  static bool IsLeadByte(unsigned char byte);

  // Plain English for an error, for logs and command-line programs.
  static const char* ErrorMeaning(TextError error);
};

}  // namespace tallimor
