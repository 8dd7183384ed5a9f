// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The ten-integer window placement: what the reader accepts, what it refuses, and that
// the writer's text reads back unchanged.
#include <gtest/gtest.h>

#include "desktop/WindowPlacement.h"

namespace tallimor {
namespace {

TEST(DesktopPlacement, ReadsANormalWindow) {
  auto p = ParseWindowPlacement("0:1:-1:-1:-1:-1:10:20:400:300");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->flags, 0);
  EXPECT_EQ(p->showCommand, 1);
  EXPECT_EQ(p->minX, -1);
  EXPECT_EQ(p->maxY, -1);
  EXPECT_EQ(p->left, 10);
  EXPECT_EQ(p->top, 20);
  EXPECT_EQ(p->right, 400);
  EXPECT_EQ(p->bottom, 300);
  EXPECT_FALSE(p->ShowsMaximized());
}

TEST(DesktopPlacement, ReadsNumbersAsPercentIDoes) {
  // Hexadecimal after 0x, octal after a leading 0, signs, and blanks before a number.
  auto p = ParseWindowPlacement("0x2:3: -1:+4:010:0X1f:-0:7:8:9 and more");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->flags, 2);
  EXPECT_EQ(p->showCommand, 3);
  EXPECT_EQ(p->minX, -1);
  EXPECT_EQ(p->minY, 4);
  EXPECT_EQ(p->maxX, 8);
  EXPECT_EQ(p->maxY, 31);
  EXPECT_EQ(p->left, 0);
  EXPECT_EQ(p->bottom, 9);
}

TEST(DesktopPlacement, RefusesWhatIsNotTenIntegers) {
  EXPECT_FALSE(ParseWindowPlacement(""));
  EXPECT_FALSE(ParseWindowPlacement("1:2:3"));
  EXPECT_FALSE(ParseWindowPlacement("0:1:-1:-1:-1:-1:10:20:400"));
  EXPECT_FALSE(ParseWindowPlacement("0:1:-1:-1:-1:-1:10:20:400:"));
  EXPECT_FALSE(ParseWindowPlacement("0:1:-1:-1:-1:-1:10:20:400 :300"));  // blank before ':'
  EXPECT_FALSE(ParseWindowPlacement("0;1;-1;-1;-1;-1;10;20;400;300"));
  EXPECT_FALSE(ParseWindowPlacement("a:1:-1:-1:-1:-1:10:20:400:300"));
  EXPECT_FALSE(ParseWindowPlacement("0:1:-1:-1:-1:-1:10:20:400:-"));
  // Numbers beyond 32 bits would wrap; they are refused instead.
  EXPECT_FALSE(ParseWindowPlacement("0:1:-1:-1:-1:-1:10:20:400:2147483648"));
  EXPECT_FALSE(ParseWindowPlacement("0:1:-1:-1:-1:-1:10:20:400:99999999999999999999"));
  EXPECT_TRUE(ParseWindowPlacement("0:1:-1:-1:-1:-1:10:20:400:-2147483648"));
  EXPECT_TRUE(ParseWindowPlacement("0:1:-1:-1:-1:-1:10:20:400:2147483647"));
}

TEST(DesktopPlacement, WritesTenSignedDecimalsThatReadBack) {
  WindowPlacement p;
  p.flags = 2;
  p.showCommand = 3;
  p.left = -8;
  p.top = 12;
  p.right = 1930;
  p.bottom = 1090;
  std::string text = FormatWindowPlacement(p);
  EXPECT_EQ(text, "2:3:-1:-1:-1:-1:-8:12:1930:1090");
  auto back = ParseWindowPlacement(text);
  ASSERT_TRUE(back);
  EXPECT_EQ(FormatWindowPlacement(*back), text);
  EXPECT_TRUE(back->ShowsMaximized());
}

TEST(DesktopPlacement, MinimisedFromMaximisedComesBackMaximised) {
  WindowPlacement p;
  p.showCommand = kShowMinimized;
  EXPECT_FALSE(p.ShowsMaximized());
  p.flags = kPlacementRestoreToMaximized;
  EXPECT_TRUE(p.ShowsMaximized());
}

}  // namespace
}  // namespace tallimor
