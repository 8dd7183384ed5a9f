// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The HotSync root lookup, following the XDG base directory rules for the default.
#include "hotsync/users/HotSyncRoot.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

namespace tallimor {
namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string HomeDirectory() {
  std::string home = Variable("HOME");
  if (!home.empty() && home.front() == '/') return home;
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr && found->pw_dir[0] == '/') {
    return found->pw_dir;
  }
  return "/";  // no home at all: a root path still beats a relative surprise
}

std::string Finished(const std::filesystem::path& dir) {
  std::error_code error;
  std::filesystem::path full = std::filesystem::absolute(dir, error);
  if (error) full = dir;
  std::string text = full.lexically_normal().string();
  if (text.empty() || text.back() != '/') text += '/';
  return text;
}

}  // namespace

std::string HotSyncRoot(std::string_view chosen) {
  if (!chosen.empty()) return Finished(std::filesystem::path(chosen));
  const std::string named = Variable(kHotSyncRootVariable);
  if (!named.empty()) return Finished(named);
  const std::string data = Variable("XDG_DATA_HOME");
  if (!data.empty() && data.front() == '/') {
    return Finished(std::filesystem::path(data) / "Tallimor" / "HotSync");
  }
  return Finished(std::filesystem::path(HomeDirectory()) / ".local" / "share" / "Tallimor" /
                  "HotSync");
}

}  // namespace tallimor
