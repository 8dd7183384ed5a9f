// Reader and writer of the users file. The reader takes whatever it is given: it
// checks every id, name and directory before a user is accepted, so a hostile
// file cannot name a directory outside the HotSync root or make two users share one.
#include "hotsync/users/UsersFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <map>
#include <set>

#include "hotsync/pdb/AtomicFile.h"
#include "hotsync/users/UsersResults.h"

namespace tallimor {
namespace {

constexpr std::string_view kHeader =
    "# Tallimor HotSync users: one [User <id>] section per user, in the order the\n"
    "# users were added, and one [User <id> <section>] section for each section of\n"
    "# that user's 32-bit values. Text is code page 932: bytes outside printable\n"
    "# ASCII, the characters \\ = [ ] # ; and spaces at either end are written \\xHH.\n";
constexpr std::string_view kUserPrefix = "User ";

struct ParsedValue {
  std::uint32_t id;
  UserValue value;
};

// Spaces, tabs and the carriage return of a CR LF line end.
std::string_view Trim(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// Directory names are compared without regard to ASCII case, because a HotSync
// root may live on a file system that does not tell them apart.
std::string FoldCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool ParseId(std::string_view text, std::uint32_t* id) {
  if (text.empty() || text.size() > 10) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *id);
  return error == std::errc() && end == text.data() + text.size() && *id != UsersFile::kNoUser;
}

bool ParseValue(std::string_view text, std::int32_t* value) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

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
  static constexpr char kHex[] = "0123456789ABCDEF";
  static constexpr std::string_view kSpecial = "\\=[]#;";
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    const bool edgeSpace = b == ' ' && (i == 0 || i + 1 == text.size());
    if (b < 0x20 || b >= 0x7F || edgeSpace || kSpecial.find(text[i]) != std::string_view::npos) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0x0F];
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string UsersFile::Unescape(std::string_view text) {
  auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
  };
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

std::vector<HotSyncUser> UsersFile::Parse(std::string_view data) {
  std::vector<HotSyncUser> found;          // in order of their first section
  std::map<std::uint32_t, std::size_t> at;  // id -> position in found
  std::vector<ParsedValue> values;

  // Where key lines go: a user's own section, one of their value sections, or
  // nowhere (an unknown or unreadable section).
  enum class Target { kNone, kUser, kValues } target = Target::kNone;
  std::uint32_t id = 0;
  std::string section;

  std::size_t pos = 0;
  while (pos < data.size()) {
    std::size_t eol = data.find('\n', pos);
    if (eol == std::string_view::npos) eol = data.size();
    const std::string_view line = Trim(data.substr(pos, eol - pos));
    pos = eol + 1;
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;

    if (line.front() == '[') {
      target = Target::kNone;
      if (line.back() != ']') continue;
      std::string_view inner = line.substr(1, line.size() - 2);
      if (inner.substr(0, kUserPrefix.size()) != kUserPrefix) continue;
      inner.remove_prefix(kUserPrefix.size());
      const std::size_t space = inner.find(' ');
      if (!ParseId(inner.substr(0, space), &id)) continue;
      if (space == std::string_view::npos) {
        if (at.find(id) == at.end()) {
          if (found.size() >= kMaxUsers) continue;
          at.emplace(id, found.size());
          found.push_back(HotSyncUser{id, {}, {}, {}});
        }
        target = Target::kUser;
      } else {
        section = Unescape(inner.substr(space + 1));
        if (IsValidKey(section)) target = Target::kValues;
      }
      continue;
    }

    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos || target == Target::kNone) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (target == Target::kUser) {
      HotSyncUser& user = found[at.find(id)->second];  // a user section always has its entry
      if (EqualsIgnoringCase(key, "Name")) user.name = Unescape(value);
      if (EqualsIgnoringCase(key, "Directory")) user.directory = Unescape(value);
    } else {
      UserValue v{section, Unescape(key), 0};
      if (IsValidKey(v.key) && ParseValue(value, &v.value) &&
          values.size() < kMaxValues) {
        values.push_back(ParsedValue{id, std::move(v)});
      }
    }
  }

  std::vector<HotSyncUser> users;
  std::set<std::string> directories;
  for (HotSyncUser& user : found) {
    if (!IsValidDirectory(user.directory)) continue;
    if (!directories.insert(FoldCase(user.directory)).second) continue;
    users.push_back(std::move(user));
  }
  at.clear();
  for (std::size_t i = 0; i < users.size(); ++i) at.emplace(users[i].id, i);
  for (ParsedValue& v : values) {
    const auto it = at.find(v.id);
    if (it != at.end()) SetValue(users[it->second].values, std::move(v.value));
  }
  return users;
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

Result UsersFile::Load(const std::string& path, std::vector<HotSyncUser>* users) {
  users->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? kOk : kErrOpenFailed;
  std::string data;
  Result result = kOk;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      result = kErrReadFailed;
      break;
    }
    if (n == 0) break;
    if (data.size() + static_cast<std::size_t>(n) > kMaxFileSize) {
      result = kUsersErrFileTooLarge;
      break;
    }
    data.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (result == kOk) *users = Parse(data);
  return result;
}

Result UsersFile::Save(const std::string& path, const std::vector<HotSyncUser>& users) {
  const std::string text = Format(users);
  std::string error;
  return AtomicFile::Write(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(),
                           &error);
}

}  // namespace tallimor
