// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The scratch directory: made fresh under $TMPDIR, unique, and removed with everything
// in it, including folders a test made unwritable; Release() hands it over instead.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TempDir.h"

namespace tallimor::testing {
namespace {

namespace fs = std::filesystem;

TEST(TempDirLife, MadeUnderTmpdirAndRemovedWithLockedFoldersInside) {
  const TempDir parent("parent");
  const char* old = std::getenv("TMPDIR");
  const std::string saved = old != nullptr ? old : "";
  ::setenv("TMPDIR", (parent.path() + "/").c_str(), 1);
  std::string path;
  {
    TempDir a("life"), b("life");
    path = a.path();
    EXPECT_EQ(path.rfind(parent.path() + "/tallimor-life-", 0), 0u) << path;
    EXPECT_NE(a.path(), b.path());
    EXPECT_TRUE(a.Write("deep/er/file.txt", std::string("one\0two", 7)));
    EXPECT_EQ(a.Read("deep/er/file.txt"), std::string("one\0two", 7));
    EXPECT_EQ(a.Read("absent"), "");
    EXPECT_EQ(a.Join("x/y"), path + "/x/y");
    ASSERT_EQ(::chmod(a.Join("deep/er").c_str(), 0), 0);
    ASSERT_EQ(::chmod(a.Join("deep").c_str(), 0500), 0);
  }
  EXPECT_FALSE(fs::exists(path));
  if (old != nullptr) {
    ::setenv("TMPDIR", saved.c_str(), 1);
  } else {
    ::unsetenv("TMPDIR");
  }
}

TEST(TempDirLife, ReleaseAndMoveHandOwnershipOver) {
  std::string released;
  {
    TempDir dir("release");
    released = dir.Release();
    EXPECT_TRUE(dir.path().empty());
  }
  EXPECT_TRUE(fs::is_directory(released));
  TempDir::RemoveTree(released);
  EXPECT_FALSE(fs::exists(released));

  TempDir first("move");
  const std::string path = first.path();
  {
    TempDir second(std::move(first));
    EXPECT_EQ(second.path(), path);
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_THROW(TempDir("x", "/nonexistent/parent"), std::runtime_error);
}

}  // namespace
}  // namespace tallimor::testing
