// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Byte-level helpers for text in code page 932 (Shift-JIS with the Windows
// extensions), the encoding of every stored name: where a double-byte character
// starts, and case-blind comparison that leaves double-byte characters alone.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tallimor {

// True for a byte that starts a double-byte character in code page 932.
inline bool IsCp932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// The length of at most `limit` bytes of `text` (NUL-terminated) that does not
// end in the middle of a double-byte character.
inline std::size_t Cp932PrefixLength(const char* text, std::size_t limit) {
  std::size_t n = 0;
  while (n < limit && text[n] != '\0') {
    const bool lead = IsCp932LeadByte(static_cast<unsigned char>(text[n]));
    if (!lead) {
      ++n;
    } else if (n + 1 < limit && text[n + 1] != '\0') {
      n += 2;
    } else {
      break;  // the character would be cut in two (or is already broken)
    }
  }
  return n;
}

// Compares two NUL-terminated texts, ignoring the case of single-byte ASCII
// letters; both bytes of a double-byte character must match exactly.
inline bool Cp932EqualsIgnoringCase(const char* a, const char* b) {
  auto lower = [](unsigned char c) -> unsigned char {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
  };
  std::size_t i = 0;
  for (;;) {
    const unsigned char ca = static_cast<unsigned char>(a[i]);
    const unsigned char cb = static_cast<unsigned char>(b[i]);
    if (ca == 0 || cb == 0) return ca == cb;
    if (IsCp932LeadByte(ca)) {
      if (ca != cb || a[i + 1] != b[i + 1]) return false;
      if (a[i + 1] == '\0') return true;  // a lone lead byte at the end of both
      i += 2;
    } else {
      if (lower(ca) != lower(cb)) return false;
      ++i;
    }
  }
}

}  // namespace tallimor
