// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The HotSync user data library over the users file of a HotSync root: the user
// count, ids, names and directories, the root directory and per-user 32-bit
// values that the desktop program asks for, and the adding of a user that the
// HotSync program does on a handheld's first HotSync. A users file that cannot be
// read fails every call (and is never written); an entry that cannot be used fails
// the calls about that user (see UsersDocument).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "hotsync/users/UsersDocument.h"
#include "hotsync/users/UsersFile.h"
#include "hotsync/users/UsersResults.h"

namespace tallimor {

class UserData {
 public:
  // The users file in the root, and the lock file that serialises its writers.
  static constexpr const char* kUsersFileName = "users.ini";
  static constexpr const char* kLockFileName = "users.lock";
  // In a user's directory: held by a HotSync of that user for its whole run, and let go
  // by the system when the HotSync ends, however it ends.
  static constexpr const char* kHotSyncLockFileName = "HotSync.lock";
  // Longest directory name made from a user name, before a number that makes it unique.
  static constexpr std::size_t kMaxDirectoryBase = 20;

  // The library over the HotSync root `root` (as HotSyncRoot() gives it; a
  // missing trailing '/' is added). Nothing is read until the first call.
  explicit UserData(std::string_view root);

  UserData(const UserData&) = delete;
  UserData& operator=(const UserData&) = delete;

  const std::string& root() const { return root_; }
  std::string usersFilePath() const { return root_ + kUsersFileName; }

  // Calls of the desktop program. Each reads the users file again if another
  // program has replaced it since the last call.

  // Number of HotSync users that can be used; 0 when the file cannot be read.
  std::int16_t UserCount();
  // The id of the user at index (0 to count - 1), in the order users were added.
  Result UserIdAt(int index, std::uint32_t* id);
  // The user's name, NUL-terminated, into buffer of *length bytes. On success
  // returns the name's length and leaves the same number in *length, which is how
  // callers recognise success; failures are negative or kErrBufferTooSmall (then
  // *length is the size needed), so they never equal the length left behind.
  Result UserName(std::uint32_t id, char* buffer, std::uint16_t* length);
  // The user's directory name (one component, no separator), NUL-terminated. On
  // success *length is left as given, so one buffer and length word serve this
  // call right after RootDirectory. On any failure the buffer holds "" (when it
  // has room) and kErrBufferTooSmall sets *length to the size needed.
  Result UserDirectory(std::uint32_t id, char* buffer, std::uint16_t* length);
  // The HotSync root, ending in '/', with the same buffer rules as UserDirectory.
  Result RootDirectory(char* buffer, std::uint16_t* length);
  // The user's value for section and key into *value, or defaultValue when the
  // user has none (result 0) or the user is unknown (kUsersErrUnknownUser).
  Result ReadValue(std::uint32_t id, const char* section, const char* key,
                   std::int32_t* value, std::int32_t defaultValue);
  // Sets the user's value for section and key; the users file is replaced atomically.
  Result WriteValue(std::uint32_t id, const char* section, const char* key, std::int32_t value);

  // Calls of the HotSync program and the tools.

  // Every user that can be used, in order.
  Result Users(std::vector<HotSyncUser>* users);
  // The user with that id, or the first with that name (bytes compared exactly).
  // kUsersErrUnusableEntry when only an entry that cannot be used has it.
  Result FindUser(std::uint32_t id, HotSyncUser* user);
  Result FindUserByName(std::string_view name, HotSyncUser* user);
  // Adds a user for a handheld's first HotSync: checks the name (1 to 63 bytes, no
  // control bytes, not taken) and the id (not taken; 0 asks for a new id, see
  // UsersDocument::NewId), chooses a HotSync directory for the user (see
  // DirectoryBaseFor; a number is added until the name is free in the users file
  // and on disk, ignoring case), records the user, and then creates the directory
  // and the root if needed (mode 0700). A run killed in between leaves a user whose
  // directory is missing, which the next HotSync creates; never a directory that no
  // user owns. *added gets the user. kUsersErrUnusableEntry when an entry that
  // cannot be used has the name or the id.
  Result AddUser(std::string_view name, std::uint32_t id, HotSyncUser* added);

  // Test seam: `hook` is called with the name of each point of AddUser where a
  // killed run must leave a state the next HotSync reads right ("entry-written":
  // the file names the user, whose directory is not made yet). Null removes it.
  static void SetPointHook(void (*hook)(const char* point));

  // The directory name a user name suggests: the last word followed by the first
  // letter of the first word ("Taro Yamada" gives "YamadaT"), one word as it
  // stands, keeping only ASCII letters, digits, '-' and '_' and at most
  // kMaxDirectoryBase bytes; "User" when nothing is left (a name written only in
  // Japanese, for example).
  static std::string DirectoryBaseFor(std::string_view name);

 private:
  // Brings document_ up to date with the file; kOk when the file is missing.
  Result Refresh();
  // Runs change on the file's document under the writers' lock and saves the result
  // if change succeeds.
  Result Update(const std::function<Result(UsersDocument&)>& change);
  // kUsersErrUnusableEntry, with the entry's line and reason for UsersResultMeaning.
  Result Unusable(const UnusableEntry& entry) const;

  std::string root_;                // ends in '/'
  UsersDocument document_;          // as last read; a new file's when there is none
  bool loaded_ = false;             // document_ reflects the file identified below
  dev_t device_ = 0;                // identity of the file document_ was read from
  ino_t inode_ = 0;
  off_t size_ = 0;
  struct timespec modified_ {};
};

}  // namespace tallimor
