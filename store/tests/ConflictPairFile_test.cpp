// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The pair file of the memos a HotSync kept in both versions: its exact text, the
// strict reading of each line, and its replacement as a whole.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "store/ConflictPairFile.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

class ConflictPairFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = ConflictPairFile::PathBeside(dir_ + "/Tallimor-Vexa/record.dat");
    ::mkdir((dir_ + "/Tallimor-Vexa").c_str(), 0700);
  }
  std::string Read() const { return testing::ReadWholeFile(path_); }
  void Write(const std::string& text) const { testing::WriteWholeFile(path_, text); }

  testing::TempDir temp_{"pairs"};  // removed after the test
  const std::string dir_ = temp_.path();
  std::string path_;
};

TEST_F(ConflictPairFileTest, LiesBesideTheRecordFileUnderItsOwnExtension) {
  EXPECT_EQ(path_, dir_ + "/Tallimor-Vexa/record.CFL");
  EXPECT_EQ(ConflictPairFile::PathBeside("/a.b/record"), "/a.b/record.CFL");
}

TEST_F(ConflictPairFileTest, WritesTheDocumentedTextAndReadsItBack) {
  ConflictPairFile file(path_);
  const std::vector<ConflictPair> pairs = {{1000, 0x123456, 0x654321}, {4294967295u, 0, 7}};
  ASSERT_EQ(file.Write(pairs), kOk);
  EXPECT_EQ(Read(), "TallimorConflicts 1\n1000 1193046 6636321\n4294967295 0 7\n");
  std::vector<ConflictPair> read;
  ASSERT_EQ(file.Read(&read), kOk);
  EXPECT_EQ(read, pairs);
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // it names the user's memos: private
}

TEST_F(ConflictPairFileTest, NoPairsMeansNoFileAndNoFileMeansNoPairs) {
  ConflictPairFile file(path_);
  std::vector<ConflictPair> read = {{1, 2, 3}};
  ASSERT_EQ(file.Read(&read), kOk);
  EXPECT_TRUE(read.empty());
  ASSERT_EQ(file.Write({{1, 2, 3}}), kOk);
  ASSERT_EQ(file.Write({}), kOk);
  EXPECT_NE(::access(path_.c_str(), F_OK), 0);
}

TEST_F(ConflictPairFileTest, LinesThatAreNotAPairAreSkipped) {
  Write("TallimorConflicts 1\n"
        "1 2 3\n"
        "1 2\n"               // too few
        "1 2 3 4\n"           // too many
        "-1 2 3\n"            // a sign
        "1  2 3\n"            // two spaces
        "4294967296 2 3\n"    // past 32 bits
        "1 2 3x\n"            // trailing text
        "\n"
        "5 6 7");             // no final line break: still a pair
  std::vector<ConflictPair> read;
  ASSERT_EQ(ConflictPairFile(path_).Read(&read), kOk);
  EXPECT_EQ(read, (std::vector<ConflictPair>{{1, 2, 3}, {5, 6, 7}}));
}

TEST_F(ConflictPairFileTest, AFileOfAnotherFormatGivesNothing) {
  Write("TallimorConflicts 2\n1 2 3\n");
  std::vector<ConflictPair> read;
  EXPECT_EQ(ConflictPairFile(path_).Read(&read), kErrReadHeader);
  EXPECT_TRUE(read.empty());
  Write("");
  EXPECT_EQ(ConflictPairFile(path_).Read(&read), kErrReadHeader);
}

TEST_F(ConflictPairFileTest, AFileThatCannotBeWrittenIsReported) {
  // A directory stands where the file would go: it can be neither replaced nor read.
  ::mkdir(path_.c_str(), 0700);
  ConflictPairFile file(path_);
  EXPECT_EQ(file.Write({{1, 2, 3}}), kErrWrite);
  std::vector<ConflictPair> read;
  EXPECT_NE(file.Read(&read), kOk);
  EXPECT_TRUE(read.empty());
}

}  // namespace
}  // namespace tallimor
