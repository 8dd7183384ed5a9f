// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the stored memo form: the lengths the handheld expects, readers that stop at
// the first NUL without running past the data, the line-end conversions of the edit
// dialog and paste, and paste pieces that never tear a double-byte character.
#include "protect/StoredMemo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "store/CPRecord.h"

namespace tallimor {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

TEST(StoredMemoForm, TextNulAndZeroFillerUpToAMultipleOfEight) {
  EXPECT_EQ(MakeStoredMemo(""), Bytes(std::string(8, '\0')));
  EXPECT_EQ(MakeStoredMemo("1234567"), Bytes(std::string("1234567\0", 8)));
  EXPECT_EQ(MakeStoredMemo("12345678"), Bytes(std::string("12345678\0\0\0\0\0\0\0\0", 16)));
  EXPECT_EQ(MakeStoredMemo("a\nb"), Bytes(std::string("a\nb\0\0\0\0\0", 8)));
  // Text after an embedded NUL would be invisible to every reader, so it is not stored.
  EXPECT_EQ(MakeStoredMemo(std::string_view("ab\0cd", 5)), Bytes(std::string("ab\0\0\0\0\0\0", 8)));
  for (std::size_t n = 0; n < 40; ++n) {
    const std::size_t len = StoredMemoLength(n);
    EXPECT_EQ(len % 8, 0u) << n;
    EXPECT_GT(len, n) << n;
    EXPECT_LE(len, n + 8) << n;
  }
}

TEST(StoredMemoForm, StoreMemoReplacesTheRecordDataAndRefusesWhatCannotFit) {
  CPRecord record;
  ASSERT_EQ(StoreMemo(record, "\x93\xfa\x96\x7b\n2"), kOk);  // "日本" LF "2"
  ASSERT_EQ(record.DataLength(), 8u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(record.Data()), 8),
            std::string("\x93\xfa\x96\x7b\n2\0\0", 8));
  EXPECT_EQ(StoredMemoText(record), "\x93\xfa\x96\x7b\n2");

  const std::string longest(kMaxStoredMemoText, 'x');
  ASSERT_EQ(StoreMemo(record, longest), kOk);
  EXPECT_EQ(record.DataLength(), kMaxStoredMemoBytes);
  EXPECT_EQ(StoreMemo(record, longest + "y"), kErrTooLong);
  EXPECT_EQ(record.DataLength(), kMaxStoredMemoBytes);  // unchanged
}

TEST(StoredMemoText, StopsAtTheFirstNulOrAtTheEndOfTheData) {
  const std::uint8_t withNul[] = {'h', 'i', 0, 'x', 'y', 0, 0, 0};
  EXPECT_EQ(StoredMemoText(withNul, sizeof withNul), "hi");
  // No NUL at all (a damaged or foreign record): the whole data, and not a byte more.
  const std::uint8_t noNul[] = {'a', 'b', 'c'};
  EXPECT_EQ(StoredMemoText(noNul, sizeof noNul), "abc");
  EXPECT_EQ(StoredMemoText(nullptr, 0), "");
  CPRecord empty;
  EXPECT_EQ(StoredMemoText(empty), "");
}

TEST(StoredMemoLineEnds, ConvertBetweenStoredLfAndDisplayedCrLf) {
  EXPECT_EQ(LfToCrLf("one\ntwo\n\nthree"), "one\r\ntwo\r\n\r\nthree");
  EXPECT_EQ(CrLfToLf("one\r\ntwo\r\n\r\nthree"), "one\ntwo\n\nthree");
  EXPECT_EQ(CrLfToLf("lone\rcr\r"), "lone\rcr\r");
  EXPECT_EQ(CrLfToLf("\r\r\n"), "\r\n");
  // A memo shown and stored again without edits keeps its bytes, including double-byte
  // characters whose trail byte is a printable ASCII value.
  const std::string stored = "\x83\x5c\n\x95\x5c\n";  // "ソ" LF "表" LF
  EXPECT_EQ(CrLfToLf(LfToCrLf(stored)), stored);
}

TEST(StoredMemoPastePieces, CutAtTheLimitWithoutTearingDoubleByteCharacters) {
  EXPECT_TRUE(SplitMemoPieces("").empty());
  const std::vector<std::string_view> ascii = SplitMemoPieces("abcdefg", 3);
  EXPECT_EQ(ascii, (std::vector<std::string_view>{"abc", "def", "g"}));

  // "a" then two double-byte characters: a cut after 2 bytes would split the first one.
  const std::string mixed = "a\x82\xa0\x82\xa2";
  const std::vector<std::string_view> pieces = SplitMemoPieces(mixed, 2);
  EXPECT_EQ(pieces, (std::vector<std::string_view>{"a", "\x82\xa0", "\x82\xa2"}));

  // A lone lead byte at the very end still lands in a piece.
  EXPECT_EQ(SplitMemoPieces("ab\x82", 2), (std::vector<std::string_view>{"ab", "\x82"}));

  // The paste limit: a token of 2 x 32767 + 10 bytes gives pieces of 32767, 32767, 10.
  const std::string token(2 * kMaxPastedMemoBytes + 10, 'm');
  const std::vector<std::string_view> big = SplitMemoPieces(token);
  ASSERT_EQ(big.size(), 3u);
  EXPECT_EQ(big[0].size(), kMaxPastedMemoBytes);
  EXPECT_EQ(big[1].size(), kMaxPastedMemoBytes);
  EXPECT_EQ(big[2].size(), 10u);
}

}  // namespace
}  // namespace tallimor
