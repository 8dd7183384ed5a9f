// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the profile reader: arbitrary bytes as Tallimor.ini, read for a few
// names and then edited. Whatever the file holds, a value written must read back as
// written (blanks at its ends aside), a key of another section must keep its value, and
// every number the program reads must survive being written and read again.
//
// Input: section, key, other key and value, each ended by a NUL, then the file. With
// fewer than four NULs the whole input is the file and the program's own names are used.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "desktop/CProfile.h"

namespace {

std::string ScratchPath() {
  // tmpfs when there is one: every write syncs the file to disk.
  const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return std::string(dir) + "/tallimor-profile-fuzz-" + std::to_string(getpid()) + ".ini";
}

bool WriteAll(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::string_view Trim(std::string_view text) {
  const char* blanks = " \t\n\v\f\r";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using tallimor::CProfile;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  while (fields.size() < 4) {
    const std::size_t nul = input.find('\0', start);
    if (nul == std::string_view::npos) break;
    fields.push_back(input.substr(start, nul - start));
    start = nul + 1;
  }
  std::string_view section = "Settings", key = "UserID", other = "LastCategory", value = "42";
  std::string_view file = input;
  if (fields.size() == 4) {
    section = fields[0];
    key = fields[1];
    other = fields[2];
    value = fields[3];
    file = input.substr(start);
  }

  static const std::string path = ScratchPath();
  if (!WriteAll(path, file)) return 0;
  CProfile profile(path);

  // The reads the program makes at start-up, whatever the file holds.
  const std::int32_t userId = profile.GetInt("Settings", "UserID", -1);
  if (tallimor::ParseAtol(std::to_string(userId)) != userId) std::abort();
  profile.GetString("Position", "MainFrame");
  profile.Find("BarState", "Layout");

  // Another section's key, unchanged by the write.
  const std::string otherSection = std::string(section) + "-other";
  const std::optional<std::string> before = profile.Find(otherSection, other);
  const std::optional<std::string> sameSectionBefore = profile.Find(section, other);

  if (profile.WriteString(section, key, value) == tallimor::kOk) {
    const std::optional<std::string> read = profile.Find(section, key);
    if (!read || *read != Trim(value)) std::abort();
    if (profile.Find(otherSection, other) != before) std::abort();
    if (!EqualNoCase(other, key) && profile.Find(section, other) != sameSectionBefore) std::abort();
  }
  std::remove(path.c_str());
  return 0;
}
