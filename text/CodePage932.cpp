// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Strict code page 932 conversion. Decoding computes the single-byte half (ASCII and
// half-width katakana) and looks double-byte codes up in the generated table; encoding
// uses a per-character table built once from the same data: the lowest code of each
// character, then the generated overrides where iconv chooses otherwise.
#include "text/CodePage932.h"

#include <array>
#include <cstdint>

#include "text/CodePage932Table.h"

namespace tallimor {

namespace {

constexpr char32_t kHalfWidthKatakana = 0xFF61;  // the character of byte 0xA1

// A character read from the input: its length in input units, 0 when there is none.
struct Read {
  char32_t character;
  std::size_t length;
};
constexpr Read kInvalid = {0, 0};

int LeadIndex(unsigned char byte) {
  if (byte >= 0x81 && byte <= 0x9F) return byte - 0x81;
  if (byte >= 0xE0 && byte <= 0xFC) return byte - 0xE0 + 31;
  return -1;
}

int TrailIndex(unsigned char byte) {
  if (byte >= 0x40 && byte <= 0x7E) return byte - 0x40;
  if (byte >= 0x80 && byte <= 0xFC) return byte - 0x80 + 63;
  return -1;
}

Read ReadCp932(std::string_view bytes, std::size_t at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  if (lead < 0x80) return {lead, 1};
  if (lead >= 0xA1 && lead <= 0xDF) return {kHalfWidthKatakana + (lead - 0xA1u), 1};
  const int row = LeadIndex(lead);
  if (row < 0 || at + 1 >= bytes.size()) return kInvalid;
  const int column = TrailIndex(static_cast<unsigned char>(bytes[at + 1]));
  if (column < 0) return kInvalid;
  const std::uint16_t character = kCp932DoubleByte[row][column];
  if (character == 0) return kInvalid;
  return {character, 2};
}

Read ReadUtf8(std::string_view text, std::size_t at) {
  const auto first = static_cast<unsigned char>(text[at]);
  if (first < 0x80) return {first, 1};
  std::size_t extra;
  char32_t character;
  if (first >= 0xC2 && first <= 0xDF) {
    extra = 1;
    character = first & 0x1Fu;
  } else if (first >= 0xE0 && first <= 0xEF) {
    extra = 2;
    character = first & 0x0Fu;
  } else if (first >= 0xF0 && first <= 0xF4) {
    extra = 3;
    character = first & 0x07u;
  } else {
    return kInvalid;  // a continuation byte, or a lead byte that only overlong forms use
  }
  if (text.size() - at <= extra) return kInvalid;
  for (std::size_t i = 1; i <= extra; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return kInvalid;
    character = character << 6 | (next & 0x3Fu);
  }
  constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
  if (character < kShortest[extra] || character > 0x10FFFF ||
      (character >= 0xD800 && character <= 0xDFFF)) {
    return kInvalid;
  }
  return {character, extra + 1};
}

Read ReadUtf16(std::u16string_view text, std::size_t at) {
  const char16_t unit = text[at];
  if (unit < 0xD800 || unit > 0xDFFF) return {unit, 1};
  if (unit >= 0xDC00 || at + 1 >= text.size()) return kInvalid;
  const char16_t low = text[at + 1];
  if (low < 0xDC00 || low > 0xDFFF) return kInvalid;
  return {0x10000 + ((unit - 0xD800u) << 10) + (low - 0xDC00u), 2};
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out += static_cast<char16_t>(c);
  } else {
    out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  }
}

// Code page 932 code of every BMP character; kNoCode where there is none (0xFFFF
// cannot be a code: 0xFF is no lead byte). Characters beyond the BMP have no code.
constexpr std::uint16_t kNoCode = 0xFFFF;
using EncodeTable = std::array<std::uint16_t, 0x10000>;

EncodeTable BuildEncodeTable() {
  EncodeTable codes;
  codes.fill(kNoCode);
  for (unsigned byte = 0; byte < 0x80; ++byte) codes[byte] = static_cast<std::uint16_t>(byte);
  for (unsigned byte = 0xA1; byte <= 0xDF; ++byte) {
    codes[kHalfWidthKatakana + byte - 0xA1] = static_cast<std::uint16_t>(byte);
  }
  // Rows and columns run in code order, so the first code seen for a character is its
  // lowest one.
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    const int row = LeadIndex(static_cast<unsigned char>(lead));
    if (row < 0) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      const int column = TrailIndex(static_cast<unsigned char>(trail));
      if (column < 0) continue;
      const std::uint16_t character = kCp932DoubleByte[row][column];
      if (character != 0 && codes[character] == kNoCode) {
        codes[character] = static_cast<std::uint16_t>(lead << 8 | trail);
      }
    }
  }
  for (const Cp932Override& entry : kCp932Overrides) codes[entry.unicode] = entry.code;
  return codes;
}

