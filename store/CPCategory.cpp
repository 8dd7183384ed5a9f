// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPCategory: a category's fields and the copy-out rules for its two names.
// Names are kept NUL-terminated inside their fixed arrays at all times.
#include "store/CPCategory.h"

#include <cstring>

#include "store/Cp932Bytes.h"

namespace tallimor {

CPCategory::CPCategory() = default;
CPCategory::~CPCategory() = default;

std::int32_t CPCategory::Index() const { return index_; }
std::int32_t CPCategory::Id() const { return id_; }
const char* CPCategory::Name() const { return name_[0] != '\0' ? name_ : nullptr; }

Result CPCategory::CopyName(char* buffer, std::uint32_t& size) const {
  if (buffer == nullptr) return kErrNoNameBuffer;
  std::memset(buffer, 0, size);
  const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(name_));
  if (length == 0) return kOk;
  if (length > size) {
    size = length;
    return kErrBufferTooSmall;
  }
  std::memcpy(buffer, name_, length);
  size = length;
  return kOk;
}

Result CPCategory::CopyFileName(char* buffer, std::uint32_t& size) const {
  if (buffer == nullptr) return kErrNoNameBuffer;
  const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(fileName_));
  if (length == 0) {
    if (size > 0) buffer[0] = '\0';
    size = 0;
    return kOk;
  }
  if (size < length + 1) {
    size = length + 1;
    return kErrBufferTooSmall;
  }
  std::memcpy(buffer, fileName_, length + 1);
  size = length;
  return kOk;
}

std::uint32_t CPCategory::Flags() const { return flags_; }
void CPCategory::SetId(std::int32_t id) { id_ = id; }

Result CPCategory::SetName(const char* name) {
  std::memset(name_, 0, sizeof name_);
  if (name == nullptr) return kOk;
  const std::size_t length = std::strlen(name);
  if (length <= static_cast<std::size_t>(kCategoryNameMax)) {
    std::memcpy(name_, name, length);
    return kOk;
  }
  // Cutting between the two bytes of a character would leave text that no
  // code page 932 reader accepts; drop the whole character instead.
  std::memcpy(name_, name, Cp932PrefixLength(name, kCategoryNameMax));
  return kErrTooLong;
}

Result CPCategory::SetFileName(const char* name) {
  std::memset(fileName_, 0, sizeof fileName_);
  if (name == nullptr) return kOk;
  std::size_t length = std::strlen(name);
  if (length > static_cast<std::size_t>(kCategoryFileNameMax)) length = kCategoryFileNameMax;
  std::memcpy(fileName_, name, length);
  return kOk;
}

void CPCategory::SetFlags(std::uint32_t flags) { flags_ = flags; }

void CPCategory::SetChanged(bool on) {
  flags_ = on ? (flags_ | kCategoryChanged) : (flags_ & ~kCategoryChanged);
}

bool CPCategory::IsChanged() const { return (flags_ & kCategoryChanged) != 0; }
void CPCategory::SetIndex(std::int32_t index) { index_ = index; }

bool CPCategory::Equals(const CPCategory& other) const {
  return index_ == other.index_ && id_ == other.id_ && std::strcmp(name_, other.name_) == 0;
}

}  // namespace tallimor
