// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the HotSync log's line format: what is written for an entry, how code
// page 932 text and control bytes survive, and how a log (hostile or not) is read.
#include "hotsync/log/LogFormat.h"

#include <gtest/gtest.h>

#include <random>

namespace tallimor {
namespace {

constexpr const char* kTime = "2024-05-01 12:34:56";

LogEntry Parsed(const std::string& line) {
  LogEntry entry;
  std::string body = line;
  if (!body.empty() && body.back() == '\n') body.pop_back();
  EXPECT_TRUE(LogFormat::ParseEntry(body, &entry)) << body;
  return entry;
}

TEST(LogFormatEntry, WritesTimeAlignedActivityAndTextOnOneLine) {
  EXPECT_EQ(LogFormat::EntryLine(kTime, -1, "-- Generic Conduit"),
            "2024-05-01 12:34:56  -1 -- Generic Conduit\n");
  EXPECT_EQ(LogFormat::EntryLine(kTime, 19, ""), "2024-05-01 12:34:56  19\n");
  EXPECT_EQ(LogFormat::EntryLine(kTime, 2, "x"), "2024-05-01 12:34:56   2 x\n");
  EXPECT_EQ(LogFormat::EntryLine(kTime, -2147483647 - 1, " lead"),
            "2024-05-01 12:34:56 -2147483648  lead\n");
  const LogEntry e = Parsed(LogFormat::EntryLine(kTime, 17, " -- Could not save"));
  EXPECT_EQ(e.time, kTime);
  EXPECT_EQ(e.activity, 17);
  EXPECT_EQ(e.text, " -- Could not save");
}

TEST(LogFormatEntry, DoubleByteCharacterWithBackslashTrailIsStoredAsIs) {
  // "ソ表" in code page 932: both characters have 0x5C as their second byte.
  const std::string text = "\x83\x5c\x95\x5c and \\ alone";
  const std::string line = LogFormat::EntryLine(kTime, -1, text);
  EXPECT_EQ(line, std::string(kTime) + "  -1 \x83\x5c\x95\x5c and \\\\ alone\n");
  EXPECT_EQ(Parsed(line).text, text);
}

TEST(LogFormatEntry, ControlBytesAndLoneLeadBytesAreEscaped) {
  const std::string text = std::string("a\nb\rc\td\x01\x7f") + "\x83\n" + "\x81";
  const std::string line = LogFormat::EntryLine(kTime, -1, text);
  EXPECT_EQ(line, std::string(kTime) + "  -1 a\\nb\\rc\\td\\x01\\x7F\\x83\\n\\x81\n");
  EXPECT_EQ(Parsed(line).text, text);
}

TEST(LogFormatEntry, TextIsCutAt511BytesWithoutSplittingACharacter) {
  const std::string fits(511, 'a');
  EXPECT_EQ(Parsed(LogFormat::EntryLine(kTime, -1, fits + "b")).text, fits);
  // A double-byte character that would end at byte 512 is dropped whole.
  const std::string head(510, 'a');
  EXPECT_EQ(Parsed(LogFormat::EntryLine(kTime, -1, head + "\x88\x9f")).text, head);
}

TEST(LogFormatEntry, AnyBytesRoundTrip) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text(random() % 40, '\0');
    for (char& c : text) c = static_cast<char>(random() % 256);
    const LogEntry e = Parsed(LogFormat::EntryLine(kTime, round, text));
    ASSERT_EQ(e.text, text) << round;
    ASSERT_EQ(e.activity, round);
  }
}

TEST(LogFormatParse, GroupsEntriesIntoRunsWithTheirOutcome) {
  const std::string log =
      "=== HotSync started 2024-05-01 12:00:00 ===\n"
      "2024-05-01 12:00:01  19\n"
      "2024-05-01 12:00:02  -1 -- Generic Conduit\n"
      "=== HotSync ended 2024-05-01 12:00:03 (failed) ===\n"
      "=== HotSync started 2024-05-02 08:00:00 ===\r\n"
      "2024-05-02 08:00:01  20 Generic Conduit\r\n"
      "=== HotSync ended 2024-05-02 08:00:02 (completed) ===\n";
  const std::vector<LogRun> runs = LogFormat::Parse(log);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].started, "2024-05-01 12:00:00");
  EXPECT_EQ(runs[0].ended, "2024-05-01 12:00:03");
  EXPECT_FALSE(runs[0].completed);
  ASSERT_EQ(runs[0].entries.size(), 2u);
  EXPECT_EQ(runs[0].entries[0].activity, 19);
  EXPECT_EQ(runs[0].entries[0].text, "");
  EXPECT_EQ(runs[0].entries[1].text, "-- Generic Conduit");
  EXPECT_TRUE(runs[1].completed);
  ASSERT_EQ(runs[1].entries.size(), 1u);
  EXPECT_EQ(runs[1].entries[0].text, "Generic Conduit");
}

TEST(LogFormatParse, MarkersFromTheWriterAreReadBack) {
  const std::string log = LogFormat::RunStartLine(kTime) +
                          LogFormat::EntryLine(kTime, 4, "moved") +
                          LogFormat::RunEndLine("2024-05-01 12:35:00", true);
  const std::vector<LogRun> runs = LogFormat::Parse(log);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].started, kTime);
  EXPECT_EQ(runs[0].ended, "2024-05-01 12:35:00");
  EXPECT_TRUE(runs[0].completed);
  ASSERT_EQ(runs[0].entries.size(), 1u);
}

TEST(LogFormatParse, EntriesOutsideAnyStartedRunFormRunsOfTheirOwn) {
  const std::string log =
      "2024-05-01 11:00:00  -1 before\n"
      "=== HotSync started 2024-05-01 12:00:00 ===\n"
      "=== HotSync ended 2024-05-01 12:00:03 (completed) ===\n"
      "2024-05-01 13:00:00  -1 after\n"
      "2024-05-01 13:00:00  -1 after too\n";
  const std::vector<LogRun> runs = LogFormat::Parse(log);
  ASSERT_EQ(runs.size(), 3u);
  EXPECT_EQ(runs[0].started, "");
  ASSERT_EQ(runs[0].entries.size(), 1u);
  EXPECT_EQ(runs[0].entries[0].text, "before");
  EXPECT_TRUE(runs[1].entries.empty());
  EXPECT_EQ(runs[2].started, "");
  EXPECT_EQ(runs[2].entries.size(), 2u);
}

TEST(LogFormatParse, MalformedLinesAreSkipped) {
  const std::string log =
      "=== HotSync started 2024-05-01 12:00:00 ===\n"
      "2024-05-01 12:00:01\n"                 // no activity
      "2024-05-01 12:00:01  x text\n"         // activity not a number
      "2024-05-01 12:00:01 99999999999 big\n"  // activity beyond 32 bits
      "2024-05-01 12:00:01  -1text\n"         // no space before the text
      "2024-13-01T12:00:01  -1 text\n"        // not a time
      "2024-05-01 12:00:01  -1 kept\n"
      "garbage \xff\x01 line\n"
      "=== HotSync ended ===\n"                // prefix and suffix overlap
      "=== HotSync started ===\n"
      "2024-05-01 12:00:01  -1 unterminated \\x4";
  const std::vector<LogRun> runs = LogFormat::Parse(log);
  ASSERT_EQ(runs.size(), 1u);
  ASSERT_EQ(runs[0].entries.size(), 2u);
  EXPECT_EQ(runs[0].entries[0].text, "kept");
  EXPECT_EQ(runs[0].entries[1].text, "unterminated \\x4");
}

}  // namespace
}  // namespace tallimor
