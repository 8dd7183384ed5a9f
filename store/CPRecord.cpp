// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPRecord: field access, status and mark bits, comparison, and the conversions
// between a record and the Sync Manager's raw record. Data is held in an owned
// array allocated without throwing, so that allocation failure becomes a result.
#include "store/CPRecord.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace tallimor {
namespace {

// Texts of the conduit's string resources 3379 and 3380.
constexpr char kDescribeById[] = "Record ID %u";
constexpr char kDescribeByIndex[] = "Record Index %u";

// Room that Describe asks for beyond the format text: enough for any 32-bit number.
constexpr std::uint32_t kDescribeSlack = 10;

// Copies `length` bytes into a fresh array; nullptr when length is 0 or memory is short.
std::unique_ptr<std::uint8_t[]> CopyBytes(const std::uint8_t* bytes, std::uint32_t length) {
  if (length == 0 || bytes == nullptr) return nullptr;
  std::unique_ptr<std::uint8_t[]> copy(new (std::nothrow) std::uint8_t[length]);
  if (copy) std::memcpy(copy.get(), bytes, length);
  return copy;
}

}  // namespace

CPRecord::CPRecord() = default;

CPRecord::CPRecord(const RawRecordInfo& raw) { FromRawRecord(raw); }

CPRecord::CPRecord(const CPRecord& other) { Assign(other); }

CPRecord& CPRecord::operator=(const CPRecord& other) {
  if (this != &other) Assign(other);
  return *this;
}

CPRecord::~CPRecord() = default;

void CPRecord::Reset() {
  data_.reset();
  length_ = 0;
  id_ = kNoRecordId;
  index_ = -1;
  category_ = 0;
  status_ = 0;
  handle_ = 0;
  private_ = 0;
  marks_ = 0;
  handheldIndex_ = -1;
}

int CPRecord::Compare(const CPRecord& other) const {
  if (length_ != other.length_) return 1;
  if (length_ > 0 && std::memcmp(data_.get(), other.data_.get(), length_) != 0) return 2;
  if (category_ != other.category_) return 3;
  if ((private_ != 0) != (other.private_ != 0)) return 4;
  return 0;
}

Result CPRecord::SetData(std::uint32_t length, const std::uint8_t* bytes) {
  data_.reset();
  length_ = 0;
  if (length == 0) return kOk;
  if (bytes == nullptr) return kErrNullArgument;
  data_ = CopyBytes(bytes, length);
  if (!data_) return kErrOutOfMemory;
  length_ = length;
  return kOk;
}

std::uint8_t* CPRecord::Data() { return data_.get(); }

Result CPRecord::CopyData(std::uint8_t* buffer, std::uint32_t& size) const {
  if (buffer == nullptr) return kErrNoNameBuffer;
  if (!data_) {
    if (size > 0) buffer[0] = 0;
    size = 0;
    return kOk;
  }
  if (size < length_) {
    size = length_;
    return kErrBufferTooSmall;
  }
  std::memcpy(buffer, data_.get(), length_);
  size = length_;
  return kOk;
}

std::uint32_t CPRecord::DataLength() const { return length_; }
std::uint32_t CPRecord::Status() const { return status_; }
void CPRecord::SetStatus(std::uint32_t status) { status_ = status; }
std::uint32_t CPRecord::Id() const { return id_; }
std::int32_t CPRecord::Index() const { return index_; }
std::int32_t CPRecord::Category() const { return category_; }
void CPRecord::SetId(std::uint32_t id) { id_ = id; }
void CPRecord::SetIndex(std::int32_t index) { index_ = index; }
void CPRecord::SetCategory(std::int32_t category) { category_ = category; }

bool CPRecord::IsDeleted() const { return (status_ & kStatusDeleted) != 0; }
bool CPRecord::IsArchived() const { return (status_ & kStatusArchived) != 0; }
bool CPRecord::IsModified() const { return (status_ & kStatusModified) != 0; }
bool CPRecord::HasNoStatus() const { return status_ == 0; }
bool CPRecord::IsNew() const { return (status_ & kStatusNew) != 0; }
bool CPRecord::IsPrivate() const { return private_ != 0; }
bool CPRecord::HasAnyStatus() const { return status_ != 0; }
bool CPRecord::HasPendingMark() const { return (marks_ & kPendingMark) != 0; }

void CPRecord::SetPrivate(bool on) { private_ = on ? 1 : 0; }
void CPRecord::SetNew(bool on) { SetBit(status_, kStatusNew, on); }
void CPRecord::SetDeleted(bool on) { SetBit(status_, kStatusDeleted, on); }
void CPRecord::SetArchived(bool on) { SetBit(status_, kStatusArchived, on); }
void CPRecord::SetModified(bool on) { SetBit(status_, kStatusModified, on); }
void CPRecord::SetPendingMark(bool on) { SetBit(marks_, kPendingMark, on); }
void CPRecord::ClearStatus() { status_ = 0; }

