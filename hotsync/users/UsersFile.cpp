// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The users file on disk and its text: reading the file (only a regular file, and
// only as much as a users file can be), writing it atomically, a new file's
// contents, and the escaping of names. Reading the lines is UsersDocument's.
#include "hotsync/users/UsersFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/AtomicFile.h"
#include "hotsync/users/UsersDocument.h"
#include "hotsync/users/UsersResults.h"
#include "store/FileSystem.h"
#include "text/ShownText.h"

namespace tallimor {
namespace {

constexpr std::string_view kHeader =
    "# Tallimor HotSync users: one [User <id>] section per user, in the order the\n"
    "# users were added, and one [User <id> <section>] section for each section of\n"
    "# that user's 32-bit values. Text is code page 932: bytes outside printable\n"
    "# ASCII, the characters \\ = [ ] # ; and spaces at either end are written \\xHH.\n";

}  // namespace

bool UsersFile::SetValue(std::vector<UserValue>& values, UserValue value) {
  // Values of one section stay together, so that each section is written once.
  std::size_t after = values.size();
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i].section != value.section) continue;
    if (values[i].key == value.key) {
      values[i].value = value.value;
      return true;
    }
    after = i + 1;
  }
  if (values.size() >= kMaxValuesPerUser) return false;
  values.insert(values.begin() + static_cast<std::ptrdiff_t>(after), std::move(value));
  return true;
}

bool UsersFile::IsValidName(std::string_view name) {
  if (name.empty() || name.size() > kMaxNameBytes) return false;
  for (char c : name) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return false;
  }
  return true;
}

bool UsersFile::IsValidDirectory(std::string_view directory) {
  if (directory.empty() || directory.size() > kMaxDirectoryBytes || directory == "." ||
      directory == "..") {
    return false;
  }
  for (char c : directory) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F || b == '/') return false;
  }
  return true;
}

bool UsersFile::IsValidKey(std::string_view key) {
  return !key.empty() && key.size() <= kMaxKeyBytes && key.find('\0') == std::string_view::npos;
}

std::string UsersFile::Escape(std::string_view text) {
  static constexpr std::string_view kSpecial = "\\=[]#;";
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    const bool edgeSpace = b == ' ' && (i == 0 || i + 1 == text.size());
    if (b < 0x20 || b >= 0x7F || edgeSpace || kSpecial.find(text[i]) != std::string_view::npos) {
      AppendByteEscape(out, b);
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string UsersFile::Unescape(std::string_view text) {
  const auto hex = HexDigitValue;
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x' && hex(text[i + 2]) >= 0 &&
        hex(text[i + 3]) >= 0) {
      out += static_cast<char>(hex(text[i + 2]) * 16 + hex(text[i + 3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string UsersFile::FoldCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::vector<HotSyncUser> UsersFile::Parse(std::string_view data) {
  UsersDocument document;
  UsersFileFault fault;
  if (document.Read(data, &fault) != kOk) return {};
  return document.users();
}

std::string UsersFile::Format(const std::vector<HotSyncUser>& users) {
  std::string out(kHeader);
  for (const HotSyncUser& user : users) {
    const std::string head = "[User " + std::to_string(user.id);
    out += "\n" + head + "]\nName=" + Escape(user.name) + "\nDirectory=" +
           Escape(user.directory) + "\n";
    // SetValue keeps each section's values together, so a header is written
    // whenever the section changes.
    for (std::size_t i = 0; i < user.values.size(); ++i) {
      const UserValue& v = user.values[i];
      if (i == 0 || user.values[i - 1].section != v.section) {
        out += "\n" + head + " " + Escape(v.section) + "]\n";
      }
      out += Escape(v.key) + "=" + std::to_string(v.value) + "\n";
    }
  }
  return out;
}

Result UsersFile::ReadText(const std::string& path, std::string* text, bool* exists,
                           UsersFileFault* fault) {
  text->clear();
  *exists = false;
  // Not following a symbolic link, and not waiting on a named pipe.
  const int fd = FileSystem::Default()->OpenRegular(path, O_NOFOLLOW);
  if (fd < 0) {
    const int err = errno;
    if (err == ENOENT) return kOk;
    struct stat st {};
    if (err == ELOOP) {
      *fault = {0, "it is a symbolic link, not a regular file"};
    } else if (err == EINVAL && ::stat(path.c_str(), &st) == 0) {
      *exists = true;  // something stands under the name, just not a file
      *fault = {0, S_ISDIR(st.st_mode) ? "it is a directory, not a regular file" : "it is not a regular file"};
    } else {
      *fault = {0, std::strerror(err)};
    }
    return kUsersErrBadFile;
  }
  *exists = true;
  Result result = kOk;
  char buffer[65536];
  while (result == kOk) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *fault = {0, std::strerror(errno)};
      result = kUsersErrBadFile;
      break;
    }
    if (n == 0) break;
    if (text->size() + static_cast<std::size_t>(n) > kMaxFileSize) {
      *fault = {0, "it is larger than " + std::to_string(kMaxFileSize) + " bytes"};
      result = kUsersErrFileTooLarge;
      break;
    }
    text->append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (result != kOk) text->clear();
  return result;
}

Result UsersFile::Load(const std::string& path, std::vector<HotSyncUser>* users) {
  users->clear();
  std::string text;
  bool exists = false;
  UsersFileFault fault;
  Result result = ReadText(path, &text, &exists, &fault);
  UsersDocument document;
  if (result == kOk) result = document.Read(text, &fault);
  if (result != kOk) {
    SetUsersResultDetail(result, Describe(path, fault));
    return result;
  }
  *users = document.users();
  return kOk;
}

Result UsersFile::WriteText(const std::string& path, std::string_view text) {
  std::string error;
  const Result result = AtomicFile::Write(path, reinterpret_cast<const std::uint8_t*>(text.data()),
                                          text.size(), &error);
  if (result != kOk) SetUsersResultDetail(result, path + ": " + error);
  return result;
}

Result UsersFile::Save(const std::string& path, const std::vector<HotSyncUser>& users) {
  return WriteText(path, Format(users));
}

std::string UsersFile::Describe(const std::string& path, const UsersFileFault& fault) {
  if (fault.line == 0) return path + ": " + fault.reason;
  return path + ", line " + std::to_string(fault.line) + ": " + fault.reason;
}

}  // namespace tallimor
