// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of AtomicFile, the one writer that replaces the users file, the .pdb files and
// the HotSync program's small state files: contents and permissions after a
// replacement, a failed write that keeps the old file, and the clean-up of the
// temporaries a killed writer left beside the target.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "store/AtomicFile.h"
#include "store/tests/ScratchDirectory.h"

namespace tallimor {
namespace {

class AtomicFileTest : public ScratchDirectory {
 protected:
  static Result Write(const std::string& path, const std::string& text, std::string* error) {
    return AtomicFile::Write(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                             error);
  }
};

TEST_F(AtomicFileTest, NewFileIsPrivateAndReplacementKeepsThePermissions) {
  const std::string path = Path("users");
  std::string error;
  ASSERT_EQ(Write(path, "first", &error), kOk) << error;
  EXPECT_EQ(Contents(path), "first");
  EXPECT_EQ(Mode(path), 0600u) << "a new file holds secrets until told otherwise";

  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const std::string longer(70000, 'x');  // more than one write() may take at once
  ASSERT_EQ(Write(path, longer, &error), kOk) << error;
  EXPECT_EQ(Contents(path), longer);
  EXPECT_EQ(Mode(path), 0640u);

  ASSERT_EQ(Write(path, "", &error), kOk) << error;
  EXPECT_EQ(Contents(path), "");
  EXPECT_EQ(Entries(), std::vector<std::string>{"users"}) << "no temporary is left behind";
}

TEST_F(AtomicFileTest, FailedWriteNamesThePathAndLeavesNothingBehind) {
  std::string error;
  EXPECT_EQ(Write(Path("missing/users"), "text", &error), kErrWrite);
  EXPECT_NE(error.find("missing/users"), std::string::npos) << error;
  EXPECT_TRUE(Entries().empty());

  // A directory standing where the file should be: the rename fails, the temporary goes.
  const std::string path = Path("taken");
  ASSERT_TRUE(std::filesystem::create_directory(path));
  std::filesystem::create_directory(path + "/inside");
  error.clear();
  EXPECT_EQ(Write(path, "text", &error), kErrWrite);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(Entries(), std::vector<std::string>{"taken"});
  EXPECT_TRUE(std::filesystem::is_directory(path + "/inside"));
}

TEST_F(AtomicFileTest, TemporariesOfKilledWritersAreClearedButNotThoseInUse) {
  const std::string path = Path("Memo.pdb");
  std::ofstream(path + ".tmp-abc123") << "left by a killed writer";
  std::ofstream(Path("Other.pdb.tmp-abc123")) << "another file's temporary";
  // A temporary that a running writer holds locked is not a leftover.
  const std::string busy = path + ".tmp-zzz999";
  const int fd = ::open(busy.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);

  std::string error;
  ASSERT_EQ(Write(path, "database", &error), kOk) << error;
  EXPECT_FALSE(std::filesystem::exists(path + ".tmp-abc123"));
  EXPECT_TRUE(std::filesystem::exists(busy));
  EXPECT_TRUE(std::filesystem::exists(Path("Other.pdb.tmp-abc123")));
  EXPECT_EQ(Contents(path), "database");
  ::close(fd);
}

TEST_F(AtomicFileTest, RemoveTakesAbsentFilesAsDoneAndReportsRealFailures) {
  const std::string path = Path("state");
  std::string error;
  ASSERT_EQ(Write(path, "x", &error), kOk) << error;
  EXPECT_EQ(AtomicFile::Remove(path, &error), kOk) << error;
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(AtomicFile::Remove(path, &error), kOk) << "removing an absent file is not an error";

  const std::string dirPath = Path("nonempty");
  std::filesystem::create_directory(dirPath);
  std::ofstream(dirPath + "/child") << "y";
  error.clear();
  EXPECT_EQ(AtomicFile::Remove(dirPath, &error), kErrWrite);
  EXPECT_NE(error.find("nonempty"), std::string::npos) << error;
}

}  // namespace
}  // namespace tallimor
