// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// An emulated handheld: a directory holding the handheld's identity in the text
// file `handheld.ini` and each of its databases as `<database name>.pdb`. A .pdb
// copied into the directory becomes part of the handheld.
//
// handheld.ini (UTF-8; blank lines and lines starting with '#' or ';' are ignored;
// an optional "[Handheld]" section header; other sections are ignored):
//     [Handheld]
//     UserName=Taro Yamada        the HotSync user name, at most 40 bytes; empty
//                                 on a handheld that has never been synchronized
//     UserId=0                    the HotSync user id, 0 to 4294967295; 0 = none yet
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hotsync/handheld/HandheldDatabase.h"
#include "hotsync/handheld/SyncResults.h"

namespace tallimor {

struct HandheldIdentity {
  std::string userName;
  std::uint32_t userId = 0;
};

class Handheld {
 public:
  static constexpr const char* kIdentityFileName = "handheld.ini";
  static constexpr std::size_t kMaxUserNameLength = 40;

  // The lock file in the handheld's directory that every program changing the
  // handheld holds while it works: a HotSync for its whole run, tallimor-handheld for
  // one command. It names the program holding it.
  static constexpr const char* kLockFileName = "handheld.lock";

  Handheld(const Handheld&) = delete;
  Handheld& operator=(const Handheld&) = delete;
  ~Handheld();

  // Makes a new emulated handheld in `directory` (created when missing) with this
  // identity. kSyncErrExists when the directory already holds a handheld.ini,
  // kSyncErrBadArgument for a bad identity, kSyncErrStorage on I/O failure.
  static Result Create(const std::string& directory, const HandheldIdentity& identity, std::string* error);

  // Opens the handheld in `directory` by reading its identity file.
  // kSyncErrNotFound when there is no handheld.ini, kSyncErrCorruptDatabase when
  // the file cannot be understood (*error says which line and why).
  static Result Open(const std::string& directory, std::unique_ptr<Handheld>* out, std::string* error);

  // Parses the text of an identity file; the line-by-line rules of the header above.
  static Result ParseIdentity(const std::string& text, HandheldIdentity* out, std::string* error);
  // The text of an identity file for `identity`.
  static std::string FormatIdentity(const HandheldIdentity& identity);

  const std::string& directory() const { return directory_; }
  const HandheldIdentity& identity() const { return identity_; }
  // Takes the handheld's lock for `program` until this object is destroyed, without
  // waiting: a program that finds it taken is told which program has it. The kernel
  // lets it go when the holder dies, so no program waits on a dead one.
  // kSyncErrBusy (*error names the holder), kSyncErrStorage.
  Result Lock(const std::string& program, std::string* error);

  // Replaces the identity, rewriting handheld.ini atomically.
  Result SetIdentity(const HandheldIdentity& identity, std::string* error);

  // A database name a handheld accepts and a file can carry: 1 to 31 bytes, no
  // NUL, no '/', not "." or "..".
  static bool IsValidDatabaseName(const std::string& name);
  // DIR/<name>.pdb.
  std::string DatabasePath(const std::string& name) const;
  bool DatabaseExists(const std::string& name) const;
  // The names of the databases in the directory, sorted bytewise.
  std::vector<std::string> DatabaseNames() const;

  // Reads a database (kSyncErrNotFound, kSyncErrCorruptDatabase, kSyncErrBadArgument
  // for an invalid name). The header keeps the name the file carries; a file whose
  // header names another database is renamed to its file name when next saved.
  Result LoadDatabase(const std::string& name, std::unique_ptr<HandheldDatabase>* out, std::string* error) const;
  // Writes a database to its file atomically, under `name` (kSyncErrStorage on failure).
  Result SaveDatabase(const std::string& name, HandheldDatabase& db, std::string* error) const;
  // Removes a database file (kSyncErrNotFound when absent, kSyncErrStorage on failure).
  Result RemoveDatabase(const std::string& name, std::string* error) const;

 private:
  Handheld(std::string directory, HandheldIdentity identity);
  static Result CheckIdentity(const HandheldIdentity& identity, std::string* error);

  std::string directory_;       // without a trailing '/'
  HandheldIdentity identity_;
  int lock_ = -1;               // the lock file, held, or -1
};

}  // namespace tallimor
