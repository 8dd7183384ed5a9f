// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The user data library. Readers never lock: the users file is only ever replaced
// whole, so a reader sees the old file or the new one. Writers (a per-user value,
// a new user) take an exclusive lock on a lock file beside it and re-read the file
// under the lock, so that two programs writing at once do not lose each other's
// changes. A new user's entry is written before the user's directory is made: the
// entry reserves the directory's name, so a run killed in between leaves a user
// whose directory the next HotSync makes, and no directory that nobody owns.
#include "hotsync/users/UserData.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>

#include "store/Cp932Bytes.h"
#include "store/FileSystem.h"

namespace tallimor {
namespace {

// Copies text with its NUL into a caller's buffer of *length bytes.
Result CopyOut(std::string_view text, char* buffer, std::uint16_t* length) {
  if (buffer == nullptr || length == nullptr) return kErrNullArgument;
  if (text.size() + 1 > *length) {
    if (*length > 0) buffer[0] = '\0';
    *length = static_cast<std::uint16_t>(std::min<std::size_t>(text.size() + 1, 0xFFFF));
    return kErrBufferTooSmall;
  }
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return kOk;
}

// Makes every missing directory of path with mode 0700.
bool MakeDirectories(const std::string& path) {
  for (std::size_t slash = path.find('/', 1); ; slash = path.find('/', slash + 1)) {
    const std::string prefix = path.substr(0, slash);
    if (!prefix.empty() && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

// Every name in the directory, folded to lower case.
std::set<std::string> NamesIn(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) names.insert(UsersFile::FoldCase(e->d_name));
    ::closedir(d);
  }
  return names;
}

void (*gPointHook)(const char*) = nullptr;

void Point(const char* name) {
  if (gPointHook != nullptr) gPointHook(name);
}

bool IsDirectoryByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '_';
}

}  // namespace

UserData::UserData(std::string_view root) : root_(root) {
  if (root_.empty() || root_.back() != '/') root_ += '/';
}

std::string UserData::DirectoryBaseFor(std::string_view name) {
  std::vector<std::string> words(1);
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if (c == ' ' || c == '\t') {
      if (!words.back().empty()) words.emplace_back();
    } else if (IsCp932LeadByte(static_cast<unsigned char>(c))) {
      ++i;  // a double-byte character, whose second byte may look like a letter
    } else if (IsDirectoryByte(c)) {
      words.back() += c;
    }
  }
  if (words.back().empty()) words.pop_back();
  std::string base = words.empty()        ? std::string("User")
                     : words.size() == 1 ? words.front()
                                         : words.back() + words.front().front();
  if (base.size() > kMaxDirectoryBase) base.resize(kMaxDirectoryBase);
  return base;
}

void UserData::SetPointHook(void (*hook)(const char* point)) { gPointHook = hook; }

Result UserData::Refresh() {
  SetUsersResultDetail(kOk, {});
  const std::string path = usersFilePath();
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0 && loaded_ && st.st_dev == device_ && st.st_ino == inode_ &&
      st.st_size == size_ && st.st_mtim.tv_sec == modified_.tv_sec &&
      st.st_mtim.tv_nsec == modified_.tv_nsec) {
    return kOk;
  }
  loaded_ = false;
  std::string text;
  bool exists = false;
  UsersFileFault fault;
  Result r = UsersFile::ReadText(path, &text, &exists, &fault);
  if (r == kOk) r = document_.Read(exists ? text : UsersFile::Format({}), &fault);
  if (r != kOk) {
    document_ = UsersDocument();
    SetUsersResultDetail(r, UsersFile::Describe(path, fault));
    return r;
  }
  // Identified by what was seen before reading: a change while reading shows at the
  // next call.
  loaded_ = exists;
  device_ = st.st_dev;
  inode_ = st.st_ino;
  size_ = st.st_size;
  modified_ = st.st_mtim;
  return kOk;
}

