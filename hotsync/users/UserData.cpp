// The user data library. Readers never lock: the users file is only ever replaced
// whole, so a reader sees the old file or the new one. Writers (a per-user value,
// a new user) take an exclusive lock on a lock file beside it and re-read the file
// under the lock, so that two programs writing at once do not lose each other's
// changes.
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

namespace tallimor {
namespace {

std::string FoldCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

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
    while (const dirent* e = ::readdir(d)) names.insert(FoldCase(e->d_name));
    ::closedir(d);
  }
  return names;
}

// A fresh id: one above the highest, or the lowest free one when that is taken.
std::uint32_t NextId(const std::vector<HotSyncUser>& users) {
  std::uint32_t highest = 0;
  for (const HotSyncUser& u : users) highest = std::max(highest, u.id);
  if (highest + 1 < UsersFile::kNoUser) return highest + 1;
  std::set<std::uint32_t> ids;
  for (const HotSyncUser& u : users) ids.insert(u.id);
  std::uint32_t id = 1;
  while (ids.count(id) != 0) ++id;  // fewer users than ids, so this ends
  return id;
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

Result UserData::Refresh() {
  const std::string path = usersFilePath();
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    loaded_ = false;
    users_.clear();
    return errno == ENOENT ? kOk : kErrOpenFailed;
  }
  if (loaded_ && st.st_dev == device_ && st.st_ino == inode_ && st.st_size == size_ &&
      st.st_mtim.tv_sec == modified_.tv_sec && st.st_mtim.tv_nsec == modified_.tv_nsec) {
    return kOk;
  }
  std::vector<HotSyncUser> users;
  const Result r = UsersFile::Load(path, &users);
  loaded_ = r == kOk;
  users_ = std::move(users);
  device_ = st.st_dev;
  inode_ = st.st_ino;
  size_ = st.st_size;
  modified_ = st.st_mtim;
  return r;
}

Result UserData::Update(const std::function<Result(std::vector<HotSyncUser>&)>& change) {
  if (!MakeDirectories(root_.substr(0, root_.size() - 1))) return kErrWrite;
  const std::string lockPath = root_ + kLockFileName;
  const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lock < 0) return kErrOpenFailed;
  while (::flock(lock, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(lock);
      return kErrOpenFailed;
    }
  }
  loaded_ = false;  // another program may have written within the file's time stamp
  Result r = Refresh();
  if (r == kOk) {
    std::vector<HotSyncUser> users = users_;
    r = change(users);
    if (r == kOk) r = UsersFile::Save(usersFilePath(), users);
  }
  loaded_ = false;
  ::close(lock);  // releases the lock
  return r;
}

const HotSyncUser* UserData::Find(std::uint32_t id) const {
  for (const HotSyncUser& u : users_) {
    if (u.id == id) return &u;
  }
  return nullptr;
}

std::int16_t UserData::UserCount() {
  if (Refresh() != kOk) return 0;
  return static_cast<std::int16_t>(std::min<std::size_t>(users_.size(), 0x7FFF));
}

Result UserData::UserIdAt(int index, std::uint32_t* id) {
  if (id == nullptr) return kErrNullArgument;
  const Result r = Refresh();
  if (r != kOk) return r;
  if (index < 0 || static_cast<std::size_t>(index) >= users_.size()) return kUsersErrBadIndex;
  *id = users_[static_cast<std::size_t>(index)].id;
  return kOk;
}

Result UserData::UserName(std::uint32_t id, char* buffer, std::uint16_t* length) {
  if (buffer == nullptr || length == nullptr) return kErrNullArgument;
  Result r = Refresh();
  const HotSyncUser* user = r == kOk ? Find(id) : nullptr;
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
  const HotSyncUser* user = r == kOk ? Find(id) : nullptr;
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
  const HotSyncUser* user = Find(id);
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
  return Update([&](std::vector<HotSyncUser>& users) {
    for (HotSyncUser& u : users) {
      if (u.id != id) continue;
      return UsersFile::SetValue(u.values, UserValue{section, key, value}) ? kOk
                                                                           : kUsersErrTooMany;
    }
    return kUsersErrUnknownUser;
  });
}

Result UserData::Users(std::vector<HotSyncUser>* users) {
  if (users == nullptr) return kErrNullArgument;
  const Result r = Refresh();
  *users = users_;
  return r;
}

Result UserData::FindUser(std::uint32_t id, HotSyncUser* user) {
  if (user == nullptr) return kErrNullArgument;
  const Result r = Refresh();
  if (r != kOk) return r;
  const HotSyncUser* found = Find(id);
  if (found == nullptr) return kUsersErrUnknownUser;
  *user = *found;
  return kOk;
}

Result UserData::FindUserByName(std::string_view name, HotSyncUser* user) {
  if (user == nullptr) return kErrNullArgument;
  const Result r = Refresh();
  if (r != kOk) return r;
  for (const HotSyncUser& u : users_) {
    if (u.name == name) {
      *user = u;
      return kOk;
    }
  }
  return kUsersErrUnknownUser;
}

Result UserData::AddUser(std::string_view name, std::uint32_t id, HotSyncUser* added) {
  if (added == nullptr) return kErrNullArgument;
  if (!UsersFile::IsValidName(name)) return kUsersErrBadName;
  if (id == UsersFile::kNoUser) return kUsersErrBadId;
  std::string created;  // the directory made for the user, removed again on failure
  const Result r = Update([&](std::vector<HotSyncUser>& users) {
    for (const HotSyncUser& u : users) {
      if (u.name == name) return kUsersErrNameTaken;
      if (id != 0 && u.id == id) return kUsersErrIdTaken;
    }
    if (users.size() >= UsersFile::kMaxUsers) return kUsersErrTooMany;

    std::set<std::string> taken = NamesIn(root_);
    for (const HotSyncUser& u : users) taken.insert(FoldCase(u.directory));
    const std::string base = DirectoryBaseFor(name);
    for (int n = 0; n < 10000 && created.empty(); ++n) {
      const std::string candidate = n == 0 ? base : base + std::to_string(n);
      if (taken.count(FoldCase(candidate)) != 0) continue;
      // mkdir fails on a name that appeared since the listing: then try the next.
      if (::mkdir((root_ + candidate).c_str(), 0700) == 0) {
        created = candidate;
      } else if (errno != EEXIST) {
        return kErrWrite;
      }
    }
    if (created.empty()) return kUsersErrNoDirectory;
    users.push_back(HotSyncUser{id != 0 ? id : NextId(users), std::string(name), created, {}});
    *added = users.back();
    return kOk;
  });
  if (r != kOk && !created.empty()) ::rmdir((root_ + created).c_str());
  return r;
}

}  // namespace tallimor
