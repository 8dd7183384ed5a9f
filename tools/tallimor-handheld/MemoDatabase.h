// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// MemoDatabase: the memo database of the handheld memo application (TallimorDB,
// creator Tlmr, type DATA) as that application changes it: memos in the stored memo
// form, enciphered when a password is set; record attributes marked as the handheld
// marks them for the next HotSync (dirty, deleted, archived, secret); the category
// table with its renamed flags and handheld category ids; and the password digest and
// hint in the application information. It works on a HandheldDatabase in memory; the
// caller saves it through the Handheld. All text is code page 932 bytes.
//
// Application information: the 276-byte category table, 4 bytes kept as they are,
// the 16-byte MD5 digest of the password (all zero: no password), the hint up to NUL.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crypto/CBlowfish.h"
#include "protect/PasswordInfo.h"
#include "hotsync/handheld/HandheldDatabase.h"
#include "hotsync/pdb/PdbFile.h"
#include "store/CPCategoryTable.h"
#include "store/ResultCodes.h"

namespace tallimor {

class MemoDatabase {
 public:
  static constexpr const char* kDatabaseName = "TallimorDB";
  static constexpr std::uint32_t kCreator = FourCc("Tlmr");
  static constexpr std::uint32_t kType = FourCc("DATA");
  // The name the handheld gives category index 0, which can be neither renamed nor deleted.
  static constexpr const char* kUnfiledName = "Unfiled";
  // The desktop's password entry takes at most 16 characters, so a longer password
  // could never be typed there.
  static constexpr std::size_t kMaxPasswordCharacters = 16;
  static constexpr std::size_t kMaxHintBytes = 255;
  // Categories the handheld adds get ids in this range; the desktop's start at 128.
  static constexpr int kFirstHandheldCategoryId = 1;
  static constexpr int kLastHandheldCategoryId = 127;

  MemoDatabase(const MemoDatabase&) = delete;
  MemoDatabase& operator=(const MemoDatabase&) = delete;
  ~MemoDatabase();

  // A new memo database made at `nowPalm` (handheld epoch seconds): backed up at each
  // HotSync, holding only the Unfiled category (index 0, id 0), no memos, no password.
  static std::unique_ptr<MemoDatabase> CreateNew(std::uint32_t nowPalm);
  // Takes over a database read from the handheld after checking that it is the memo
  // database: a record database with creator Tlmr and type DATA whose application
  // information holds a category table that loads. kErrNotSupported,
  // kErrNoAppInfoForCategories or the table's load error, with *error.
  static Result Adopt(std::unique_ptr<HandheldDatabase> db, std::unique_ptr<MemoDatabase>* out,
                      std::string* error);

  HandheldDatabase& database() { return *db_; }
  const HandheldDatabase& database() const { return *db_; }

  // --- Password ---

  // True when a password digest is set, i.e. the memos are enciphered.
  bool IsProtected() const;
  // The stored hint (code page 932), empty when there is none.
  const std::string& hint() const { return hint_; }
  // Checks `password` against the digest and, when it matches, keys the cipher with it.
  // Always true for a database without a password.
  bool Unlock(const std::string& password);
  // True when the memos can be read and written: no password, or Unlock succeeded.
  bool IsUnlocked() const { return !IsProtected() || cipher_ != nullptr; }
  // Sets `password` and `hint`, or removes the password when `password` is empty (the
  // hint must then be empty too). Every memo is deciphered with the old key, enciphered
  // with the new one and marked dirty, so the next HotSync carries the new form.
  // REQUIRES: IsUnlocked(). kErrTooLong or kErrNotSupported for a password or hint that
  // CheckPassword / CheckHint refuse.
  Result ChangePassword(const std::string& password, const std::string& hint, std::string* error);
  // Whether `password` (code page 932) can be set: 1 to 16 characters.
  static bool CheckPassword(const std::string& password, std::string* error);
  // Whether `hint` (code page 932) can be stored: at most 255 bytes, no NUL.
  static bool CheckHint(const std::string& hint, std::string* error);

  // --- Memos (REQUIRES: IsUnlocked() for those that read or write text) ---

