// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The number forms the commands of tallimor-handheld accept: memo ids (decimal or
// 0x-hexadecimal), category indexes and HotSync user ids. No sign, no spaces.
#pragma once

#include <cstdint>
#include <string>

namespace tallimor {

class NumberArgument {
 public:
  NumberArgument() = delete;

  // A memo's unique id: decimal or 0x-prefixed hexadecimal, 1 to 0xFFFFFF.
  static bool RecordId(const std::string& text, std::uint32_t* id);
  // A category index, 0 to 15.
  static bool CategoryIndex(const std::string& text, int* index);
  // A HotSync user id, 0 to 4294967295.
  static bool UserId(const std::string& text, std::uint32_t* id);
};

}  // namespace tallimor
