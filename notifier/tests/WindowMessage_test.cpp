// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The wire form of window messages: the exact bytes written, and strict reading of them.
#include "notifier/WindowMessage.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "notifier/WindowMessageResult.h"

namespace tallimor {
namespace {

// The request for message 5120, wParam 0x0102030405060708, lParam -2, written out by hand.
const std::vector<std::uint8_t> kRequest = {
    'T', 'W', 'M', 'Q', 0x01, 0x00, 0x00, 0x00,               // magic, version 1, reserved
    0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,           // message 5120, reserved
    0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,           // wParam
    0xfe, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff,           // lParam -2
};

// The reply carrying 5120.
const std::vector<std::uint8_t> kReply = {
    'T', 'W', 'M', 'R', 0x01, 0x00, 0x00, 0x00,
    0x00, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
};

TEST(WindowMessageWire, RequestHasTheFixedLayout) {
  const WindowMessageRequestBytes bytes = EncodeWindowMessage({5120, 0x0102030405060708u, -2});
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), kRequest);

  WindowMessage decoded;
  ASSERT_EQ(DecodeWindowMessage(kRequest.data(), kRequest.size(), &decoded), kOk);
  EXPECT_EQ(decoded.message, 5120u);
  EXPECT_EQ(decoded.wParam, 0x0102030405060708u);
  EXPECT_EQ(decoded.lParam, -2);
}

TEST(WindowMessageWire, ReplyHasTheFixedLayout) {
  const WindowMessageReplyBytes bytes = EncodeWindowMessageReply(5120);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), kReply);

  std::int64_t result = 0;
  ASSERT_EQ(DecodeWindowMessageReply(kReply.data(), kReply.size(), &result), kOk);
  EXPECT_EQ(result, 5120);

  const WindowMessageReplyBytes extreme = EncodeWindowMessageReply(INT64_MIN);
  ASSERT_EQ(DecodeWindowMessageReply(extreme.data(), extreme.size(), &result), kOk);
  EXPECT_EQ(result, INT64_MIN);
}

// Every byte of magic, version and reserved fields is checked, as is the size; the
// message is left untouched when the bytes are refused.
TEST(WindowMessageWire, DecodingRefusesAnythingButAWholeRequest) {
  const std::vector<std::size_t> checkedBytes = {0, 1, 2, 3, 4, 5, 6, 7, 12, 13, 14, 15};
  for (std::size_t at : checkedBytes) {
    std::vector<std::uint8_t> bytes = kRequest;
    bytes[at] ^= 0x40;
    WindowMessage decoded{7, 7, 7};
    EXPECT_EQ(DecodeWindowMessage(bytes.data(), bytes.size(), &decoded), kWmMalformed) << at;
    EXPECT_EQ(decoded.message, 7u);
  }
  WindowMessage decoded;
  EXPECT_EQ(DecodeWindowMessage(kRequest.data(), kRequest.size() - 1, &decoded), kWmMalformed);
  std::vector<std::uint8_t> longer = kRequest;
  longer.push_back(0);
  EXPECT_EQ(DecodeWindowMessage(longer.data(), longer.size(), &decoded), kWmMalformed);
  EXPECT_EQ(DecodeWindowMessage(nullptr, 0, &decoded), kWmMalformed);
  EXPECT_EQ(DecodeWindowMessage(kRequest.data(), kRequest.size(), nullptr), kErrNullArgument);

  // A reply is not a request, nor a request a reply.
  std::vector<std::uint8_t> replyAsLong = kReply;
  replyAsLong.resize(kRequest.size());
  EXPECT_EQ(DecodeWindowMessage(replyAsLong.data(), replyAsLong.size(), &decoded), kWmMalformed);
  std::int64_t result = 0;
  EXPECT_EQ(DecodeWindowMessageReply(kRequest.data(), kReply.size(), &result), kWmMalformed);
}

TEST(WindowMessageWire, DecodingRefusesADamagedReply) {
  for (std::size_t at = 0; at < 8; ++at) {
    std::vector<std::uint8_t> bytes = kReply;
    bytes[at] ^= 0x01;
    std::int64_t result = 99;
    EXPECT_EQ(DecodeWindowMessageReply(bytes.data(), bytes.size(), &result), kWmMalformed) << at;
    EXPECT_EQ(result, 99);
  }
  std::int64_t result = 0;
  EXPECT_EQ(DecodeWindowMessageReply(kReply.data(), kReply.size() - 1, &result), kWmMalformed);
}

}  // namespace
}  // namespace tallimor
