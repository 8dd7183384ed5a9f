// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A window message as it travels between programs over the message socket, and its
// fixed-size wire form. Each connection carries exactly one request and one reply.
//
// Request, 32 bytes, little-endian:       Reply, 16 bytes, little-endian:
//    0  magic "TWMQ"                         0  magic "TWMR"
//    4  version u16 = 1                      4  version u16 = 1
//    6  reserved u16 = 0                     6  reserved u16 = 0
//    8  message number u32                   8  result i64 (the handler's result)
//   12  reserved u32 = 0
//   16  wParam u64
//   24  lParam i64
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "store/ResultCodes.h"

namespace tallimor {

struct WindowMessage {
  std::uint32_t message = 0;
  std::uint64_t wParam = 0;
  std::int64_t lParam = 0;
};

inline constexpr std::size_t kWindowMessageRequestSize = 32;
inline constexpr std::size_t kWindowMessageReplySize = 16;
inline constexpr std::uint16_t kWindowMessageWireVersion = 1;

using WindowMessageRequestBytes = std::array<std::uint8_t, kWindowMessageRequestSize>;
using WindowMessageReplyBytes = std::array<std::uint8_t, kWindowMessageReplySize>;

// The request bytes for message.
WindowMessageRequestBytes EncodeWindowMessage(const WindowMessage& message);

// Reads a request. kWmMalformed unless size is exactly the request size and magic,
// version and reserved fields are as written by EncodeWindowMessage; *message is then unchanged.
Result DecodeWindowMessage(const std::uint8_t* data, std::size_t size, WindowMessage* message);

// The reply bytes carrying result.
WindowMessageReplyBytes EncodeWindowMessageReply(std::int64_t result);

// Reads a reply, as strictly as DecodeWindowMessage reads a request.
Result DecodeWindowMessageReply(const std::uint8_t* data, std::size_t size, std::int64_t* result);

}  // namespace tallimor
