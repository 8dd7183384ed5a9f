// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Number arguments, checked digit by digit against their limit so that no overflow or
// stray character is ever taken for a number.
#include "tools/tallimor-handheld/NumberArgument.h"

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

bool NumberArgument::RecordId(const std::string& text, std::uint32_t* id) {
  std::uint64_t value = 0;
  if (!ParseUnsigned(text, true, 0xFFFFFF, &value) || value == 0) return false;
  *id = static_cast<std::uint32_t>(value);
  return true;
}

bool NumberArgument::CategoryIndex(const std::string& text, int* index) {
  std::uint64_t value = 0;
  if (!ParseUnsigned(text, false, 15, &value)) return false;
  *index = static_cast<int>(value);
  return true;
}

bool NumberArgument::UserId(const std::string& text, std::uint32_t* id) {
  std::uint64_t value = 0;
  if (!ParseUnsigned(text, false, 0xFFFFFFFFu, &value)) return false;
  *id = static_cast<std::uint32_t>(value);
  return true;
}

}  // namespace tallimor
