// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// KeptMemoFile: memos that a HotSync kept aside when the password had changed on the
// handheld while the desktop held new or changed memos under the previous one. The
// conduit moves them, still enciphered with the previous password, into a file beside
// record.dat (record.OLD, then record-2.OLD, record-3.OLD, ... while earlier ones wait),
// in the record file format, with the desktop's app info block from before the change:
// the previous category table, digest and hint. This class finds those files, checks
// the previous password against a file's digest, deciphers its memos, and removes the
// file once its memos are safely in the store (see KeptMemoMerge).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protect/PasswordInfo.h"
#include "store/CPCategory.h"
#include "store/ResultCodes.h"

namespace tallimor {

// The typed password is not the one the kept memos were enciphered with.
inline constexpr Result kErrKeptPasswordWrong = -4002;
// The kept file could not be read whole; it is left as it is.
inline constexpr Result kErrKeptFileUnreadable = -4003;

// One kept memo, deciphered.
struct KeptMemo {
  std::uint32_t id = 0;        // 0, or the handheld id the memo had
  std::int32_t category = 0;   // index into the kept file's (previous) category table
  std::uint32_t status = 0;    // kStatus* bits as kept
  bool isPrivate = false;
  std::string text;            // code page 932, up to the first NUL
};

class KeptMemoFile {
 public:
  // The kept files beside `dataPath` (a user's record.dat): regular files named
  // "record" ... ".OLD", record.OLD first, then record-2.OLD, record-3.OLD, ... in
  // the order they were written, then any other such name in byte order.
  static std::vector<std::string> FindBeside(const std::string& dataPath);

  explicit KeptMemoFile(std::string path);
  ~KeptMemoFile();  // wipes the deciphered texts
  KeptMemoFile(const KeptMemoFile&) = delete;
  KeptMemoFile& operator=(const KeptMemoFile&) = delete;

  // Reads the file's digest and hint, deciphering nothing. kOk, or
  // kErrKeptFileUnreadable when the file cannot be read whole.
  Result Inspect();
  // REQUIRES: Inspect() succeeded. True when the kept memos are enciphered (a digest
  // is set); a file without one holds plain memos and needs no password.
  bool NeedsPassword() const { return info_.IsSet(); }
  // REQUIRES: Inspect() succeeded. True when `password` (code page 932 bytes before
  // the NUL) is the one the digest was made from, or no digest is set.
  bool CheckPassword(const char* password) const;
  // The previous password's hint (code page 932), empty when there is none.
  const std::string& Hint() const { return info_.hint; }

  // Reads the whole file again and deciphers its memos with `password` (ignored when
  // no digest is set). kErrKeptPasswordWrong when it does not match the digest (nothing
  // is deciphered); kErrKeptFileUnreadable when the file cannot be read whole;
  // kErrOutOfMemory. Nothing is ever written to the file.
  Result Read(const char* password);
  // The memos Read() deciphered, in the file's order.
  const std::vector<KeptMemo>& Memos() const { return memos_; }
  // The name of category `index` in the kept (previous) table; empty when there is no
  // category at that index or no table.
  const std::string& CategoryName(std::int32_t index) const;

  // Removes the file and flushes its directory. kErrWrite when it cannot be removed
  // (a file already gone counts as removed).
  Result Remove();

  const std::string& Path() const { return path_; }
  // The file's name without its directory, for messages.
  std::string FileName() const;

 private:
  void WipeMemos();

  std::string path_;                                       // the .OLD file
  PasswordInfo info_;                                      // its digest and hint
  std::vector<KeptMemo> memos_;                            // deciphered by Read()
  std::array<std::string, kCategoryCount> categoryNames_;  // the previous table's names
};

}  // namespace tallimor
