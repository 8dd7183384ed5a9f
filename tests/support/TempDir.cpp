// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// mkdtemp under the chosen parent, and a removal that also copes with the folders a
// test made unwritable or unreadable to provoke a failure.
#include "tests/support/TempDir.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace tallimor::testing {

namespace fs = std::filesystem;

TempDir::TempDir(std::string_view purpose) : TempDir(purpose, DefaultParent()) {}

TempDir::TempDir(std::string_view purpose, const std::string& parent) {
  std::string pattern = parent + "/tallimor-" + std::string(purpose) + "-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("cannot make a temporary directory " + pattern + ": " + std::strerror(errno));
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  if (!path_.empty()) RemoveTree(path_);
}

TempDir::TempDir(TempDir&& other) noexcept : path_(std::move(other.path_)) { other.path_.clear(); }

TempDir& TempDir::operator=(TempDir&& other) noexcept {
  if (this != &other) {
    if (!path_.empty()) RemoveTree(path_);
    path_ = std::move(other.path_);
    other.path_.clear();
  }
  return *this;
}

std::string TempDir::Join(std::string_view relative) const { return path_ + "/" + std::string(relative); }

std::string TempDir::Read(std::string_view relative) const { return ReadWholeFile(Join(relative)); }

bool TempDir::Write(std::string_view relative, std::string_view content) const {
  const std::string path = Join(relative);
  std::error_code ec;
  fs::create_directories(fs::path(path).parent_path(), ec);
  return WriteWholeFile(path, content);
}

std::string TempDir::Release() {
  std::string path = std::move(path_);
  path_.clear();
  return path;
}

std::string TempDir::DefaultParent() {
  const char* chosen = std::getenv("TMPDIR");
  std::string parent = chosen != nullptr && *chosen != '\0' ? chosen : "/tmp";
  while (parent.size() > 1 && parent.back() == '/') parent.pop_back();
  return parent;
}

std::string TempDir::MemoryParent() {
  std::error_code ec;
  if (fs::is_directory("/dev/shm", ec) && ::access("/dev/shm", W_OK) == 0) return "/dev/shm";
  return DefaultParent();
}

void TempDir::RemoveTree(const std::string& path) {
  std::error_code ec;
  if (fs::remove_all(path, ec) != static_cast<std::uintmax_t>(-1) && !ec) return;
  // A folder without write or search rights keeps its entries: restore them and retry.
  fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ec);
  for (auto it = fs::recursive_directory_iterator(path, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
  }
  fs::remove_all(path, ec);
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WriteWholeFile(const std::string& path, std::string_view content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace tallimor::testing
