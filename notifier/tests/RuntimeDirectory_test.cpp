// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The private runtime directory: which one is chosen, that it is made private, and that
// a directory others can enter, or that is not the user's own, is refused.
#include "notifier/RuntimeDirectory.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "notifier/WindowMessageResult.h"
#include "notifier/tests/TestSupport.h"

namespace tallimor {
namespace {

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
  return info.st_mode & 07777;
}

class WindowMessageRuntimeDirectory : public ::testing::Test {
 protected:
  testing::ScopedRuntimeDir scratch_;  // a private parent for the directories tried here
  std::string Fallback() const {
    return scratch_.path() + "/tallimor-" + std::to_string(geteuid());
  }
};

TEST_F(WindowMessageRuntimeDirectory, AbsoluteXdgRuntimeDirIsUsed) {
  RuntimePath dir{};
  ASSERT_EQ(RuntimeDirectory::Resolve(scratch_.path().c_str(), "/nonexistent", &dir), kOk);
  EXPECT_EQ(std::string(dir.data()), scratch_.path());

  // Locate reads the environment, which ScopedRuntimeDir has pointed here.
  RuntimePath entry{};
  ASSERT_EQ(RuntimeDirectory::EntryPath("Tallimor-Vexa", &entry), kOk);
  EXPECT_EQ(std::string(entry.data()), scratch_.Entry("Tallimor-Vexa"));
}

TEST_F(WindowMessageRuntimeDirectory, FallbackIsCreatedPrivateWhenXdgIsUnsetEmptyOrRelative) {
  const std::string parent = scratch_.path();
  for (const char* xdg : {static_cast<const char*>(nullptr), "", "relative/dir"}) {
    RuntimePath dir{};
    ASSERT_EQ(RuntimeDirectory::Resolve(xdg, parent.c_str(), &dir), kOk);
    EXPECT_EQ(std::string(dir.data()), Fallback());
    EXPECT_EQ(ModeOf(Fallback()), 0700u);
  }
}

TEST_F(WindowMessageRuntimeDirectory, MissingXdgDirectoryIsCreatedPrivate) {
  const std::string dir = scratch_.Entry("run");
  RuntimePath found{};
  ASSERT_EQ(RuntimeDirectory::Resolve(dir.c_str(), "/nonexistent", &found), kOk);
  EXPECT_EQ(ModeOf(dir), 0700u);
}

TEST_F(WindowMessageRuntimeDirectory, DirectoryOthersCanEnterIsRefusedNotRepaired) {
  const std::string parent = scratch_.path();
  for (mode_t mode : {0750, 0705, 0701, 0777}) {
    ASSERT_EQ(mkdir(Fallback().c_str(), 0700), 0);
    ASSERT_EQ(chmod(Fallback().c_str(), mode), 0);
    RuntimePath dir{};
    EXPECT_EQ(RuntimeDirectory::Resolve(nullptr, parent.c_str(), &dir), kWmUnsafeDirectory) << mode;
    EXPECT_EQ(RuntimeDirectory::Resolve(Fallback().c_str(), "/nonexistent", &dir),
              kWmUnsafeDirectory);
    EXPECT_EQ(ModeOf(Fallback()), mode);
    ASSERT_EQ(rmdir(Fallback().c_str()), 0);
  }
}

// Someone else may plant the fallback name in a shared /tmp before the user's first start.
TEST_F(WindowMessageRuntimeDirectory, PlantedLinkOrFileIsRefused) {
  const std::string parent = scratch_.path();
  const std::string target = scratch_.Entry("elsewhere");
  ASSERT_EQ(mkdir(target.c_str(), 0700), 0);
  ASSERT_EQ(symlink(target.c_str(), Fallback().c_str()), 0);
  RuntimePath dir{};
  EXPECT_EQ(RuntimeDirectory::Resolve(nullptr, parent.c_str(), &dir), kWmUnsafeDirectory);
  ASSERT_EQ(unlink(Fallback().c_str()), 0);

  FILE* file = fopen(Fallback().c_str(), "w");
  ASSERT_NE(file, nullptr);
  fclose(file);
  EXPECT_EQ(RuntimeDirectory::Resolve(nullptr, parent.c_str(), &dir), kWmUnsafeDirectory);
}

TEST_F(WindowMessageRuntimeDirectory, DirectoryOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "giving a directory to another user needs root";
  const std::string parent = scratch_.path();
  ASSERT_EQ(mkdir(Fallback().c_str(), 0700), 0);
  ASSERT_EQ(chown(Fallback().c_str(), 65534, 65534), 0);
  RuntimePath dir{};
  EXPECT_EQ(RuntimeDirectory::Resolve(nullptr, parent.c_str(), &dir), kWmUnsafeDirectory);
}

TEST_F(WindowMessageRuntimeDirectory, PathThatCannotBeASocketAddressIsRefused) {
  const std::string deep = "/" + std::string(kRuntimePathCapacity, 'd');
  RuntimePath dir{};
  EXPECT_EQ(RuntimeDirectory::Resolve(deep.c_str(), "/tmp", &dir), kWmPathTooLong);

  // The directory fits, the socket's name inside it does not.
  const std::string name(kRuntimePathCapacity - scratch_.path().size() - 1, 'n');
  RuntimePath entry{};
  EXPECT_EQ(RuntimeDirectory::EntryPath(name.c_str(), &entry), kWmPathTooLong);
  EXPECT_EQ(RuntimeDirectory::EntryPath(name.substr(1).c_str(), &entry), kOk);
}

}  // namespace
}  // namespace tallimor
