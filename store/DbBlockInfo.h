// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The Sync Manager's application-information / sort-information block record: the
// form in which the app info and sort info blocks cross between a database manager
// and its caller. Field order and widths are the handheld platform's; the block bytes
// are reached through a native pointer.
#pragma once

#include <cstdint>

namespace tallimor {

struct DbBlockInfo {
  char name[32] = {};              // database (block) name, NUL-terminated
  std::uint16_t bufferSize = 0;    // capacity of `data` in bytes
  std::uint16_t bytesRead = 0;     // bytes of block data in `data`
  std::uint8_t* data = nullptr;    // block data, owned by whoever filled the structure
  std::uint32_t reserved = 0;      // carried with the block unchanged
};

}  // namespace tallimor
