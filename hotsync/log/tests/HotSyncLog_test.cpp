// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of a user's HotSync log as runs are opened and closed and entries are
// added through the library calls: the file's contents, run listing, the header
// question, and appends that never disturb what is already there.
#include "hotsync/log/HotSyncLog.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "hotsync/log/HsLog.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;

class HotSyncLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::unsetenv(HotSyncLog::kRunVariable);
    dir_ = temp_.path();
  }
  void TearDown() override {
    ::unsetenv(HotSyncLog::kRunVariable);
  }
  std::string FileText() const {
    std::ifstream in(dir_ / HotSyncLog::kFileName, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Every line of the file with its time stamp removed ("HH:MM:SS" and the date).
  std::vector<std::string> LinesWithoutTimes() const {
    std::vector<std::string> lines;
    std::istringstream in(FileText());
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("=== ", 0) == 0) {
        const std::size_t at = line.find("20");  // the year of the time stamp
        line.replace(at, 19, "T");
      } else {
        line.replace(0, 19, "T");
      }
      lines.push_back(line);
    }
    return lines;
  }
  tallimor::testing::TempDir temp_{"hslog"};  // removed after the test
  fs::path dir_;
};

using HotSyncLogRun = HotSyncLogTest;
using HotSyncLogHeader = HotSyncLogTest;

TEST_F(HotSyncLogRun, EntriesOfARunAreWrittenAndListedInOrder) {
  HotSyncLog log(dir_.string());
  ASSERT_EQ(log.BeginRun(), kOk);
  LogAddEntry("", 19, 0);
  LogAddEntry("-- Generic Conduit", -1, 0);
  LogAddEntry(" -- Could not save the local database. Error Code 1102", 17, 0);
  std::vector<LogEntry> entries;
  ASSERT_EQ(log.RunEntries(&entries), kOk);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].text, "-- Generic Conduit");
  EXPECT_EQ(entries[2].activity, 17);
  ASSERT_EQ(log.EndRun(true), kOk);

  const std::vector<std::string> expected = {
      "=== HotSync started T ===",
      "T  19",
      "T  -1 -- Generic Conduit",
      "T  17  -- Could not save the local database. Error Code 1102",
      "=== HotSync ended T (completed) ===",
  };
  EXPECT_EQ(LinesWithoutTimes(), expected);
}

TEST_F(HotSyncLogRun, ALaterRunLeavesEarlierRunsByteForByte) {
  {
    HotSyncLog log(dir_.string() + "/");
    ASSERT_EQ(log.BeginRun(), kOk);
    LogAddEntry("first run", -1, 0);
    ASSERT_EQ(log.EndRun(false), kOk);
  }
  const std::string before = FileText();
  HotSyncLog log(dir_.string());
  ASSERT_EQ(log.BeginRun(), kOk);
  LogAddEntry("second run", 4, 0);
  ASSERT_EQ(log.EndRun(true), kOk);
  EXPECT_EQ(FileText().substr(0, before.size()), before);

  std::vector<LogEntry> entries;
  ASSERT_EQ(log.RunEntries(&entries), kOk);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].text, "second run");

  std::vector<LogRun> runs;
  ASSERT_EQ(log.ReadRuns(&runs), kOk);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_FALSE(runs[0].completed);
  EXPECT_EQ(runs[0].entries.at(0).text, "first run");
  EXPECT_TRUE(runs[1].completed);
  EXPECT_EQ(runs[1].entries.at(0).activity, 4);
}

TEST_F(HotSyncLogRun, EntriesWithoutAnOpenRunNeverReachAFile) {
  HotSyncLog log(dir_.string());
  LogAddEntry("", 19, 0);
  ASSERT_EQ(log.BeginRun(), kOk);
  ASSERT_EQ(log.EndRun(true), kOk);
  LogAddEntry("", 20, 0);
  std::vector<LogRun> runs;
  ASSERT_EQ(log.ReadRuns(&runs), kOk);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_TRUE(runs[0].entries.empty());
  EXPECT_EQ(std::getenv(HotSyncLog::kRunVariable), nullptr);
}

TEST_F(HotSyncLogRun, DestroyingAnOpenRunEndsItAsFailed) {
  {
    HotSyncLog log(dir_.string());
    ASSERT_EQ(log.BeginRun(), kOk);
    LogAddEntry("interrupted", -1, 0);
  }
  EXPECT_EQ(LinesWithoutTimes().back(), "=== HotSync ended T (failed) ===");
  EXPECT_EQ(std::getenv(HotSyncLog::kRunVariable), nullptr);
}

TEST_F(HotSyncLogRun, MissingDirectoryIsAClearErrorAndOpensNoRun) {
  HotSyncLog log((dir_ / "no-such-user").string());
  EXPECT_EQ(log.BeginRun(), kErrOpenFailed);
  EXPECT_FALSE(log.running());
  EXPECT_EQ(std::getenv(HotSyncLog::kRunVariable), nullptr);
  std::vector<LogRun> runs;
  EXPECT_EQ(log.ReadRuns(&runs), kOk);
  EXPECT_TRUE(runs.empty());
}

