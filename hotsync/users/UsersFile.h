// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The users file of the HotSync root: who the HotSync users are, where their
// HotSync directories are, and their per-user 32-bit values. This is its one
// reader and writer; UserData reaches the file only through it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/ResultCodes.h"

namespace tallimor {

// One per-user 32-bit value, named by section and key.
struct UserValue {
  std::string section;
  std::string key;
  std::int32_t value = 0;
};

// One HotSync user. Text is code page 932 bytes, as the handheld gives the name.
struct HotSyncUser {
  std::uint32_t id = 0;
  std::string name;
  std::string directory;          // one path component below the HotSync root
  std::vector<UserValue> values;  // grouped by section, in the order first written
};

// Why a file is no users file at all: line 0 stands for the whole file.
struct UsersFileFault {
  std::size_t line = 0;
  std::string reason;
};

// The file is INI-like text:
//
//   # comment lines start with '#' or ';'
//   [User 3141592]
//   Name=Taro Yamada
//   Directory=YamadaT
//
//   [User 3141592 Tallimore-Vexa]
//   LastCategory=3
//
// One [User <id>] section per user, in the order users were added, with the name
// and the directory; one [User <id> <section>] section per section of that user's
// values, each key with a decimal value. In names, directories, section names and
// keys, a byte outside printable ASCII, one of \ = [ ] # ; and a space at either
// end are written \xHH, so any code page 932 text survives and every line stays
// plain ASCII. Keys are matched without regard to case; spaces around keys and
// values are ignored. Unknown sections and keys are ignored, and kept as they stand
// when the library changes the file; a [Users] section records the highest user id
// the file has held (see UsersDocument).
class UsersFile {
 public:
  static constexpr std::size_t kMaxFileSize = 4u << 20;   // larger files are refused
  static constexpr std::size_t kMaxUsers = 4096;
  static constexpr std::size_t kMaxValuesPerUser = 256;
  static constexpr std::size_t kMaxValues = 65536;        // in the whole file
  static constexpr std::size_t kMaxNameBytes = 63;        // a 64-byte buffer with its NUL
  static constexpr std::size_t kMaxDirectoryBytes = 255;  // one file name
  static constexpr std::size_t kMaxKeyBytes = 255;        // sections and keys
  static constexpr std::uint32_t kNoUser = 0xFFFFFFFFu;   // never a user id (-1 to callers)

  // The users that file contents give; none when the contents are no users file
  // (see UsersDocument::Read). A user without a usable directory (empty, "." or
  // "..", with '/' or a control byte, two different ones, or one that an earlier
  // user has, ignoring case), a section line without a usable id, lines that cannot
  // be read and anything beyond the limits above are left out. A repeated
  // [User <id>] section goes on with the user of the first; a later key wins.
  static std::vector<HotSyncUser> Parse(std::string_view data);
  // The contents of a new file for users (which must satisfy the checks below).
  static std::string Format(const std::vector<HotSyncUser>& users);

  // Reads the file at path into *text. A missing file gives "", *exists false and
  // kOk. kUsersErrBadFile with *fault when the path is no regular file (a symbolic
  // link included, which a rewrite would replace) or cannot be read;
  // kUsersErrFileTooLarge beyond kMaxFileSize.
  static Result ReadText(const std::string& path, std::string* text, bool* exists,
                         UsersFileFault* fault);
  // Reads the users of the file at path; a missing file gives no users and 0.
  // Errors as ReadText, and kUsersErrBadFile for contents that are no users file;
  // the failure's file and line go to UsersResultMeaning.
  static Result Load(const std::string& path, std::vector<HotSyncUser>* users);
  // Replaces the file at path atomically with text (temporary, fsync, rename), first
  // removing the temporaries of writers killed half way. kErrWrite on failure, which
  // is described for UsersResultMeaning.
  static Result WriteText(const std::string& path, std::string_view text);
  // Replaces the file at path with a new file for users.
  static Result Save(const std::string& path, const std::vector<HotSyncUser>& users);
  // "<path>, line <n>: <reason>", or "<path>: <reason>" for the whole file.
  static std::string Describe(const std::string& path, const UsersFileFault& fault);

  // Sets the value of value.section and value.key, replacing an equal pair or
  // adding one after the last value of its section; false when the user already
  // has kMaxValuesPerUser values.
  static bool SetValue(std::vector<UserValue>& values, UserValue value);

  // A user name may be 1 to 63 bytes without control bytes.
  static bool IsValidName(std::string_view name);
  // A directory is one safe path component (see Parse).
  static bool IsValidDirectory(std::string_view directory);
  // A section or key is 1 to 255 bytes without NUL.
  static bool IsValidKey(std::string_view key);
  // Text with ASCII letters in lower case: directory names are compared that way,
  // because a HotSync root may live on a file system that does not tell case apart.
  static std::string FoldCase(std::string_view text);

  // The escaping of the file's text, and its inverse (which keeps anything it
  // does not know as it stands).
  static std::string Escape(std::string_view text);
  static std::string Unescape(std::string_view text);

  UsersFile() = delete;
};

}  // namespace tallimor
