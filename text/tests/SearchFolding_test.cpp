// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the search folding: what the typed text and a memo's code page 932 bytes
// fold to, written out by hand, and that the folded form never lets a query match
// inside another character, as code page 932's trail bytes would.
#include "text/SearchFolding.h"

#include <gtest/gtest.h>

#include <string>

namespace tallimor {
namespace {

std::string Fold(std::u32string_view text) { return SearchFolding::FoldUnicode(text); }
std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(SearchFolding, LatinLettersFoldToLowerCaseAndFullWidthToAscii) {
  EXPECT_EQ(Fold(U"Tallimor MEMO"), "tallimor memo");
  EXPECT_EQ(Fold(U"ＡｂＣ１２３！～"), "abc123!~");
  // The ideographic space is a space; only Latin letters change case.
  EXPECT_EQ(Fold(U"会議\u3000Room"), Utf8(u8"会議 room"));
  EXPECT_EQ(Fold(U"ΩДé"), Utf8(u8"ΩДé"));
  // The same from code page 932: ＡＢＣ (82 60 82 61 82 62) and "x y" with an
  // ideographic space (81 40).
  EXPECT_EQ(SearchFolding::FoldCp932("\x82\x60\x82\x61\x82\x62"), "abc");
  EXPECT_EQ(SearchFolding::FoldCp932("X\x81\x40Y"), "x y");
}

TEST(SearchFolding, HalfWidthKatakanaFoldToFullWidthWithVoicedMarksJoined) {
  EXPECT_EQ(Fold(U"ﾊﾟｽﾜｰﾄﾞ"), Utf8(u8"パスワード"));
  EXPECT_EQ(Fold(U"ｶﾞｷﾞｸﾞｹﾞｺﾞｻﾞｼﾞｽﾞｾﾞｿﾞﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞ"),
            Utf8(u8"ガギグゲゴザジズゼゾダヂヅデド"));
  EXPECT_EQ(Fold(U"ﾊﾞﾋﾞﾌﾞﾍﾞﾎﾞﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟｳﾞﾜﾞｦﾞ"), Utf8(u8"バビブベボパピプペポヴヷヺ"));
  EXPECT_EQ(Fold(U"｡｢｣､･ｧｯｬ"), Utf8(u8"。「」、・ァッャ"));
  // A mark after a full-width letter joins it too, so both spellings meet.
  EXPECT_EQ(Fold(U"カﾞ"), Utf8(u8"ガ"));
  // Half-width bytes of code page 932: ﾊﾟｽﾜｰﾄﾞ is CA DF BD DC B0 C4 DE.
  EXPECT_EQ(SearchFolding::FoldCp932("\xCA\xDF\xBD\xDC\xB0\xC4\xDE"), Utf8(u8"パスワード"));
}

TEST(SearchFolding, MarksThatJoinNothingStandAsFullWidthMarks) {
  EXPECT_EQ(Fold(U"ﾞｱﾞ"), Utf8(u8"゛ア゛"));
  EXPECT_EQ(Fold(U"ﾊﾟﾟ"), Utf8(u8"パ゜"));  // a letter takes one mark
  EXPECT_EQ(Fold(U"ｶﾟ"), Utf8(u8"カ゜"));    // カ has no semi-voiced form
  EXPECT_EQ(Fold(U"aﾞ"), Utf8(u8"a゛"));
  EXPECT_EQ(Fold(U""), "");
}

TEST(SearchFolding, BytesThatAreNoCodeAreSteppedOver) {
  // A lead byte cut off at the end, a byte that starts nothing (FF), and a double-byte
  // code the code page leaves empty (85 40): the rest of the memo still folds.
  EXPECT_EQ(SearchFolding::FoldCp932("ab\x81"), "ab");
  EXPECT_EQ(SearchFolding::FoldCp932("\xFF" "Cd"), "cd");
  EXPECT_EQ(SearchFolding::FoldCp932("\x85\x40Z"), "@z");
}

TEST(SearchFolding, AQueryNeverMatchesInsideAnotherCharacter) {
  // ア is 83 41 in code page 932, whose trail byte is "A": folded, "a" is not in it.
  const std::string folded = SearchFolding::FoldCp932("\x83\x41\x83\x5A");  // アセ
  EXPECT_EQ(folded, Utf8(u8"アセ"));
  EXPECT_EQ(folded.find(Fold(U"A")), std::string::npos);
  EXPECT_EQ(folded.find(Fold(U"Z")), std::string::npos);
  EXPECT_NE(folded.find(Fold(U"ｾ")), std::string::npos);
}

}  // namespace
}  // namespace tallimor
