// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Showing stored text that may not decode: what decodes is shown as UTF-8, each
// byte that does not as \xHH, and nothing is lost or merged on the way.
#include "text/ShownText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tallimor {
namespace {

TEST(ShownText, ByteEscapesAreUpperCaseAndReadBackInEitherCase) {
  std::string out;
  AppendByteEscape(out, 0x0A);
  AppendByteEscape(out, 0xAB);
  AppendByteEscape(out, 0x5C);
  EXPECT_EQ(out, "\\x0A\\xAB\\x5C");
  EXPECT_EQ(HexDigitValue('0'), 0);
  EXPECT_EQ(HexDigitValue('9'), 9);
  EXPECT_EQ(HexDigitValue('a'), 10);
  EXPECT_EQ(HexDigitValue('F'), 15);
  EXPECT_EQ(HexDigitValue('g'), -1);
  EXPECT_EQ(HexDigitValue('x'), -1);
}

TEST(ShownText, ValidTextIsShownAsItsCharacters) {
  std::size_t undecodable = 0;
  EXPECT_EQ(ShowCp932AsUtf8("a\x82\xA0" "b\x8E\x52", ControlCharacters::kKeep, &undecodable), "a\u3042b\u5C71");
  EXPECT_EQ(undecodable, 0u);
  EXPECT_EQ(ShowCp932AsUtf8(""), "");
}

TEST(ShownText, EachUndecodableByteShowsAsItsValueAndDecodingGoesOn) {
  std::size_t undecodable = 0;
  // 0x80 is no character; 0x81 then a space is a lead byte without a trail byte; a
  // lead byte at the very end is cut off. The characters between still decode.
  EXPECT_EQ(ShowCp932AsUtf8("\x80\x82\xA0\x81 x\x82\xA0\x81", ControlCharacters::kKeep, &undecodable),
            "\\x80\u3042\\x81 x\u3042\\x81");
  EXPECT_EQ(undecodable, 3u);
  // A count is added to, so that a caller can total several texts.
  ShowCp932AsUtf8("\xFD\xFE", ControlCharacters::kKeep, &undecodable);
  EXPECT_EQ(undecodable, 5u);
}

TEST(ShownText, ControlCharactersAreKeptOrEscapedAsAsked) {
  EXPECT_EQ(ShowCp932AsUtf8("a\nb\tc\x7F"), "a\nb\tc\x7F");
  EXPECT_EQ(ShowCp932AsUtf8("a\nb\tc\x7F\x1B[2J", ControlCharacters::kEscape), "a\\x0Ab\\x09c\\x7F\\x1B[2J");
  // Escaping controls also applies around undecodable bytes.
  EXPECT_EQ(ShowCp932AsUtf8("\x80\r", ControlCharacters::kEscape), "\\x80\\x0D");
}

TEST(ShownText, DecodeStepHandsOverRunsAndBytesInOrder) {
  std::vector<std::string> pieces;
  DecodeCp932Runs(
      "ab\x80\x82\xA0", [&](std::string_view utf8) { pieces.emplace_back(utf8); },
      [&](unsigned char byte) { pieces.push_back("byte " + std::to_string(byte)); });
  EXPECT_EQ(pieces, (std::vector<std::string>{"ab", "byte 128", "\u3042"}));
}

}  // namespace
}  // namespace tallimor
