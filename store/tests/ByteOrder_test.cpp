// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The byte-order helpers every format reader and writer uses: each order read from
// known bytes, unaligned places, and values surviving a write and a read.
#include "store/ByteOrder.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace tallimor {
namespace {

constexpr std::array<std::uint8_t, 5> kBytes = {0x01, 0x12, 0x34, 0x56, 0x78};

TEST(ByteOrder, ReadsEachOrderFromKnownBytes) {
  EXPECT_EQ(DecodeFixed16BE(kBytes.data() + 1), 0x1234u);
  EXPECT_EQ(DecodeFixed16LE(kBytes.data() + 1), 0x3412u);
  EXPECT_EQ(DecodeFixed32BE(kBytes.data() + 1), 0x12345678u);
  EXPECT_EQ(DecodeFixed32LE(kBytes.data() + 1), 0x78563412u);
  // The top bit of every byte set: nothing may be sign-extended on the way.
  constexpr std::uint8_t high[4] = {0xFF, 0xFE, 0x80, 0x81};
  EXPECT_EQ(DecodeFixed16BE(high), 0xFFFEu);
  EXPECT_EQ(DecodeFixed32BE(high), 0xFFFE8081u);
  EXPECT_EQ(DecodeFixed32LE(high), 0x8180FEFFu);
}

TEST(ByteOrder, WritesAtUnalignedPlacesWithoutTouchingNeighbours) {
  std::array<std::uint8_t, 7> buffer{};
  buffer.fill(0xAA);
  EncodeFixed32BE(buffer.data() + 1, 0x12345678u);
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 7>{0xAA, 0x12, 0x34, 0x56, 0x78, 0xAA, 0xAA}));
  EncodeFixed32LE(buffer.data() + 3, 0xCAFEBABEu);
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 7>{0xAA, 0x12, 0x34, 0xBE, 0xBA, 0xFE, 0xCA}));
  EncodeFixed16BE(buffer.data() + 5, 0x0102u);
  EncodeFixed16LE(buffer.data() + 1, 0x0304u);
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 7>{0xAA, 0x04, 0x03, 0xBE, 0xBA, 0x01, 0x02}));
}

TEST(ByteOrder, AppendedValuesReadBackInTheirOwnOrderOnly) {
  std::vector<std::uint8_t> out = {0x00};
  PutFixed16BE(out, 0xBEEF);
  PutFixed32BE(out, 0xDEADBEEFu);
  PutFixed16LE(out, 0xBEEF);
  PutFixed32LE(out, 0xDEADBEEFu);
  ASSERT_EQ(out.size(), 13u);
  EXPECT_EQ(DecodeFixed16BE(out.data() + 1), 0xBEEFu);
  EXPECT_EQ(DecodeFixed32BE(out.data() + 3), 0xDEADBEEFu);
  EXPECT_EQ(DecodeFixed16LE(out.data() + 7), 0xBEEFu);
  EXPECT_EQ(DecodeFixed32LE(out.data() + 9), 0xDEADBEEFu);
  EXPECT_EQ(DecodeFixed32LE(out.data() + 3), 0xEFBEADDEu);
  for (std::uint32_t v : {0u, 1u, 0x80u, 0x8000u, 0x80000000u, 0xFFFFFFFFu}) {
    std::uint8_t b[4];
    EncodeFixed32BE(b, v);
    EXPECT_EQ(DecodeFixed32BE(b), v);
    EncodeFixed32LE(b, v);
    EXPECT_EQ(DecodeFixed32LE(b), v);
  }
}

}  // namespace
}  // namespace tallimor