Result UserData::Update(const std::function<Result(UsersDocument&)>& change) {
  if (!MakeDirectories(root_.substr(0, root_.size() - 1))) {
    SetUsersResultDetail(kErrWrite, root_ + ": " + std::strerror(errno));
    return kErrWrite;
  }
  const std::string lockPath = root_ + kLockFileName;
  FileSystem* fs = FileSystem::Default();
  const int lock = fs->Open(lockPath, O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) {
    SetUsersResultDetail(kErrOpenFailed, lockPath + ": " + std::strerror(errno));
    return kErrOpenFailed;
  }
  while (fs->Lock(lock, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(lock);
      return kErrOpenFailed;
    }
  }
  loaded_ = false;  // another program may have written within the file's time stamp
  Result r = Refresh();
  if (r == kOk) {
    UsersDocument changed = document_;
    r = change(changed);
    const std::string text = changed.Text();
    // A file the reader would refuse must never be written.
    if (r == kOk && text.size() > UsersFile::kMaxFileSize) r = kUsersErrTooMany;
    if (r == kOk) r = UsersFile::WriteText(usersFilePath(), text);
  }
  loaded_ = false;
  ::close(lock);  // releases the lock
  return r;
}

Result UserData::Unusable(const UnusableEntry& entry) const {
  SetUsersResultDetail(kUsersErrUnusableEntry,
                       usersFilePath() + ", line " + std::to_string(entry.line) + ", the entry" +
                           (entry.hasId ? " of user id " + std::to_string(entry.id) : std::string()) +
                           ": " + entry.reason);
  return kUsersErrUnusableEntry;
}

std::int16_t UserData::UserCount() {
  if (Refresh() != kOk) return 0;
  return static_cast<std::int16_t>(std::min<std::size_t>(document_.users().size(), 0x7FFF));
}

Result UserData::UserIdAt(int index, std::uint32_t* id) {
  if (id == nullptr) return kErrNullArgument;
  const Result r = Refresh();
  if (r != kOk) return r;
  const std::vector<HotSyncUser>& users = document_.users();
  if (index < 0 || static_cast<std::size_t>(index) >= users.size()) return kUsersErrBadIndex;
  *id = users[static_cast<std::size_t>(index)].id;
  return kOk;
}

Result UserData::UserName(std::uint32_t id, char* buffer, std::uint16_t* length) {
  if (buffer == nullptr || length == nullptr) return kErrNullArgument;
  Result r = Refresh();
  const HotSyncUser* user = r == kOk ? document_.Find(id) : nullptr;
  if (r == kOk && user == nullptr) r = kUsersErrUnknownUser;
  if (r == kOk) r = CopyOut(user->name, buffer, length);
  if (r != kOk) {
    if (r != kErrBufferTooSmall) *length = 0;
    return r;
  }
  *length = static_cast<std::uint16_t>(user->name.size());
  return static_cast<Result>(user->name.size());
}

Result UserData::UserDirectory(std::uint32_t id, char* buffer, std::uint16_t* length) {
  if (buffer == nullptr || length == nullptr) return kErrNullArgument;
  Result r = Refresh();
  const HotSyncUser* user = r == kOk ? document_.Find(id) : nullptr;
  if (r == kOk && user == nullptr) r = kUsersErrUnknownUser;
  if (r != kOk) {
    if (*length > 0) buffer[0] = '\0';
    return r;
  }
  const std::uint16_t capacity = *length;
  r = CopyOut(user->directory, buffer, length);
  if (r == kOk) *length = capacity;
  return r;
}

Result UserData::RootDirectory(char* buffer, std::uint16_t* length) {
  if (buffer == nullptr || length == nullptr) return kErrNullArgument;
  const std::uint16_t capacity = *length;
  const Result r = CopyOut(root_, buffer, length);
  if (r == kOk) *length = capacity;
  return r;
}

Result UserData::ReadValue(std::uint32_t id, const char* section, const char* key,
                           std::int32_t* value, std::int32_t defaultValue) {
  if (value == nullptr) return kErrNullArgument;
  *value = defaultValue;
  if (section == nullptr || key == nullptr) return kErrNullArgument;
  const Result r = Refresh();
  if (r != kOk) return r;
  const HotSyncUser* user = document_.Find(id);
  if (user == nullptr) return kUsersErrUnknownUser;
  for (const UserValue& v : user->values) {
    if (v.section == section && v.key == key) *value = v.value;
  }
  return kOk;
}

