// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the users file reader with arbitrary contents. Whatever it accepts must be
// safe to use (a directory inside the root, unique ids), must be written back byte
// for byte, and must keep every line through the changes the programs make (a value,
// a new user), after which it reads the same users plus the change. A new user's id
// is one the file never named.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "hotsync/users/UsersDocument.h"
#include "hotsync/users/UsersFile.h"

namespace {

using tallimor::HotSyncUser;
using tallimor::UsersDocument;
using tallimor::UsersFile;

// Values compare in any order: a changed line keeps its place in the file.
std::set<std::tuple<std::string, std::string, std::int32_t>> Values(const HotSyncUser& user) {
  std::set<std::tuple<std::string, std::string, std::int32_t>> values;
  for (const auto& v : user.values) values.emplace(v.section, v.key, v.value);
  return values;
}

bool Same(const HotSyncUser& a, const HotSyncUser& b) {
  return a.id == b.id && a.name == b.name && a.directory == b.directory &&
         a.values.size() == b.values.size() && Values(a) == Values(b);
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t end = text.find('\n', pos);
    end = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return lines;
}

// A line as the check compares it: the value of the two keys the changes set may differ.
std::string_view Compared(std::string_view line) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return line;
  std::string key(line.substr(0, equals));
  for (char& c : key) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) key.pop_back();
  const std::size_t start = key.find_first_not_of(" \t");
  if (start != std::string::npos) key.erase(0, start);
  return key == "lastcategory" || key == "highestid" ? line.substr(0, equals + 1) : line;
}

// Whether the lines of `before` are all in `after`, in order, but for the values of
// those two keys; a last line without a line end may gain one.
bool KeepsLines(std::string_view before, std::string_view after) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (before.starts_with(kByteOrderMark)) {
    if (!after.starts_with(kByteOrderMark)) return false;
    before.remove_prefix(kByteOrderMark.size());
    after.remove_prefix(kByteOrderMark.size());
  }
  const std::vector<std::string_view> old = Lines(before);
  const std::vector<std::string_view> now = Lines(after);
  std::size_t at = 0;
  for (std::size_t i = 0; i < old.size(); ++i) {
    const std::string_view line = Compared(old[i]);
    const bool open = i + 1 == old.size() && line.back() != '\n';
    bool found = false;
    while (!found && at < now.size()) {
      std::string_view candidate = Compared(now[at++]);
      if (open && candidate.size() > line.size()) candidate = candidate.substr(0, line.size());
      found = candidate == line;
    }
    if (!found) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  UsersDocument document;
  tallimor::UsersFileFault fault;
  if (document.Read(text, &fault) != tallimor::kOk) {
    if (fault.reason.empty() || !document.users().empty() || !document.Text().empty()) std::abort();
    return 0;
  }
  if (document.Text() != text) std::abort();
  const auto& users = document.users();
  std::set<std::uint32_t> ids;
  for (const auto& user : users) {
    if (!UsersFile::IsValidDirectory(user.directory) || !ids.insert(user.id).second ||
        user.id == UsersFile::kNoUser || user.values.size() > UsersFile::kMaxValuesPerUser ||
        !document.DirectoryTaken(user.directory)) {
      std::abort();
    }
  }

  // What a new file for these users holds reads back the same.
  const auto again = UsersFile::Parse(UsersFile::Format(users));
  if (again.size() != users.size()) std::abort();
  for (std::size_t i = 0; i < users.size(); ++i) {
    if (!Same(users[i], again[i])) std::abort();
  }

  // The programs' changes keep every other line, and read back as made.
  UsersDocument changed = document;
  std::vector<HotSyncUser> expected = users;
  if (!users.empty()) {
    const tallimor::UserValue value{"Tallimore-Vexa", "LastCategory", 11};
    if (changed.SetValue(users[0].id, value) == tallimor::kOk) {
      UsersFile::SetValue(expected[0].values, value);
    }
  }
  const std::uint32_t id = changed.NewId();
  if (id != UsersFile::kNoUser && users.size() < UsersFile::kMaxUsers &&
      !changed.DirectoryTaken("FuzzNew")) {
    if (ids.count(id) != 0 || changed.UnusableWithId(id) != nullptr) std::abort();
    const HotSyncUser added{id, "Fuzz New", "FuzzNew", {}};
    changed.AddUser(added);
    expected.push_back(added);
  }
  const std::string rewritten = changed.Text();
  if (!KeepsLines(text, rewritten)) std::abort();
  UsersDocument reread;
  if (reread.Read(rewritten, &fault) != tallimor::kOk && rewritten.size() <= UsersFile::kMaxFileSize) {
    std::abort();
  }
  if (rewritten.size() <= UsersFile::kMaxFileSize) {
    if (reread.users().size() != expected.size()) std::abort();
    for (std::size_t i = 0; i < expected.size(); ++i) {
      if (!Same(reread.users()[i], expected[i])) std::abort();
    }
  }
  return 0;
}
