// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The INI profile. Reads parse the whole file each time, as a private profile does, so
// two instances never see stale values; writes edit the lines in place and replace the
// file atomically (temporary beside it, fsync, rename).
#include "desktop/CProfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <vector>

#include "store/FileSystem.h"

namespace tallimor {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// The section name of a "[name]" line, or nothing for other lines.
std::optional<std::string_view> SectionOf(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return std::nullopt;
  size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

// Splits a "key=value" line; nothing for comments and lines without "=".
bool SplitKey(std::string_view line, std::string_view& key, std::string_view& value) {
  std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return false;
  size_t eq = trimmed.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(trimmed.substr(0, eq));
  value = Trim(trimmed.substr(eq + 1));
  return true;
}

// True when `name` would be read back as itself from a "[name]" or "name=" line: the
// reader drops blanks at its ends and stops it at the first `stop` character.
bool ReadsBackAsName(std::string_view name, std::string_view stop) {
  return Trim(name) == name && name.find_first_of(stop) == std::string_view::npos;
}

// Reads the file into lines. Missing file: true with no lines. Unreadable or too big: false.
bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISREG(st.st_mode) || static_cast<std::size_t>(st.st_size) > CProfile::kMaxFileSize)
    return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
  }
  return !in.bad();
}

// Replaced whole through the file-system seam, private to the user, the missing
// directories above it made private too.
bool WriteFileAtomically(const std::string& path, const std::string& content) {
  FileSystem* fs = FileSystem::Default();
  fs->MakePrivateParents(path);
  FileSystem::ReplaceOptions options;
  options.mode = 0600;
  return fs->Replace(path, content.data(), content.size(), options, nullptr) == kOk;
}

}  // namespace

std::int32_t ParseAtol(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos]))) ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  long long value = 0;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    if (value <= static_cast<long long>(INT32_MAX) + 1) value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (negative) value = -value;
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

CProfile::CProfile(std::string path) : path_(std::move(path)) {}

std::optional<std::string> CProfile::Find(std::string_view section, std::string_view key) const {
  std::vector<std::string> lines;
  if (!ReadLines(path_, lines)) return std::nullopt;
  bool inSection = false;
  for (const std::string& line : lines) {
    if (auto name = SectionOf(line)) {
      inSection = EqualNoCase(*name, section);
      continue;
    }
    std::string_view k, v;
    if (inSection && SplitKey(line, k, v) && EqualNoCase(k, key)) return std::string(v);
  }
  return std::nullopt;
}

std::string CProfile::GetString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  std::optional<std::string> value = Find(section, key);
  return value ? *value : std::string(fallback);
}

std::int32_t CProfile::GetInt(std::string_view section, std::string_view key,
                              std::int32_t fallback) const {
  std::optional<std::string> value = Find(section, key);
  return value ? ParseAtol(*value) : fallback;
}

Result CProfile::WriteString(std::string_view section, std::string_view key,
                             std::string_view value) {
  // A line break inside a name or value would split the entry and corrupt the file.
  for (std::string_view part : {section, key, value}) {
    if (part.find_first_of("\r\n") != std::string_view::npos) return kErrWrite;
  }
  if (!ReadsBackAsName(section, "]") || !ReadsBackAsName(key, "=") ||
      (!key.empty() && std::string_view(";#[").find(key.front()) != std::string_view::npos)) {
    return kErrWrite;
  }
  std::vector<std::string> lines;
  if (!ReadLines(path_, lines)) return kErrWrite;
  std::string entry = std::string(key) + "=" + std::string(value);

  // Find the section, and within it the key or the place after its last key line.
  bool inSection = false;
  bool found = false;
  size_t insertAt = lines.size();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (auto name = SectionOf(lines[i])) {
      if (inSection) break;  // the section ended without the key
      inSection = EqualNoCase(*name, section);
      if (inSection) {
        found = true;
        insertAt = i + 1;
      }
      continue;
    }
    if (!inSection) continue;
    std::string_view k, v;
    if (SplitKey(lines[i], k, v)) {
      if (EqualNoCase(k, key)) {
        lines[i] = entry;
        insertAt = std::string::npos;
        break;
      }
      insertAt = i + 1;
    }
  }
  if (!found) {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + std::string(section) + "]");
    lines.push_back(entry);
  } else if (insertAt != std::string::npos) {
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), entry);
  }

  std::string content;
  for (const std::string& line : lines) content += line + "\n";
  return WriteFileAtomically(path_, content) ? kOk : kErrWrite;
}

}  // namespace tallimor
