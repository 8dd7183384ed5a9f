// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The INI profile: private-profile lookups, atol reading, in-place edits that keep the
// rest of the file, and atomic replacement.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "desktop/CProfile.h"
#include "tests/support/TempDir.h"
#include "store/tests/FaultInjectingFileSystem.h"

namespace tallimor {
namespace {

class DesktopProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    path_ = dir_ + "/sub/dir/Tallimor.ini";
  }

  std::string Read() const {
    std::ifstream in(path_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  void Write(const std::string& text) const {
    std::system(("mkdir -p '" + dir_ + "/sub/dir'").c_str());
    std::ofstream(path_) << text;
  }

  tallimor::testing::TempDir temp_{"profile"};  // removed after the test
  std::string dir_;
  std::string path_;
};

TEST_F(DesktopProfile, MissingFileGivesDefaults) {
  CProfile profile(path_);
  EXPECT_FALSE(profile.Find("Settings", "UserID"));
  EXPECT_EQ(profile.GetInt("Settings", "UserID", -1), -1);
  EXPECT_EQ(profile.GetString("Position", "MainFrame", "x"), "x");
}

TEST_F(DesktopProfile, ReadsValuesAsAtolDoes) {
  Write("[Settings]\nUserID=abc\n[A]\nn= 12x\nm=-7\nbig=99999999999\nneg=-99999999999\nsp=  \n");
  CProfile profile(path_);
  EXPECT_EQ(profile.GetInt("Settings", "UserID", -1), 0);  // not a number: atol gives 0
  EXPECT_EQ(profile.GetInt("A", "n", -1), 12);
  EXPECT_EQ(profile.GetInt("A", "m", 0), -7);
  EXPECT_EQ(profile.GetInt("A", "big", 0), 2147483647);
  EXPECT_EQ(profile.GetInt("A", "neg", 0), -2147483647 - 1);
  EXPECT_EQ(profile.GetInt("A", "sp", 5), 0);
}

TEST_F(DesktopProfile, NamesMatchWithoutRegardToCase) {
  Write("; a comment\n[settings]\r\nuserid = 42 \r\n");
  CProfile profile(path_);
  EXPECT_EQ(profile.GetInt("Settings", "UserID", -1), 42);
  EXPECT_EQ(profile.GetString("SETTINGS", "USERID"), "42");
}

TEST_F(DesktopProfile, WritingCreatesTheFileAndItsDirectories) {
  CProfile profile(path_);
  ASSERT_EQ(profile.WriteString("Settings", "UserID", "7"), kOk);
  EXPECT_EQ(Read(), "[Settings]\nUserID=7\n");
  ASSERT_EQ(profile.WriteString("ContorlBars\\State", "ToolBar", "1"), kOk);
  EXPECT_EQ(Read(), "[Settings]\nUserID=7\n\n[ContorlBars\\State]\nToolBar=1\n");
  EXPECT_EQ(profile.GetString("ContorlBars\\State", "ToolBar"), "1");
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(DesktopProfile, WritingKeepsEveryOtherLine) {
  Write("; kept\n[Settings]\nUserID=1\nOther=x\n\n[Position]\nMainFrame=1:2\n");
  CProfile profile(path_);
  ASSERT_EQ(profile.WriteString("settings", "userid", "-1"), kOk);
  ASSERT_EQ(profile.WriteString("Position", "EditRecord", "3:4"), kOk);
  ASSERT_EQ(profile.WriteString("Settings", "New", "n"), kOk);
  EXPECT_EQ(Read(),
            "; kept\n[Settings]\nuserid=-1\nOther=x\nNew=n\n\n[Position]\nMainFrame=1:2\n"
            "EditRecord=3:4\n");
  // No temporary file is left beside the profile.
  DIR* d = ::opendir((dir_ + "/sub/dir").c_str());
  ASSERT_NE(d, nullptr);
  int entries = 0;
  while (dirent* e = ::readdir(d)) entries += e->d_name[0] != '.';
  ::closedir(d);
  EXPECT_EQ(entries, 1);
}

TEST_F(DesktopProfile, RefusesValuesThatWouldBreakTheFile) {
  CProfile profile(path_);
  ASSERT_EQ(profile.WriteString("Settings", "UserID", "1"), kOk);
  EXPECT_EQ(profile.WriteString("Settings", "UserID", "1\n[Evil]"), kErrWrite);
  EXPECT_EQ(profile.WriteString("Settings\r", "UserID", "1"), kErrWrite);
  EXPECT_EQ(Read(), "[Settings]\nUserID=1\n");
}

// Each of these would be written as a line that reads back as another section or key
// (or as none), so the value could never be found again and might shadow another.
TEST_F(DesktopProfile, RefusesNamesThatWouldNotReadBack) {
  Write("[Settings]\nUserID=1\n");
  CProfile profile(path_);
  EXPECT_EQ(profile.WriteString("S", "[Settings]rID", "0"), kErrWrite);  // a section line
  EXPECT_EQ(profile.WriteString("Settings", "User=ID", "2"), kErrWrite);
  EXPECT_EQ(profile.WriteString("Settings", ";UserID", "2"), kErrWrite);  // a comment
  EXPECT_EQ(profile.WriteString("Settings", " UserID", "2"), kErrWrite);
  EXPECT_EQ(profile.WriteString("Set]tings", "UserID", "2"), kErrWrite);
  EXPECT_EQ(profile.WriteString("Settings ", "UserID", "2"), kErrWrite);
  EXPECT_EQ(Read(), "[Settings]\nUserID=1\n");
  EXPECT_EQ(profile.GetInt("Settings", "UserID", -1), 1);
  // Blanks and brackets inside names are fine.
  ASSERT_EQ(profile.WriteString("My [Section", "Key with]blanks", " v "), kOk);
  EXPECT_EQ(profile.GetString("My [Section", "Key with]blanks"), "v");
}

TEST_F(DesktopProfile, AnOversizedFileIsNeitherReadNorReplaced) {
  Write("[Settings]\nUserID=3\n;" + std::string(CProfile::kMaxFileSize, 'x') + "\n");
  CProfile profile(path_);
  EXPECT_EQ(profile.GetInt("Settings", "UserID", -1), -1);
  EXPECT_EQ(profile.WriteString("Settings", "UserID", "4"), kErrWrite);
  EXPECT_GT(Read().size(), CProfile::kMaxFileSize);
}

// Every call of a clean write is failed in turn: the profile holds the old settings or
// the new ones, no temporary is left beside it, and a write that succeeds has synced
// the directory, so that the rename itself survives a crash.
TEST_F(DesktopProfile, AWriteFailingAtAnyCallKeepsTheOldFileAndLeavesNoTemporary) {
  Write("[Settings]\nUserID=3\n");
  const std::string old = Read();
  FaultInjectingFileSystem faults;
  faults.FailCall(FileCall::kAny, 0, EIO);
  ASSERT_EQ(CProfile(path_).WriteString("Settings", "UserID", "4"), kOk);
  const std::string written = Read();
  EXPECT_GE(faults.Calls(FileCall::kSyncDirectory), 1);
  const int calls = faults.Calls();
  for (int nth = 1; nth <= calls; ++nth) {
    Write(old);
    faults.FailCall(FileCall::kAny, nth, EIO);
    const Result result = CProfile(path_).WriteString("Settings", "UserID", "4");
    EXPECT_EQ(Read(), result == kOk ? written : old) << "call " << nth;
    std::vector<std::string> names;
    DIR* listing = ::opendir((dir_ + "/sub/dir").c_str());
    ASSERT_NE(listing, nullptr);
    while (const dirent* e = ::readdir(listing)) {
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    ::closedir(listing);
    EXPECT_EQ(names, std::vector<std::string>{"Tallimor.ini"}) << "call " << nth;
  }
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST_F(DesktopProfile, AFileThatCannotBeWrittenGivesAnError) {
  // Nobody, root included, can make files under /proc.
  CProfile profile("/proc/tallimor-no-such-dir/Tallimor.ini");
  EXPECT_EQ(profile.WriteString("Settings", "UserID", "4"), kErrWrite);
  EXPECT_EQ(profile.GetInt("Settings", "UserID", -1), -1);
}

}  // namespace
}  // namespace tallimor
