// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPCategoryTable: the 16 category slots of a database, indexed by category
// index, and their 276-byte stored form at the start of the app info data:
// changed-categories word (most significant byte first), 16 names of 16 bytes,
// 16 one-byte ids, the last unique id byte and a zero byte.
#pragma once

#include <cstdint>
#include <memory>

#include "store/CPCategory.h"
#include "store/ResultCodes.h"

namespace tallimor {

// Size of the stored category table.
inline constexpr std::uint32_t kCategoryTableSize = 276;
// Offsets inside the stored category table.
inline constexpr std::uint32_t kCategoryTableNamesOffset = 2;
inline constexpr std::uint32_t kCategoryTableIdsOffset = 258;
inline constexpr std::uint32_t kCategoryTableLastIdOffset = 274;
// The first id that the desktop gives out; desktop ids stay within 128 to 255.
inline constexpr std::int32_t kFirstDesktopCategoryId = 128;
inline constexpr std::int32_t kLastCategoryId = 255;

class CPCategoryTable {
 public:
  // An empty table, not dirty.
  CPCategoryTable();
  CPCategoryTable(const CPCategoryTable&) = delete;
  CPCategoryTable& operator=(const CPCategoryTable&) = delete;

  // Virtual operations, in slot order.

  // Destroys every category.
  virtual ~CPCategoryTable();
  // Replaces the contents by the stored table in `data` (at least 276 bytes).
  // A category whose bit is set in the changed-categories word gets the changed
  // flag and makes the table dirty. Stops at the first category that cannot be
  // added and returns its error. kErrNullArgument, kErrCategoryTableShort.
  virtual Result Load(const std::uint8_t* data, std::uint32_t length);
  // Writes the 276-byte stored form into `buffer` and sets `size` to 276; the
  // changed-categories word and the last unique id are written as 0.
  // kErrBufferTooSmall with 276 in `size` when the buffer is smaller.
  virtual Result Store(std::uint8_t* buffer, std::uint32_t& size) const;
  // Number of occupied slots.
  virtual std::int32_t Count() const;
  // The category with that id, or nullptr.
  virtual CPCategory* FindById(std::int32_t id) const;
  // The first category (by index) whose name equals `name` ignoring the case of
  // single-byte letters; nullptr for a missing or empty name or no match.
  virtual CPCategory* FindByName(const char* name) const;
  // The category at `index`, or nullptr for an empty slot or an index outside 0 to 15.
  virtual CPCategory* At(std::int32_t index) const;
  // Iterate the occupied slots by ascending index; nullptr after the last.
  virtual CPCategory* First();
  virtual CPCategory* Next();
  // The lowest empty index from 1 to 15 (0 is never given out), or -1.
  virtual std::int32_t FirstFreeIndex() const;
  // Sets the changed flag of every category.
  virtual void MarkAllChanged();
  // Add(); on success the table becomes dirty.
  virtual Result AddAndMarkDirty(CPCategory& category);
  // Puts a copy of `category` into slot `index` (its index becomes `index`),
  // destroying what was there. kErrBadCategoryIndex, kErrOutOfMemory.
  virtual Result SetAt(std::int32_t index, const CPCategory& category);
  // Renames the category at `index`; a cut name is not reported.
  // kErrBadCategoryIndex above 15, kErrNoCategoryAtIndex for an empty slot.
  virtual Result SetNameAt(std::int32_t index, const char* name);
  // Destroys the category at `index` and makes the table dirty.
  // kErrBadCategoryIndex for an index outside 0 to 15 or an empty slot.
  virtual Result DeleteAt(std::int32_t index);
  // Destroys the first category with that id; kErrCategoryNotFound if none.
  virtual Result DeleteById(std::int32_t id);
  // Destroys the first category whose name equals `name` exactly.
  // kErrNoCategoryName for a missing or empty name; kErrCategoryNotFound if none.
  virtual Result DeleteByName(const char* name);
  virtual bool IsDirty() const;
  virtual void SetDirty(bool dirty);
  // True when every slot is empty in both tables or holds equal categories in both.
  virtual bool Equals(const CPCategoryTable& other) const;
  // Destroys every category; the dirty flag stays as it is.
  virtual void DeleteAll();
  // Adds a copy of `category`. Index -1 takes the first free index and id -1 a
  // new id (NewId), each also setting the changed flag; the caller's object
  // receives the index, id, flag and file name given. Errors: kErrCategoryTableFull
  // (16 categories, no free index, no id, or the given slot is taken),
  // kErrCategoryIdExists, kErrBadCategoryIndex (index outside -1 to 15),
  // kErrOutOfMemory.
  virtual Result Add(CPCategory& category);
  // A fresh id for a category added without one; the table itself has no id
  // source and answers -1.
  virtual std::int32_t NewId();
  // Exchanges the two bytes of a 16-bit value.
  virtual std::uint16_t SwapBytes(std::uint16_t value) const;
  // Copies at most size - 1 bytes of `name` into `buffer`, ends it with NUL and
  // replaces each of  " * + , . / : ; < = > ? [ \ ] ^ |  by '_', byte by byte.
  // kErrNoCategoryName, kErrNullArgument, kErrBufferTooSmall (size 0).
  virtual Result MakeFileName(const char* name, char* buffer, std::uint32_t& size) const;

  // Not slot operations.

  // Bit i set when the category at index i carries the changed flag.
  std::uint16_t ChangedWord() const;
  // The id that the desktop program gives a category it adds: 128 when no id is
  // 128 or above, else the largest id + 1; when that passes 255, the lowest
  // unused id from 128 to 255; -1 when all of those are taken.
  std::int32_t NextDesktopId() const;

 private:
  std::unique_ptr<CPCategory> slots_[kCategoryCount];  // owned, indexed by category index
  std::int32_t count_ = 0;                              // occupied slots
  std::int32_t position_ = 0;                           // next slot that Next() looks at
  bool dirty_ = false;                                  // changed since last cleared
};

}  // namespace tallimor
