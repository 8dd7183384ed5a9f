// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the wsprintfA-compatible formatter and of the string table loader that
// the sync log's messages rest on.
#include "conduit/WsprintfA.h"

#include <gtest/gtest.h>

#include <cstring>

#include "conduit/ConduitStrings.h"

namespace tallimor {
namespace {

std::string Format(const char* format, std::initializer_list<WsprintfArg> args) {
  char buffer[2048];
  const int n = FormatWsprintfA(buffer, sizeof buffer, format, args);
  EXPECT_EQ(static_cast<std::size_t>(n), std::strlen(buffer));
  return buffer;
}

TEST(SyncLogFormat, DigitsAfterThePercentAreFieldWidths) {
  EXPECT_EQ(Format("%1s, Error %2u", {"Record ID 5", 4354}), "Record ID 5, Error 4354");
  EXPECT_EQ(Format("Error %2u", {5}), "Error  5");
  EXPECT_EQ(Format("Creator ID %2s", {"a"}), "Creator ID  a");
  EXPECT_EQ(Format("Type %3u, Flags %4d, Version %5d", {7, 8, 1}),
            "Type   7, Flags    8, Version     1");
  EXPECT_EQ(Format("%-4d|%-3s|", {7, "x"}), "7   |x  |");
}

TEST(SyncLogFormat, NumbersAreTakenAs32BitsOr16WithH) {
  EXPECT_EQ(Format("%u", {-1}), "4294967295");
  EXPECT_EQ(Format("%d", {0x80000000u}), "-2147483648");
  EXPECT_EQ(Format("%i", {-2000}), "-2000");
  EXPECT_EQ(Format("%x %X", {0xFFFFF830u, 0xABCu}), "fffff830 ABC");
  EXPECT_EQ(Format("%hd %hu", {0x18000, 0x12345}), "-32768 9029");
  EXPECT_EQ(Format("%ld %lu %lx", {-5, 5u, 255}), "-5 5 ff");
}

TEST(SyncLogFormat, FlagsAndPrecision) {
  EXPECT_EQ(Format("%04d|%05u|%08X", {-3, 42, 0xBEEF}), "-003|00042|0000BEEF");
  EXPECT_EQ(Format("%#x %#X %#x", {255, 255, 0}), "0xff 0XFF 0");
  EXPECT_EQ(Format("%#06x", {255}), "0x00ff");
  EXPECT_EQ(Format("%.3d|%.2s|%5.2s", {7, "abcdef", "abc"}), "007|ab|   ab");
  EXPECT_EQ(Format("%c%c%%", {'O', "K"}), "OK%");
}

TEST(SyncLogFormat, WhatIsNotAConversionPrintsNothingAndTakesNoArgument) {
  EXPECT_EQ(Format("Fatal Error %l.", {4354}), "Fatal Error .");
  EXPECT_EQ(Format("%q%d", {3}), "q3");
  EXPECT_EQ(Format("100%", {}), "100");
}

TEST(SyncLogFormat, WrongOrMissingArgumentsNeverCrash) {
  EXPECT_EQ(Format("%s|%d|%s", {}), "||");
  EXPECT_EQ(Format("%s", {static_cast<const char*>(nullptr)}), "(null)");
  EXPECT_EQ(Format("%s %d", {42, "text"}), "42 0");
  EXPECT_EQ(Format(nullptr, {1}), "");
}

TEST(SyncLogFormat, OutputIsCutToTheBufferAtACharacterBoundary) {
  char buffer[5];
  EXPECT_EQ(FormatWsprintfA(buffer, sizeof buffer, "abcdefgh", {}), 4);
  EXPECT_STREQ(buffer, "abcd");
  // "ab" then a double-byte character that would not fit whole into 3 bytes.
  char small[4];
  EXPECT_EQ(FormatWsprintfA(small, sizeof small, "%s", {"ab\x83\x41"}), 2);
  EXPECT_STREQ(small, "ab");
  char untouched = 'u';
  EXPECT_EQ(FormatWsprintfA(&untouched, 0, "abc", {}), 0);
  EXPECT_EQ(untouched, 'u');
}

TEST(SyncLogFormat, OutputStopsAtWsprintfsOwnLimit) {
  const std::string text(3000, 't');
  EXPECT_EQ(Format("%s", {text.c_str()}).size(), kWsprintfMax - 1);
  EXPECT_EQ(Format("%5000d", {1}).size(), kWsprintfMax - 1);
}

TEST(SyncLogStrings, TableIsInIdOrderWithoutRepeats) {
  ASSERT_GT(kConduitStringCount, 0u);
  for (std::size_t i = 1; i < kConduitStringCount; ++i) {
    EXPECT_LT(kConduitStrings[i - 1].id, kConduitStrings[i].id) << kConduitStrings[i].id;
  }
  EXPECT_STREQ(FindConduitString(kStrConduitName), "Generic Conduit");
  EXPECT_EQ(FindConduitString(2), nullptr);
}

TEST(SyncLogStrings, LoadingBehavesAsLoadStringA) {
  char buffer[6];
  EXPECT_EQ(LoadConduitString(kStrConduitName, buffer, 6), 5);
  EXPECT_STREQ(buffer, "Gener");
  EXPECT_EQ(LoadConduitString(9999, buffer, 6), 0);
  EXPECT_STREQ(buffer, "");
  buffer[0] = 'x';
  EXPECT_EQ(LoadConduitString(kStrConduitName, buffer, 0), 0);
  EXPECT_EQ(buffer[0], 'x');
}

}  // namespace
}  // namespace tallimor