const EncodeTable& Codes() {
  static const EncodeTable table = BuildEncodeTable();  // thread-safe, built on first use
  return table;
}

template <typename Text>
Converted<Text> Failure(TextError error, std::size_t offset, char32_t character = 0) {
  Converted<Text> result;
  result.error = error;
  result.errorOffset = offset;
  result.errorCharacter = character;
  return result;
}

// Runs `read` over the whole input and `append` for each character read.
template <typename Text, typename Input, typename ReadFn, typename AppendFn>
Converted<Text> Decode(Input input, ReadFn read, AppendFn append) {
  Converted<Text> result;
  result.text.reserve(input.size());
  for (std::size_t at = 0; at < input.size();) {
    const Read r = read(input, at);
    if (r.length == 0) return Failure<Text>(TextError::kInvalidInput, at);
    append(result.text, r.character);
    at += r.length;
  }
  return result;
}

template <typename Input, typename ReadFn>
Converted<std::string> Encode(Input input, ReadFn read) {
  const EncodeTable& codes = Codes();
  Converted<std::string> result;
  result.text.reserve(input.size() * 2);
  for (std::size_t at = 0; at < input.size();) {
    const Read r = read(input, at);
    if (r.length == 0) return Failure<std::string>(TextError::kInvalidInput, at);
    const std::uint16_t code = r.character < codes.size() ? codes[r.character] : kNoCode;
    if (code == kNoCode) return Failure<std::string>(TextError::kUnrepresentable, at, r.character);
    if (code >= 0x100) result.text += static_cast<char>(code >> 8);
    result.text += static_cast<char>(code & 0xFF);
    at += r.length;
  }
  return result;
}

}  // namespace

Converted<std::string> CodePage932::ToUtf8(std::string_view bytes) {
  return Decode<std::string>(bytes, ReadCp932, AppendUtf8);
}

Converted<std::u16string> CodePage932::ToUtf16(std::string_view bytes) {
  return Decode<std::u16string>(bytes, ReadCp932, AppendUtf16);
}

Converted<std::string> CodePage932::FromUtf8(std::string_view utf8) {
  return Encode(utf8, ReadUtf8);
}

Converted<std::string> CodePage932::FromUtf16(std::u16string_view utf16) {
  return Encode(utf16, ReadUtf16);
}

std::size_t CodePage932::ReadCharacter(std::string_view bytes, std::size_t at,
                                       char32_t* character) {
  const Read r = ReadCp932(bytes, at);
  if (r.length != 0) *character = r.character;
  return r.length;
}

bool CodePage932::IsLeadByte(unsigned char byte) { return LeadIndex(byte) >= 0; }

const char* CodePage932::ErrorMeaning(TextError error) {
  switch (error) {
    case TextError::kNone:
      return "converted";
    case TextError::kInvalidInput:
      return "the text is not valid in its encoding";
    case TextError::kUnrepresentable:
      return "the text holds a character that code page 932 cannot store";
  }
  return "unknown text error";
}

}  // namespace tallimor