  // The attribute byte of a record as the Sync Manager reports it to the conduit:
  // 0x80 deleted, 0x40 dirty, 0x20 busy, 0x10 private, 0x08 archived (with 0x80).
  static std::uint8_t ReportedAttributes(const PdbRecord& record);
  // The memo text of a record, deciphered, up to its first NUL (empty without data).
  std::string MemoText(const PdbRecord& record) const;
  // Adds a memo at the end in category `category` (which must exist), dirty and, when
  // `isPrivate`, secret; fills *id with the unique id the handheld gave it. CR LF line
  // ends become LF. kErrNoMatch for an empty text, kErrTooLong, kErrBadCategoryIndex,
  // or the handheld's kSyncErrDatabaseFull.
  Result AddMemo(std::string_view text, int category, bool isPrivate, std::uint32_t* id, std::string* error);
  // Replaces the text of a live memo and marks it dirty; *changed is false (and nothing
  // is marked) when the text is the same. kErrRecordNotFound, kErrNotSupported for a
  // deleted memo, and the errors of AddMemo.
  Result EditMemo(std::uint32_t id, std::string_view text, bool* changed, std::string* error);
  // Deletes a live memo as the handheld does: deleted and dirty, its data dropped; with
  // `archive` its data is kept and it is marked archived, so that the conduit keeps a
  // copy on the desktop. The category is not kept on a deleted record.
  Result DeleteMemo(std::uint32_t id, bool archive, std::string* error);
  // Sets or clears the secret attribute of a live memo and marks it dirty; *changed is
  // false when it already was so.
  Result SetPrivate(std::uint32_t id, bool on, bool* changed, std::string* error);
  // Moves a live memo to an existing category and marks it dirty; *changed is false
  // when it already was there.
  Result MoveMemo(std::uint32_t id, int category, bool* changed, std::string* error);

  // --- Categories ---

  const CPCategoryTable& categories() const { return categories_; }
  // Adds a category at the lowest free index 1 to 15 with a fresh handheld id and its
  // renamed flag set; fills *index. kErrNoCategoryName, kErrTooLong (above 15 bytes),
  // kErrCategoryIdExists (a category of that name, letter case ignored, exists),
  // kErrCategoryTableFull.
  Result AddCategory(std::string_view name, int* index, std::string* error);
  // Renames the category at `index` (1 to 15) and sets its renamed flag; *changed is
  // false when the name is the same byte for byte. Errors as AddCategory, and
  // kErrBadCategoryIndex for index 0 or an empty slot.
  Result RenameCategory(int index, std::string_view name, bool* changed, std::string* error);
  // Deletes the category at `index` (1 to 15); its live memos move to Unfiled and are
  // marked dirty. Fills *moved with their number. kErrBadCategoryIndex.
  Result DeleteCategory(int index, std::size_t* moved, std::string* error);

 private:
  explicit MemoDatabase(std::unique_ptr<HandheldDatabase> db);

  // Reads the category table, the last category id and the password info from the
  // application information. kErrNoAppInfoForCategories or the table's load error.
  Result ReadAppInfo(std::string* error);
  // Writes the category table (with the renamed flags and the last id) or the password
  // info back into the application information, and marks it dirty for the HotSync.
  void WriteCategoryTable();
  void WritePasswordInfo();
  // The live (neither deleted nor busy) memo with this id, copied into *record.
  Result LiveMemo(std::uint32_t id, PdbRecord* record, std::size_t* index, std::string* error) const;
  // The stored (and, with a password, enciphered) form of `text` (code page 932).
  Result MakeMemoData(std::string_view text, std::vector<std::uint8_t>* data, std::string* error) const;
  // Validates a category name and checks that no other category has it.
  Result CheckCategoryName(std::string_view name, int exceptIndex, std::string* error) const;
  // Writes `record` back over the record with its id.
  Result Replace(PdbRecord record, std::string* error);
  // The id the handheld gives a category it adds: the next after the last one given,
  // from 1 to 127 and wrapping, that no category holds; -1 when none is free.
  int NewCategoryId() const;

  std::unique_ptr<HandheldDatabase> db_;
  CPCategoryTable categories_;
  std::uint8_t lastCategoryId_ = 0;       // byte 274 of the category table
  std::array<std::uint8_t, kPasswordDigestSize> digest_{};  // all zero: no password
  std::string hint_;
  std::unique_ptr<CBlowfish> cipher_;     // keyed once unlocked; none without a password
};

}  // namespace tallimor
