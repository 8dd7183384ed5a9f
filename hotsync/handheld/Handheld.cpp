// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The emulated handheld's directory: the identity file and the mapping of database
// names to .pdb files. Every file is replaced atomically.
#include "hotsync/handheld/Handheld.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "store/AtomicFile.h"
#include "store/FileSystem.h"
#include "store/IniDocument.h"

namespace tallimor {
namespace {

Result Fail(std::string* error, Result code, const std::string& text) {
  if (error) *error = text;
  return code;
}

constexpr const char* kPdbExtension = ".pdb";

}  // namespace

Handheld::Handheld(std::string directory, HandheldIdentity identity)
    : directory_(std::move(directory)), identity_(std::move(identity)) {
  while (directory_.size() > 1 && directory_.back() == '/') directory_.pop_back();
}

Result Handheld::CheckIdentity(const HandheldIdentity& identity, std::string* error) {
  if (identity.userName.empty()) {
    return Fail(error, kSyncErrBadArgument, "the user name is empty; a handheld without one cannot be HotSynced");
  }
  if (identity.userName.size() > kMaxUserNameLength) {
    return Fail(error, kSyncErrBadArgument, "the user name is longer than 40 bytes");
  }
  for (unsigned char c : identity.userName) {
    if (c < 0x20 || c == 0x7F) return Fail(error, kSyncErrBadArgument, "the user name holds a control character");
  }
  if (IniDocument::Trim(identity.userName) != identity.userName) {
    return Fail(error, kSyncErrBadArgument, "the user name starts or ends with white space");
  }
  return kSyncErrNone;
}

Result Handheld::ParseIdentity(const std::string& text, HandheldIdentity* out, std::string* error) {
  HandheldIdentity identity;
  bool inHandheld = true;
  bool sawName = false;
  const IniDocument document(text);
  for (std::size_t index = 0; index < document.lines().size(); ++index) {
    const std::string_view line = document.lines()[index].text;
    const std::string where = "line " + std::to_string(index + 1) + ": ";
    const std::string_view trimmed = IniDocument::Trim(line);
    if (trimmed.empty() || IniDocument::IsComment(trimmed)) continue;
    if (IniDocument::IsSectionLine(line)) {
      const IniDocument::SectionLine section = IniDocument::ReadSectionLine(line);
      if (!section.wellFormed) return Fail(error, kSyncErrCorruptDatabase, where + "unclosed section header");
      inHandheld = section.name == "Handheld";
      continue;
    }
    if (!inHandheld) continue;
    std::string_view key;
    std::string_view value;
    if (!IniDocument::KeyLine(line, &key, &value)) {
      return Fail(error, kSyncErrCorruptDatabase, where + "expected Key=Value");
    }
    if (key == "UserName") {
      identity.userName = value;
      sawName = true;
    } else if (key == "UserId") {
      const std::string number(value);
      if (number.empty() || number.size() > 10 || number.find_first_not_of("0123456789") != std::string::npos ||
          std::stoull(number) > 0xFFFFFFFFull) {
        return Fail(error, kSyncErrCorruptDatabase, where + "UserId must be a number from 0 to 4294967295");
      }
      identity.userId = static_cast<std::uint32_t>(std::stoull(number));
    }
    // Other keys belong to later versions or to the user's notes; they are ignored.
  }
  if (!sawName) return Fail(error, kSyncErrCorruptDatabase, "no UserName line");
  std::string why;
  if (CheckIdentity(identity, &why) != kSyncErrNone) return Fail(error, kSyncErrCorruptDatabase, why);
  *out = std::move(identity);
  return kSyncErrNone;
}

std::string Handheld::FormatIdentity(const HandheldIdentity& identity) {
  return "# Tallimor emulated handheld: the identity a HotSync reads from the handheld.\n"
         "[Handheld]\n"
         "UserName=" + identity.userName + "\n"
         "UserId=" + std::to_string(identity.userId) + "\n";
}

Result Handheld::Create(const std::string& directory, const HandheldIdentity& identity, std::string* error) {
  if (directory.empty()) return Fail(error, kSyncErrBadArgument, "no directory given");
  const Result valid = CheckIdentity(identity, error);
  if (valid != kSyncErrNone) return valid;
  // Private, like the desktop's directories: the handheld's files hold memos and the
  // password's digest and hint.
  if (FileSystem::Default()->MakeDirectory(directory, 0700) != 0 && errno != EEXIST) {
    return Fail(error, kSyncErrStorage, directory + ": " + std::strerror(errno));
  }
  struct stat st {};
  if (::stat(directory.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    return Fail(error, kSyncErrStorage, directory + ": not a directory");
  }
  const std::string path = directory + "/" + kIdentityFileName;
  if (::stat(path.c_str(), &st) == 0) {
    return Fail(error, kSyncErrExists, directory + " already holds a handheld (" + kIdentityFileName + ")");
  }
  const std::string text = FormatIdentity(identity);
  if (AtomicFile::Write(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), error) != kOk) {
    return kSyncErrStorage;
  }
  return kSyncErrNone;
}

Result Handheld::Open(const std::string& directory, std::unique_ptr<Handheld>* out, std::string* error) {
  if (out == nullptr || directory.empty()) return Fail(error, kSyncErrBadArgument, "no directory given");
  const std::string path = directory + "/" + kIdentityFileName;
  // A named pipe in the file's place must not hold the program.
  const int fd = FileSystem::Default()->OpenRegular(path);
  if (fd < 0 && errno == ENOENT) {
    return Fail(error, kSyncErrNotFound, directory + " is not an emulated handheld: it has no " + kIdentityFileName);
  }
  if (fd < 0) return Fail(error, kSyncErrStorage, path + ": " + OpenFault(errno));
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int err = errno;
      ::close(fd);
      return Fail(error, kSyncErrStorage, path + ": " + std::strerror(err));
    }
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > 64 * 1024) {
      ::close(fd);
      return Fail(error, kSyncErrCorruptDatabase, path + ": too large for an identity file");
    }
  }
  ::close(fd);
  HandheldIdentity identity;
  std::string why;
  const Result parsed = ParseIdentity(text, &identity, &why);
  if (parsed != kSyncErrNone) return Fail(error, parsed, path + ": " + why);
  out->reset(new Handheld(directory, std::move(identity)));
  return kSyncErrNone;
}

