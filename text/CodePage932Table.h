// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The data of code page 932 as glibc's iconv "CP932" converts it, generated once by
// text/tools/cp932_table_gen.cpp. Only CodePage932.cpp and the tests use it; the
// single-byte half of the code page is computed there, not stored.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tallimor {

inline constexpr std::size_t kCp932LeadCount = 60;    // lead bytes 0x81-0x9F, 0xE0-0xFC
inline constexpr std::size_t kCp932TrailCount = 188;  // trail bytes 0x40-0x7E, 0x80-0xFC
inline constexpr std::size_t kCp932OverrideCount = 382;

// The character of each double-byte code; 0 where the code has none.
extern const std::uint16_t kCp932DoubleByte[kCp932LeadCount][kCp932TrailCount];

// A character whose encoding is not the lowest code that decodes to it: the later of
// duplicate codes, or a one-way mapping (U+00A5 YEN SIGN to 0x5C, for example).
struct Cp932Override {
  std::uint16_t unicode;
  std::uint16_t code;  // one byte below 0x100, else lead byte << 8 | trail byte
};
extern const Cp932Override kCp932Overrides[kCp932OverrideCount];

}  // namespace tallimor
