// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPRecord: one record of the memo database on either side of a HotSync: id,
// category, status bits, private flag, marks and an owned block of opaque data.
// It converts to and from the Sync Manager's raw record (handheld side); the
// desktop file's record image is built and parsed in store/RecordFileFormat.h.
#pragma once

#include <cstdint>
#include <memory>

#include "store/RawRecordInfo.h"
#include "store/ResultCodes.h"

namespace tallimor {

// Status bits (the StatusFlags word); the common language of both sides.
inline constexpr std::uint32_t kStatusDeleted = 1;
inline constexpr std::uint32_t kStatusArchived = 2;
inline constexpr std::uint32_t kStatusModified = 4;
inline constexpr std::uint32_t kStatusNew = 8;
inline constexpr std::uint32_t kStatusAll =
    kStatusDeleted | kStatusArchived | kStatusModified | kStatusNew;

// State code of a record without any status bit (see StateCode()).
inline constexpr std::uint32_t kStateNoStatus = 32;

// Mark bits; the pending mark is the store's, the other bits are free for callers.
inline constexpr std::uint32_t kPendingMark = 1;

// Id of a record that has none.
inline constexpr std::uint32_t kNoRecordId = 0xFFFFFFFFu;

class CPRecord {
 public:
  // A record with every field at its default: no id, index -1, category 0 (Unfiled),
  // no status, no data, not private, no marks, handheld index -1.
  CPRecord();
  // A record converted from the handheld's raw form (see FromRawRecord); handheld index -1.
  explicit CPRecord(const RawRecordInfo& raw);
  // Copies every field with a deep copy of the data. If the data cannot be
  // allocated the copy has no data and length 0.
  CPRecord(const CPRecord& other);
  // Same as Assign().
  CPRecord& operator=(const CPRecord& other);

  // Virtual operations, in slot order.

  virtual ~CPRecord();
  // Frees the data and returns every field to its default (handle 0).
  virtual void Reset();
  // 0 when equal, else the first difference in this order: 1 data lengths differ,
  // 2 data bytes differ, 3 categories differ, 4 private flags differ.
  // Ids, indexes, status and marks are not compared.
  virtual int Compare(const CPRecord& other) const;
  // Replaces the data by a copy of `length` bytes. Length 0 leaves the record
  // without data. kErrOutOfMemory if the copy cannot be allocated (the record then
  // has no data); kErrNullArgument for a missing `bytes` with a length above 0.
  virtual Result SetData(std::uint32_t length, const std::uint8_t* bytes);
  // The record's own data, or nullptr when it has none. Changing the bytes in
  // place is allowed; the length stays.
  virtual std::uint8_t* Data();
  const std::uint8_t* Data() const { return data_.get(); }
  // Copies the data into `buffer` of `size` bytes and sets `size` to the data
  // length. kErrNoNameBuffer if `buffer` is missing; kErrBufferTooSmall with the
  // needed size written back. Without data writes one NUL (if size > 0) and sets size 0.
  virtual Result CopyData(std::uint8_t* buffer, std::uint32_t& size) const;
  virtual std::uint32_t DataLength() const;

  virtual std::uint32_t Status() const;
  virtual void SetStatus(std::uint32_t status);
  virtual std::uint32_t Id() const;
  virtual std::int32_t Index() const;
  virtual std::int32_t Category() const;
  virtual void SetId(std::uint32_t id);
  virtual void SetIndex(std::int32_t index);
  virtual void SetCategory(std::int32_t category);

  virtual bool IsDeleted() const;
  virtual bool IsArchived() const;
  virtual bool IsModified() const;
  virtual bool HasNoStatus() const;
  virtual bool IsNew() const;
  virtual bool IsPrivate() const;
  virtual bool HasAnyStatus() const;
  virtual bool HasPendingMark() const;

  virtual void SetPrivate(bool on);
  // Each sets (on) or clears (off) one bit; the other bits are untouched.
  virtual void SetNew(bool on);
  virtual void SetDeleted(bool on);
  virtual void SetArchived(bool on);
  virtual void SetModified(bool on);
  virtual void SetPendingMark(bool on);
  // Clears every status bit; marks stay.
  virtual void ClearStatus();
  virtual void ClearStatusAndMarks();
  // The status bits, or kStateNoStatus (32) when no status bit is set.
  virtual std::uint32_t StateCode() const;
  // Copies every field of `other` as the copy constructor does. Returns 0, or
  // kErrOutOfMemory when the data could not be copied (the record then has none).
  virtual Result Assign(const CPRecord& other);

  // True when any bit of `mask` is among the marks.
  virtual bool TestMarks(std::uint32_t mask) const;
  virtual void AddMarks(std::uint32_t mask);
  virtual void ClearMarks();

  // Takes id, index, category, handle, data and attributes from the handheld's
  // raw record (deleted 0x80, modified 0x40, archived 0x08, private 0x10; every
  // other attribute bit is ignored). Status and marks start from 0. Returns 0.
  virtual Result FromRawRecord(const RawRecordInfo& raw);
  // Fills the caller's raw record, copying the data into raw.data of
  // raw.bufferSize bytes. The index written is the handheld index when it is not
  // -1. kErrBufferTooSmall if the buffer is smaller than the data; kErrNullArgument
  // if there is data but no buffer. The attribute byte is rebuilt from the status.
  virtual Result ToRawRecord(RawRecordInfo& raw) const;
  // As ToRawRecord, but raw.data points at this record's own data (no copy),
  // buffer size and record size are the data length, the handle is `handle`, and
  // the attribute byte is left as it is. REQUIRES: the raw record is used only
  // while this record lives and keeps its data.
  virtual Result ToRawRecordByReference(std::uint8_t handle, RawRecordInfo& raw);
  // Writes "Record ID %u" (id), or "Record Index %u" (index) when the id is -1
  // and the index is not, into `buffer` of `size` bytes. Returns the number of
  // characters written; kErrBufferTooSmall with the needed size written back when
  // size is below the length of the format text + 10.
  virtual Result Describe(char* buffer, std::uint32_t& size) const;
  // The index used instead of Index() when the record is written to the handheld
  // (-1: use Index()).
  virtual void SetHandheldIndex(std::int32_t index);
  virtual std::int32_t HandheldIndex() const;

  // The handheld database handle the record was read with (not a slot operation).
  std::uint8_t Handle() const { return handle_; }
  void SetHandle(std::uint8_t handle) { handle_ = handle; }
  // The caller-defined mark bits (not a slot operation).
  std::uint32_t Marks() const { return marks_; }

 private:
  void SetBit(std::uint32_t& word, std::uint32_t bit, bool on) {
    word = on ? (word | bit) : (word & ~bit);
  }

  std::uint32_t id_ = kNoRecordId;     // unique id; 0 for a desktop record not yet numbered
  std::int32_t index_ = -1;            // slot in the owning list, or the handheld index
  std::int32_t category_ = 0;          // category index 0 to 15
  std::uint32_t status_ = 0;           // kStatus* bits
  std::unique_ptr<std::uint8_t[]> data_;  // owned record bytes, or none
  std::uint32_t length_ = 0;           // bytes in data_
  std::uint8_t handle_ = 0;            // handheld database handle
  std::uint32_t private_ = 0;          // non-zero when the record is private
  std::uint32_t marks_ = 0;            // kPendingMark and caller bits
  std::int32_t handheldIndex_ = -1;    // overrides index_ when writing to the handheld
};

}  // namespace tallimor