TEST_F(HotSyncLogRun, LogFileIsReadableOnlyByItsOwner) {
  HotSyncLog log(dir_.string());
  ASSERT_EQ(log.BeginRun(), kOk);
  struct stat st {};
  ASSERT_EQ(::stat(log.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(HotSyncLogRun, TextIsReadAtMostTo512BytesAndKeptTo511) {
  HotSyncLog log(dir_.string());
  ASSERT_EQ(log.BeginRun(), kOk);
  // No NUL within the first 512 bytes: the library must not read beyond them.
  std::vector<char> text(600, 'q');
  text.back() = '\0';
  LogAddEntry(text.data(), -1, 0);
  LogAddEntry(nullptr, -1, 0);
  std::vector<LogEntry> entries;
  ASSERT_EQ(log.RunEntries(&entries), kOk);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].text, std::string(511, 'q'));
  EXPECT_EQ(entries[1].text, "");
}

TEST_F(HotSyncLogRun, ConcurrentWritersNeverInterleaveLines) {
  HotSyncLog log(dir_.string());
  ASSERT_EQ(log.BeginRun(), kOk);
  const std::string longText(500, 'c');
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  for (int i = 0; i < 300; ++i) LogAddEntry(longText.c_str(), child == 0 ? 1 : 2, 0);
  if (child == 0) ::_exit(0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  std::vector<LogEntry> entries;
  ASSERT_EQ(log.RunEntries(&entries), kOk);
  ASSERT_EQ(entries.size(), 600u);
  for (const LogEntry& e : entries) EXPECT_EQ(e.text, longText);
}

TEST_F(HotSyncLogRun, AHugeLogIsReadFromItsTail) {
  const std::string path = (dir_ / HotSyncLog::kFileName).string();
  {
    std::ofstream out(path, std::ios::binary);
    const std::string line = LogFormat::EntryLine("2020-01-01 00:00:00", -1, std::string(200, 'o'));
    for (std::uint64_t written = 0; written < HotSyncLog::kMaxRead + 4096; written += line.size()) {
      out << line;
    }
  }
  HotSyncLog log(dir_.string());
  ASSERT_EQ(log.BeginRun(), kOk);
  LogAddEntry("newest", -1, 0);
  ASSERT_EQ(log.EndRun(true), kOk);
  std::vector<LogRun> runs;
  ASSERT_EQ(log.ReadRuns(&runs), kOk);
  ASSERT_EQ(runs.size(), 2u);
  for (const LogEntry& e : runs[0].entries) ASSERT_EQ(e.text, std::string(200, 'o'));
  EXPECT_EQ(runs[1].entries.at(0).text, "newest");
}

TEST_F(HotSyncLogHeader, AskedBeforeTheConduitsFirstEntryOnly) {
  HotSyncLog log(dir_.string());
  ASSERT_EQ(log.BeginRun(), kOk);
  EXPECT_EQ(LogConduitHasEntries(), 0);
  LogAddEntry("", kActivityConduitStart, 0);
  LogAddEntry("", kActivityConduitEnded, 0);
  LogAddEntry("", kActivityConduitStart, 0);
  EXPECT_EQ(LogConduitHasEntries(), 0);
  LogAddEntry("-- Generic Conduit", kActivityText, 0);
  EXPECT_EQ(LogConduitHasEntries(), 1);
  LogAddEntry("Generic Conduit", kActivityConduitFailed, 0);
  EXPECT_EQ(LogConduitHasEntries(), 1);
}

TEST_F(HotSyncLogHeader, ANewConduitStartOrRunStartsAFreshPart) {
  HotSyncLog log(dir_.string());
  ASSERT_EQ(log.BeginRun(), kOk);
  LogAddEntry("error", kActivityDesktopFailed, 0);
  EXPECT_EQ(LogConduitHasEntries(), 1);
  LogAddEntry("", kActivityConduitStart, 0);
  EXPECT_EQ(LogConduitHasEntries(), 0);
  LogAddEntry("error", kActivityModifiedBoth, 0);
  ASSERT_EQ(log.EndRun(false), kOk);
  ASSERT_EQ(log.BeginRun(), kOk);
  EXPECT_EQ(LogConduitHasEntries(), 0);
}

TEST_F(HotSyncLogHeader, EntriesWrittenByAnotherCopyOfTheLibraryCount) {
  HotSyncLog log(dir_.string());
  ASSERT_EQ(log.BeginRun(), kOk);
  EXPECT_EQ(LogConduitHasEntries(), 0);
  // Another process (or a conduit with its own copy of the library) appends.
  ASSERT_EQ(HotSyncLog::AppendLine(log.path(), LogFormat::EntryLine(LogFormat::Now(), -1, "x")),
            kOk);
  EXPECT_EQ(LogConduitHasEntries(), 1);
}

TEST_F(HotSyncLogHeader, NoOpenRunSuppressesTheHeader) {
  EXPECT_EQ(LogConduitHasEntries(), 1);
}

}  // namespace
}  // namespace tallimor