void CPRecord::ClearStatusAndMarks() {
  status_ = 0;
  marks_ = 0;
}

std::uint32_t CPRecord::StateCode() const { return status_ == 0 ? kStateNoStatus : status_; }

Result CPRecord::Assign(const CPRecord& other) {
  if (this == &other) return kOk;
  id_ = other.id_;
  index_ = other.index_;
  category_ = other.category_;
  status_ = other.status_;
  handle_ = other.handle_;
  private_ = other.private_;
  marks_ = other.marks_;
  handheldIndex_ = other.handheldIndex_;
  data_ = CopyBytes(other.data_.get(), other.length_);
  length_ = data_ ? other.length_ : 0;
  return (other.length_ > 0 && !data_) ? kErrOutOfMemory : kOk;
}

bool CPRecord::TestMarks(std::uint32_t mask) const { return (marks_ & mask) != 0; }
void CPRecord::AddMarks(std::uint32_t mask) { marks_ |= mask; }
void CPRecord::ClearMarks() { marks_ = 0; }

Result CPRecord::FromRawRecord(const RawRecordInfo& raw) {
  id_ = raw.recordId;
  index_ = raw.recordIndex;  // zero-extended
  category_ = raw.category;  // sign-extended
  status_ = 0;
  marks_ = 0;
  handle_ = raw.handle;
  // A raw record that claims bytes it does not carry comes in without data.
  data_ = CopyBytes(raw.data, raw.recordSize);
  length_ = data_ ? raw.recordSize : 0;
  if (raw.attributes & kRawAttrDeleted) status_ |= kStatusDeleted;
  if (raw.attributes & kRawAttrDirty) status_ |= kStatusModified;
  if (raw.attributes & kRawAttrArchived) status_ |= kStatusArchived;
  private_ = (raw.attributes & kRawAttrPrivate) ? 1 : 0;
  return kOk;
}

Result CPRecord::ToRawRecord(RawRecordInfo& raw) const {
  raw.recordId = id_;
  raw.recordIndex = static_cast<std::uint16_t>(handheldIndex_ != -1 ? handheldIndex_ : index_);
  raw.category = static_cast<std::int16_t>(category_);
  if (raw.bufferSize < length_) return kErrBufferTooSmall;
  if (length_ > 0) {
    if (raw.data == nullptr) return kErrNullArgument;
    std::memcpy(raw.data, data_.get(), length_);
  }
  raw.recordSize = length_;
  raw.handle = handle_;
  std::uint8_t attributes = 0;
  if (IsDeleted()) attributes |= kRawAttrDeleted;
  if (IsArchived()) attributes |= kRawAttrArchived;
  if (IsModified()) attributes |= kRawAttrDirty;
  if (IsPrivate()) attributes |= kRawAttrPrivate;
  raw.attributes = attributes;
  return kOk;
}

Result CPRecord::ToRawRecordByReference(std::uint8_t handle, RawRecordInfo& raw) {
  raw.recordId = id_;
  raw.recordIndex = static_cast<std::uint16_t>(handheldIndex_ != -1 ? handheldIndex_ : index_);
  raw.category = static_cast<std::int16_t>(category_);
  // The raw buffer size is 16 bits wide; larger data cannot be described by reference.
  if (length_ > 0xFFFFu) return kErrBufferTooSmall;
  raw.data = data_.get();
  raw.bufferSize = static_cast<std::uint16_t>(length_);
  raw.recordSize = length_;
  raw.handle = handle;
  return kOk;
}

Result CPRecord::Describe(char* buffer, std::uint32_t& size) const {
  const bool byId = id_ != kNoRecordId || index_ == -1;
  const std::uint32_t formatLength = byId ? sizeof kDescribeById - 1 : sizeof kDescribeByIndex - 1;
  const std::uint32_t needed = formatLength + kDescribeSlack;
  if (size < needed) {
    size = needed;
    return kErrBufferTooSmall;
  }
  if (buffer == nullptr) return kErrNullArgument;
  const int written = byId ? std::snprintf(buffer, size, kDescribeById, id_)
                           : std::snprintf(buffer, size, kDescribeByIndex,
                                           static_cast<std::uint32_t>(index_));
  return written;
}

void CPRecord::SetHandheldIndex(std::int32_t index) { handheldIndex_ = index; }
std::int32_t CPRecord::HandheldIndex() const { return handheldIndex_; }

}  // namespace tallimor
