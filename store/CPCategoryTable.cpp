// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPCategoryTable: the 16 owned category slots, their 276-byte stored form, and
// the rules for adding (first free index, ids unique within the table) and
// finding categories. Invariant: a category in slot i has index i.
#include "store/CPCategoryTable.h"

#include <cstring>
#include <new>

#include "store/ByteOrder.h"
#include "store/Cp932Bytes.h"

namespace tallimor {
namespace {

// Characters that file systems or archive names cannot carry; each becomes '_'.
constexpr char kFileNameUnsafe[] = "\"*+,./:;<=>?[\\]^|";

bool ValidIndex(std::int32_t index) { return index >= 0 && index < kCategoryCount; }

}  // namespace

CPCategoryTable::CPCategoryTable() = default;
CPCategoryTable::~CPCategoryTable() = default;

Result CPCategoryTable::Load(const std::uint8_t* data, std::uint32_t length) {
  DeleteAll();
  dirty_ = false;
  if (data == nullptr) return kErrNullArgument;
  if (length < kCategoryTableSize) return kErrCategoryTableShort;
  const std::uint16_t changedWord = DecodeFixed16BE(data);
  for (int i = 0; i < kCategoryCount; ++i) {
    const std::uint8_t* stored = data + kCategoryTableNamesOffset + 16 * i;
    if (stored[0] == 0) continue;
    char name[kCategoryNameMax + 1] = {};
    std::memcpy(name, stored, kCategoryNameMax);
    CPCategory category;
    category.SetIndex(i);
    category.SetName(name);
    category.SetId(data[kCategoryTableIdsOffset + i]);
    if (changedWord & (1u << i)) {
      category.SetChanged(true);
      dirty_ = true;
    }
    const Result result = Add(category);
    if (result != kOk) return result;
  }
  return kOk;
}

Result CPCategoryTable::Store(std::uint8_t* buffer, std::uint32_t& size) const {
  if (size < kCategoryTableSize) {
    size = kCategoryTableSize;
    return kErrBufferTooSmall;
  }
  if (buffer == nullptr) return kErrNullArgument;
  std::memset(buffer, 0, kCategoryTableSize);
  Result result = kOk;
  for (int i = 0; i < kCategoryCount && result == kOk; ++i) {
    if (!slots_[i]) continue;
    char name[kCategoryNameMax + 1];
    std::uint32_t nameSize = sizeof name;
    result = slots_[i]->CopyName(name, nameSize);
    if (result != kOk) break;
    std::memcpy(buffer + kCategoryTableNamesOffset + 16 * i, name,
                nameSize < kCategoryNameMax ? nameSize : kCategoryNameMax);
    buffer[kCategoryTableIdsOffset + i] = static_cast<std::uint8_t>(slots_[i]->Id() & 0xFF);
  }
  size = kCategoryTableSize;
  return result;
}

std::int32_t CPCategoryTable::Count() const { return count_; }

CPCategory* CPCategoryTable::FindById(std::int32_t id) const {
  for (const auto& slot : slots_) {
    if (slot && slot->Id() == id) return slot.get();
  }
  return nullptr;
}

CPCategory* CPCategoryTable::FindByName(const char* name) const {
  if (name == nullptr || name[0] == '\0') return nullptr;
  for (const auto& slot : slots_) {
    if (slot && slot->Name() && Cp932EqualsIgnoringCase(slot->Name(), name)) return slot.get();
  }
  return nullptr;
}

CPCategory* CPCategoryTable::At(std::int32_t index) const {
  return ValidIndex(index) ? slots_[index].get() : nullptr;
}

CPCategory* CPCategoryTable::First() {
  position_ = 0;
  return Next();
}

CPCategory* CPCategoryTable::Next() {
  while (position_ < kCategoryCount) {
    CPCategory* category = slots_[position_++].get();
    if (category) return category;
  }
  return nullptr;
}

std::int32_t CPCategoryTable::FirstFreeIndex() const {
  for (int i = 1; i < kCategoryCount; ++i) {
    if (!slots_[i]) return i;
  }
  return -1;
}

void CPCategoryTable::MarkAllChanged() {
  for (auto& slot : slots_) {
    if (slot) slot->SetChanged(true);
  }
}

Result CPCategoryTable::AddAndMarkDirty(CPCategory& category) {
  const Result result = Add(category);
  if (result == kOk) dirty_ = true;
  return result;
}

Result CPCategoryTable::SetAt(std::int32_t index, const CPCategory& category) {
  if (!ValidIndex(index)) return kErrBadCategoryIndex;
  if (slots_[index]) {
    slots_[index].reset();
    --count_;
  }
  slots_[index].reset(new (std::nothrow) CPCategory(category));
  if (!slots_[index]) return kErrOutOfMemory;
  slots_[index]->SetIndex(index);
  ++count_;
  return kOk;
}

Result CPCategoryTable::SetNameAt(std::int32_t index, const char* name) {
  if (!ValidIndex(index)) return kErrBadCategoryIndex;
  if (!slots_[index]) return kErrNoCategoryAtIndex;
  slots_[index]->SetName(name);
  return kOk;
}

Result CPCategoryTable::DeleteAt(std::int32_t index) {
  if (!ValidIndex(index) || !slots_[index]) return kErrBadCategoryIndex;
  slots_[index].reset();
  --count_;
  dirty_ = true;
  return kOk;
}

Result CPCategoryTable::DeleteById(std::int32_t id) {
  CPCategory* category = FindById(id);
  if (!category) return kErrCategoryNotFound;
  return DeleteAt(category->Index());
}

Result CPCategoryTable::DeleteByName(const char* name) {
  if (name == nullptr || name[0] == '\0') return kErrNoCategoryName;
  for (int i = 0; i < kCategoryCount; ++i) {
    if (slots_[i] && slots_[i]->Name() && std::strcmp(slots_[i]->Name(), name) == 0) {
      return DeleteAt(i);
    }
  }
  return kErrCategoryNotFound;
}

bool CPCategoryTable::IsDirty() const { return dirty_; }
void CPCategoryTable::SetDirty(bool dirty) { dirty_ = dirty; }

bool CPCategoryTable::Equals(const CPCategoryTable& other) const {
  for (int i = 0; i < kCategoryCount; ++i) {
    const CPCategory* a = slots_[i].get();
    const CPCategory* b = other.slots_[i].get();
    if ((a == nullptr) != (b == nullptr)) return false;
    if (a && !a->Equals(*b)) return false;
  }
  return true;
}

void CPCategoryTable::DeleteAll() {
  for (auto& slot : slots_) slot.reset();
  count_ = 0;
}

Result CPCategoryTable::Add(CPCategory& category) {
  if (count_ >= kCategoryCount) return kErrCategoryTableFull;
  std::int32_t index = category.Index();
  if (index == -1) {
    index = FirstFreeIndex();
    if (index == -1) return kErrCategoryTableFull;
    category.SetIndex(index);
    category.SetChanged(true);
  } else if (!ValidIndex(index)) {
    return kErrBadCategoryIndex;
  } else if (slots_[index]) {
    return kErrCategoryTableFull;  // the given slot is taken: no room for it there
  }
  if (category.Id() == -1) {
    const std::int32_t id = NewId();
    if (id == -1) return kErrCategoryTableFull;
    category.SetId(id);
    category.SetChanged(true);
  } else if (FindById(category.Id())) {
    return kErrCategoryIdExists;
  }
  char fileName[kCategoryFileNameMax + 1];
  std::uint32_t fileNameSize = sizeof fileName;
  if (MakeFileName(category.Name(), fileName, fileNameSize) == kOk) {
    category.SetFileName(fileName);
  }
  slots_[index].reset(new (std::nothrow) CPCategory(category));
  if (!slots_[index]) return kErrOutOfMemory;
  ++count_;
  return kOk;
}

std::int32_t CPCategoryTable::NewId() { return -1; }

std::uint16_t CPCategoryTable::SwapBytes(std::uint16_t value) const {
  return static_cast<std::uint16_t>((value << 8) | (value >> 8));
}

Result CPCategoryTable::MakeFileName(const char* name, char* buffer, std::uint32_t& size) const {
  if (name == nullptr || name[0] == '\0') return kErrNoCategoryName;
  if (buffer == nullptr) return kErrNullArgument;
  if (size == 0) {
    size = 1;
    return kErrBufferTooSmall;
  }
  std::uint32_t n = 0;
  for (; n + 1 < size && name[n] != '\0'; ++n) {
    buffer[n] = std::strchr(kFileNameUnsafe, name[n]) ? '_' : name[n];
  }
  buffer[n] = '\0';
  return kOk;
}

std::uint16_t CPCategoryTable::ChangedWord() const {
  std::uint16_t word = 0;
  for (int i = 0; i < kCategoryCount; ++i) {
    if (slots_[i] && slots_[i]->IsChanged()) word = static_cast<std::uint16_t>(word | (1u << i));
  }
  return word;
}

std::int32_t CPCategoryTable::NextDesktopId() const {
  std::int32_t largest = -1;
  bool used[kLastCategoryId + 1] = {};
  for (const auto& slot : slots_) {
    if (!slot) continue;
    const std::int32_t id = slot->Id();
    if (id > largest) largest = id;
    if (id >= 0 && id <= kLastCategoryId) used[id] = true;
  }
  if (largest < kFirstDesktopCategoryId) return kFirstDesktopCategoryId;
  if (largest < kLastCategoryId) return largest + 1;
  for (std::int32_t id = kFirstDesktopCategoryId; id <= kLastCategoryId; ++id) {
    if (!used[id]) return id;
  }
  return -1;
}

}  // namespace tallimor
