// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Test support: a fixture with a fresh directory of its own, removed afterwards, and
// the few looks at it the file-writing tests share (contents, mode, entries).
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TempDir.h"

namespace tallimor {

class ScratchDirectory : public ::testing::Test {
 protected:

  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  static std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  static unsigned Mode(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st.st_mode & 07777;
  }
  // The names in the directory, in the order the directory lists them.
  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename());
    return names;
  }

  tallimor::testing::TempDir temp_{"files"};  // removed after the test
  const std::string dir_ = temp_.path();     // the fixture's own directory
};

}  // namespace tallimor
