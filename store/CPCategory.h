// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPCategory: one of the 16 categories of a database: index 0 to 15, a one-byte
// unique id, a name of at most 15 bytes, the same name made safe for file names,
// and the changed flag. CPCategoryTable holds them; see store/CPCategoryTable.h.
#pragma once

#include <cstdint>

#include "store/ResultCodes.h"

namespace tallimor {

inline constexpr int kCategoryCount = 16;
inline constexpr int kCategoryNameMax = 15;      // bytes, without the NUL
inline constexpr int kCategoryFileNameMax = 255;  // bytes, without the NUL
// Flag bit: the category was changed since the last synchronization.
inline constexpr std::uint32_t kCategoryChanged = 0x10;

class CPCategory {
 public:
  // Index -1, id -1, empty names, flags 0.
  CPCategory();
  // Copies index, id, flags and both names.
  CPCategory(const CPCategory& other) = default;
  CPCategory& operator=(const CPCategory& other) = default;

  // Virtual operations, in slot order.

  virtual ~CPCategory();
  // 0 to 15, or -1 when not yet placed in a table.
  virtual std::int32_t Index() const;
  // 0 to 255, or -1 when not yet given.
  virtual std::int32_t Id() const;
  // The name (NUL-terminated), or nullptr when it is empty.
  virtual const char* Name() const;
  // Clears `size` bytes of `buffer`, then copies the name without a NUL when it
  // exactly fills the buffer, and sets `size` to the name length. An empty name
  // leaves `size` as it is. kErrNoNameBuffer for a missing buffer;
  // kErrBufferTooSmall with the name length in `size`.
  virtual Result CopyName(char* buffer, std::uint32_t& size) const;
  // Copies the file name with its NUL and sets `size` to its length.
  // kErrNoNameBuffer for a missing buffer; kErrBufferTooSmall with length + 1 in `size`.
  virtual Result CopyFileName(char* buffer, std::uint32_t& size) const;
  virtual std::uint32_t Flags() const;
  virtual void SetId(std::int32_t id);
  // Keeps at most 15 bytes of `name` (nullptr empties it). A longer name is cut,
  // never inside a double-byte character, and kErrTooLong is returned.
  virtual Result SetName(const char* name);
  // Keeps at most 255 bytes of `name` (nullptr empties it). Returns 0.
  virtual Result SetFileName(const char* name);
  virtual void SetFlags(std::uint32_t flags);
  virtual void SetChanged(bool on);
  virtual bool IsChanged() const;
  virtual void SetIndex(std::int32_t index);
  // True when index, id and name (byte for byte) are equal.
  virtual bool Equals(const CPCategory& other) const;

  // The file name (NUL-terminated, possibly empty). Not a slot operation.
  const char* FileName() const { return fileName_; }

 private:
  std::int32_t index_ = -1;                      // slot in the table, or -1
  std::int32_t id_ = -1;                         // unique id, or -1
  char name_[kCategoryNameMax + 1] = {};         // NUL-terminated name
  char fileName_[kCategoryFileNameMax + 1] = {};  // name with unsafe characters replaced
  std::uint32_t flags_ = 0;                      // kCategoryChanged
};

}  // namespace tallimor
