// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the HotSync root lookup: which setting wins, and the form of the path.
#include "hotsync/users/HotSyncRoot.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

namespace tallimor {
namespace {

// Sets or clears an environment variable for one test, and puts it back.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value == nullptr) {
      ::unsetenv(name);
    } else {
      ::setenv(name, value, 1);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(UsersRoot, ChosenRootThenVariableThenXdgThenHome) {
  ScopedVariable root(kHotSyncRootVariable, "/env/root");
  ScopedVariable data("XDG_DATA_HOME", "/xdg/data");
  ScopedVariable home("HOME", "/home/taro");
  EXPECT_EQ(HotSyncRoot("/chosen//dir"), "/chosen/dir/");
  EXPECT_EQ(HotSyncRoot(), "/env/root/");
  ::setenv(kHotSyncRootVariable, "", 1);  // empty counts as unset
  EXPECT_EQ(HotSyncRoot(), "/xdg/data/Tallimor/HotSync/");
  ::unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(HotSyncRoot(), "/home/taro/.local/share/Tallimor/HotSync/");
  ::setenv("XDG_DATA_HOME", "relative/data", 1);  // not absolute: ignored
  EXPECT_EQ(HotSyncRoot(), "/home/taro/.local/share/Tallimor/HotSync/");
}

TEST(UsersRoot, WithoutHomeThePasswordDatabaseIsAsked) {
  ScopedVariable root(kHotSyncRootVariable, nullptr);
  ScopedVariable data("XDG_DATA_HOME", nullptr);
  ScopedVariable home("HOME", nullptr);
  const std::string found = HotSyncRoot();
  EXPECT_EQ(found.front(), '/');
  EXPECT_EQ(found.substr(found.size() - 31), "/.local/share/Tallimor/HotSync/");
}

TEST(UsersRoot, RelativeRootsAreTakenFromTheCurrentDirectory) {
  const std::string cwd = std::filesystem::current_path().string();
  ScopedVariable root(kHotSyncRootVariable, "env/./rel");
  EXPECT_EQ(HotSyncRoot(), cwd + "/env/rel/");
  EXPECT_EQ(HotSyncRoot("chosen"), cwd + "/chosen/");
}

}  // namespace
}  // namespace tallimor