namespace {

// The line a live holder wrote into the lock file `fd` ("hotsync (process 123)"). The
// holder writes it just after it took the lock, so a program refused in between may
// find the file empty or still naming the holder before: it looks again briefly.
std::string HolderOf(int fd) {
  constexpr int kLooks = 50;
  for (int look = 0; look < kLooks; ++look) {
    char text[128] = {};
    const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
    std::string line = got > 0 ? std::string(text, static_cast<std::size_t>(got)) : std::string();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    const std::size_t at = line.rfind("(process ");
    const long pid = at == std::string::npos ? 0 : std::strtol(line.c_str() + at + 9, nullptr, 10);
    if (pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) return line;
    ::usleep(2000);
  }
  return "another program";
}

}  // namespace

Handheld::~Handheld() {
  if (lock_ >= 0) ::close(lock_);
}

Result Handheld::Lock(const std::string& program, std::string* error) {
  if (lock_ >= 0) return kSyncErrNone;
  const std::string path = directory_ + "/" + kLockFileName;
  FileSystem* fs = FileSystem::Default();
  const int fd = fs->OpenForLocking(path);
  if (fd < 0 && errno == EINVAL) return Fail(error, kSyncErrStorage, path + " is not a regular file");
  if (fd < 0) return Fail(error, kSyncErrStorage, "cannot open " + path + ": " + std::strerror(errno));
  if (fs->Lock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    if (err != EWOULDBLOCK) {
      ::close(fd);
      return Fail(error, kSyncErrStorage, "cannot lock " + path + ": " + std::strerror(err));
    }
    const std::string who = HolderOf(fd);
    ::close(fd);
    return Fail(error, kSyncErrBusy,
                "the handheld in " + directory_ + " is in use by " + who + "; try again when it has finished");
  }
  const std::string line = program + " (process " + std::to_string(static_cast<long>(::getpid())) + ")\n";
  // Only a description for the message above: a failure to write it changes nothing.
  if (::ftruncate(fd, 0) == 0) {
    ssize_t ignored = ::pwrite(fd, line.data(), line.size(), 0);
    (void)ignored;
  }
  lock_ = fd;
  return kSyncErrNone;
}

Result Handheld::SetIdentity(const HandheldIdentity& identity, std::string* error) {
  const Result valid = CheckIdentity(identity, error);
  if (valid != kSyncErrNone) return valid;
  const std::string text = FormatIdentity(identity);
  const std::string path = directory_ + "/" + kIdentityFileName;
  if (AtomicFile::Write(path, reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), error) != kOk) {
    return kSyncErrStorage;
  }
  identity_ = identity;
  return kSyncErrNone;
}

bool Handheld::IsValidDatabaseName(const std::string& name) {
  return !name.empty() && name.size() <= kPdbMaxNameLength && name.find('\0') == std::string::npos &&
         name.find('/') == std::string::npos && name != "." && name != "..";
}

std::string Handheld::DatabasePath(const std::string& name) const {
  return directory_ + "/" + name + kPdbExtension;
}

bool Handheld::DatabaseExists(const std::string& name) const {
  struct stat st {};
  return IsValidDatabaseName(name) && ::stat(DatabasePath(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::vector<std::string> Handheld::DatabaseNames() const {
  std::vector<std::string> names;
  DIR* dir = ::opendir(directory_.c_str());
  if (dir == nullptr) return names;
  const std::size_t extension = std::strlen(kPdbExtension);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string file = entry->d_name;
    if (file.size() <= extension || file.compare(file.size() - extension, extension, kPdbExtension) != 0) continue;
    const std::string name = file.substr(0, file.size() - extension);
    if (DatabaseExists(name)) names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

Result Handheld::LoadDatabase(const std::string& name, std::unique_ptr<HandheldDatabase>* out,
                              std::string* error) const {
  if (!IsValidDatabaseName(name)) return Fail(error, kSyncErrBadArgument, "\"" + name + "\" is not a database name");
  return HandheldDatabase::Load(DatabasePath(name), out, error);
}

Result Handheld::SaveDatabase(const std::string& name, HandheldDatabase& db, std::string* error) const {
  if (!IsValidDatabaseName(name)) return Fail(error, kSyncErrBadArgument, "\"" + name + "\" is not a database name");
  if (db.header().name != name) db.mutableHeader().name = name;
  return db.Save(DatabasePath(name), PalmTimeFromUnix(static_cast<std::int64_t>(std::time(nullptr))), error);
}

Result Handheld::RemoveDatabase(const std::string& name, std::string* error) const {
  if (!DatabaseExists(name)) return kSyncErrNotFound;
  return AtomicFile::Remove(DatabasePath(name), error) == kOk ? kSyncErrNone : kSyncErrStorage;
}

}  // namespace tallimor
