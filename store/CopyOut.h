// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CopyOut: the store's one rule for handing bytes to a caller's buffer, shared by
// the record file's app info and the database managers' application data: a
// buffer too small gets the needed size back instead of a partial copy.
#pragma once

#include <cstdint>
#include <cstring>

#include "store/ResultCodes.h"

namespace tallimor {

// Copies `length` bytes from `bytes` into `buffer` of `size` bytes and sets `size`
// to `length`. kErrBufferTooSmall with `length` written to `size`;
// kErrNullArgument for a missing buffer (or missing bytes when there are some).
inline Result CopyOut(const std::uint8_t* bytes, std::uint32_t length, std::uint8_t* buffer,
                      std::uint32_t& size) {
  if (size < length) {
    size = length;
    return kErrBufferTooSmall;
  }
  if (buffer == nullptr) return kErrNullArgument;
  if (length > 0) {
    if (bytes == nullptr) return kErrNullArgument;
    std::memcpy(buffer, bytes, length);
  }
  size = length;
  return kOk;
}

}  // namespace tallimor