Result UserData::WriteValue(std::uint32_t id, const char* section, const char* key,
                            std::int32_t value) {
  if (section == nullptr || key == nullptr) return kErrNullArgument;
  if (!UsersFile::IsValidKey(section) || !UsersFile::IsValidKey(key)) return kUsersErrBadKey;
  return Update([&](UsersDocument& document) {
    return document.SetValue(id, UserValue{section, key, value});
  });
}

Result UserData::Users(std::vector<HotSyncUser>* users) {
  if (users == nullptr) return kErrNullArgument;
  const Result r = Refresh();
  *users = document_.users();
  return r;
}

Result UserData::FindUser(std::uint32_t id, HotSyncUser* user) {
  if (user == nullptr) return kErrNullArgument;
  const Result r = Refresh();
  if (r != kOk) return r;
  if (const HotSyncUser* found = document_.Find(id)) {
    *user = *found;
    return kOk;
  }
  const UnusableEntry* entry = document_.UnusableWithId(id);
  return entry != nullptr ? Unusable(*entry) : kUsersErrUnknownUser;
}

Result UserData::FindUserByName(std::string_view name, HotSyncUser* user) {
  if (user == nullptr) return kErrNullArgument;
  const Result r = Refresh();
  if (r != kOk) return r;
  for (const HotSyncUser& u : document_.users()) {
    if (u.name == name) {
      *user = u;
      return kOk;
    }
  }
  const UnusableEntry* entry = document_.UnusableWithName(name);
  return entry != nullptr ? Unusable(*entry) : kUsersErrUnknownUser;
}

Result UserData::AddUser(std::string_view name, std::uint32_t id, HotSyncUser* added) {
  if (added == nullptr) return kErrNullArgument;
  if (!UsersFile::IsValidName(name)) return kUsersErrBadName;
  if (id == UsersFile::kNoUser) return kUsersErrBadId;
  HotSyncUser user;
  const Result r = Update([&](UsersDocument& document) {
    for (const HotSyncUser& u : document.users()) {
      if (u.name == name) return kUsersErrNameTaken;
      if (id != 0 && u.id == id) return kUsersErrIdTaken;
    }
    // A user whose entry cannot be used is still that user: taking the id or the
    // name for someone new would put the two users' data together.
    if (const UnusableEntry* entry = id != 0 ? document.UnusableWithId(id) : nullptr) {
      return Unusable(*entry);
    }
    if (const UnusableEntry* entry = document.UnusableWithName(name)) return Unusable(*entry);
    if (document.users().size() >= UsersFile::kMaxUsers) return kUsersErrTooMany;
    user.id = id != 0 ? id : document.NewId();
    if (user.id == UsersFile::kNoUser) return kUsersErrTooMany;

    const std::set<std::string> onDisk = NamesIn(root_);
    const std::string base = DirectoryBaseFor(name);
    for (int n = 0; n < 10000 && user.directory.empty(); ++n) {
      const std::string candidate = n == 0 ? base : base + std::to_string(n);
      if (onDisk.count(UsersFile::FoldCase(candidate)) == 0 && !document.DirectoryTaken(candidate)) {
        user.directory = candidate;
      }
    }
    if (user.directory.empty()) return kUsersErrNoDirectory;
    user.name = std::string(name);
    document.AddUser(user);
    return kOk;
  });
  if (r != kOk) return r;
  Point("entry-written");
  // The entry holds the name now; a directory that appeared since the listing is
  // taken as the user's, anything else in its place is an error.
  const std::string path = root_ + user.directory;
  struct stat st {};
  if (::mkdir(path.c_str(), 0700) != 0 &&
      !(errno == EEXIST && ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
    SetUsersResultDetail(kErrWrite, path + ": " + std::strerror(errno));
    return kErrWrite;
  }
  *added = user;
  return kOk;
}

}  // namespace tallimor
