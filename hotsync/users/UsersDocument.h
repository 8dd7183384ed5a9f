// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The users file as the lines it is made of. Reading keeps every line, and the
// changes the library makes (a per-user value, a new user, the record of the highest
// id) edit or add single lines, so that a rewrite keeps the comments, blank lines,
// unknown keys and sections and the entries it cannot use, byte for byte. UsersFile
// reads and writes the file on disk; UserData edits it through this class.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "hotsync/users/UsersFile.h"
#include "store/IniDocument.h"
#include "store/ResultCodes.h"

namespace tallimor {

// A section of the file that names a user but that cannot be used as one (a
// directory that is not one folder name, two directories, a section line without
// a usable id, ...). Its lines stay as they are; its id, name and directory are
// never given to another user.
struct UnusableEntry {
  std::size_t line = 0;  // 1-based, of its first section line
  bool hasId = false;    // whether an id could be made out
  std::uint32_t id = 0;
  std::string name;      // as read, perhaps empty
  std::string reason;    // what is wrong with it, in a phrase
};

// The text:
//
//   [Users]                   read only by this class, ignored by earlier readers
//   HighestId=7               the highest user id the file has ever held
//
// followed by the [User <id>] and [User <id> <section>] sections that UsersFile
// describes. Section lines are read generously ("[user 7]", "[User 7] ; note" and a
// UTF-8 byte order mark work), keys regardless of case.
class UsersDocument {
 public:
  static constexpr std::size_t kMaxLineBytes = 4096;  // longer lines are no users file
  static constexpr const char* kHeaderSection = "Users";
  static constexpr const char* kHighestIdKey = "HighestId";

  UsersDocument() = default;

  // Takes `text` as the file's contents. kUsersErrBadFile with *fault when it is
  // no text (a NUL or control byte, a carriage return without a line feed), has a
  // line longer than kMaxLineBytes or is larger than UsersFile::kMaxFileSize; the
  // document is then left empty.
  Result Read(std::string_view text, UsersFileFault* fault);
  // The text, with every edit made so far.
  std::string Text() const;

  // The users that can be used, in the order of their first section.
  const std::vector<HotSyncUser>& users() const { return users_; }
  // The entries that name a user but cannot be used, in file order.
  const std::vector<UnusableEntry>& unusable() const { return unusable_; }
  // The usable user with that id, or null.
  const HotSyncUser* Find(std::uint32_t id) const;
  // The first unusable entry with that id, or with that name (not empty), or null.
  const UnusableEntry* UnusableWithId(std::uint32_t id) const;
  const UnusableEntry* UnusableWithName(std::string_view name) const;
  // Whether a user, usable or not, has this directory, ignoring ASCII case.
  bool DirectoryTaken(std::string_view directory) const;
  // The id for a new user: one above every id the file holds or has held, or when
  // that is the reserved id, the lowest id the file never named; kNoUser when none
  // is left.
  std::uint32_t NewId() const;

  // Sets a value of the usable user `id`: the line that holds it is changed, or a
  // line is added to its section, or a section after the user's last one.
  // kUsersErrUnknownUser, or kUsersErrTooMany beyond the limits of UsersFile.
  Result SetValue(std::uint32_t id, const UserValue& value);
  // Adds the section of `user` at the end. REQUIRES: its id, name and directory
  // are valid and not taken (see above).
  void AddUser(const HotSyncUser& user);

 private:
  enum class Kind {
    kPreamble,  // the lines before the first section line
    kOther,     // an unknown section
    kHeader,    // [Users]
    kEntry,     // [User <id>]; `wellFormed` false when the line has more or lacks ']'
    kBadEntry,  // [User ...] without a usable id
    kValues,    // [User <id> <section>]
    kBadValues, // a values section that cannot be read
  };
  struct Section {
    Kind kind = Kind::kOther;
    std::size_t first = 0;   // index of its section line (of the first line for kOther)
    std::size_t end = 0;     // one past its last line
    std::uint32_t id = 0;    // kEntry and kValues; of the others, the id they show
    bool hasId = false;      // whether `id` holds one
    bool wellFormed = true;
    std::string name;        // of a kValues section
  };

  // Works out sections, users, unusable entries and ids from lines_.
  void Analyse();
  void ReadSectionLine(std::string_view line, Section* section);
  // Makes the [Users] record hold at least every id the file names.
  void RecordHighestId();
  // Replaces the value of a "key = value" line, keeping its key and spacing.
  void ReplaceValue(std::size_t line, std::string_view value);
  // The last "key=value" line of a section, or its section line.
  std::size_t LastKeyLine(const Section& section) const;
  void Insert(std::size_t at, const std::vector<std::string>& texts);
  std::string LineEnd() const;

  IniDocument ini_;  // the lines, kept as read but for the edits
  std::vector<Section> sections_;
  std::vector<HotSyncUser> users_;
  std::vector<UnusableEntry> unusable_;
  std::set<std::uint32_t> ids_;          // every id the file names, usable or not
  std::set<std::string> directories_;    // every directory it names, folded to lower case
  bool hasHighest_ = false;              // whether [Users] holds a readable HighestId
  std::uint32_t highest_ = 0;            // the highest of them
  std::size_t valueCount_ = 0;           // value lines taken, of any id, up to kMaxValues
};

}  // namespace tallimor
