// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// KeptAsideFile: memos the desktop changed under a password that the handheld no
// longer has. The conduit never deciphers, and memo bytes enciphered under two keys
// must never meet in one database, so when a HotSync finds that the password was
// changed on the handheld while the desktop holds new or changed memos, those memos
// are taken out of the HotSync and kept here, enciphered as they are, until the user
// opens the desktop program with the new password and types the old one, which
// re-enciphers them into the desktop file.
//
// The file is a record file (the format of record.dat) beside the desktop file:
// record.OLD, or record-2.OLD, record-3.OLD ... when a set kept under another digest
// still waits. Its app info block is the desktop's from before the change (the old
// category table, by whose names the desktop program files the memos again, and the
// old password's digest and hint); each record keeps its id, category, private flag
// and status bits (new, modified, archived). Adding to a file merges with what it
// holds already, and a memo that stands in it already is not added again, so a
// HotSync done again after a failure keeps nothing twice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hotsync/handheld/SyncManager.h"  // DbDescriptor
#include "store/CPRecord.h"
#include "store/DbBlockInfo.h"
#include "store/ResultCodes.h"

namespace tallimor {

class SyncLog;

class KeptAsideFile {
 public:
  static constexpr const char* kExtension = ".OLD";
  // Where the digest stands in the memo database's application information.
  static constexpr std::uint32_t kDigestOffset = 280;
  static constexpr std::uint32_t kDigestSize = 16;

  // The kept-aside files of the desktop file `fileName` in `directory`.
  KeptAsideFile(std::string directory, std::string fileName);

  // The password digest of an application information block (16 zero bytes when
  // the block is too short to hold one).
  static std::vector<std::uint8_t> DigestOf(const std::uint8_t* data, std::uint32_t length);

  // Keeps `records` aside under the application information `appInfo` (its data,
  // name and reserved word; the digest in it chooses the file). `database` describes
  // a new file's database. Returns 0 or kErrWrite / the add's error; *path names the
  // file written.
  Result Keep(const DbBlockInfo& appInfo, const DbDescriptor& database,
              const std::vector<CPRecord>& records, std::string* path);

 private:
  // The n-th file name: record.OLD for 1, record-n.OLD after.
  std::string NameFor(int n) const;

  std::string directory_;
  std::string fileName_;
};

}  // namespace tallimor
