// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPDatabase: the common base of the conduit's two database managers (the desktop-file
// manager and the handheld manager). It owns the sparse record slot list and the
// category table, keeps the sync type and capability flags, and offers lookup,
// filtered iteration and sorting. The synchronizer reaches both sides only through
// these virtual operations, so they keep one fixed slot order; an operation that a
// manager does not support returns kErrNotSupported.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "store/CPRecord.h"
#include "store/DbBlockInfo.h"
#include "store/RecordSlots.h"
#include "store/ResultCodes.h"

namespace tallimor {

class CPCategoryTable;

// Capability flags. Categories are in use only when both kCapCategories and
// kCapAppInfo are set (the category table lives in the app info block).
inline constexpr std::uint32_t kCapCategories = 1;
inline constexpr std::uint32_t kCapAppInfo = 2;
inline constexpr std::uint32_t kCapSortInfo = 4;

// Iteration modes: which filter NextRecord() applies.
inline constexpr std::int32_t kIterateAll = 0;
inline constexpr std::int32_t kIterateChanged = 1;
inline constexpr std::int32_t kIterateCategory = 2;
inline constexpr std::int32_t kIterateCategoryChanged = 3;
inline constexpr std::int32_t kIterateStateMask = 4;  // 5, 6, 8 and 9 mean the same
inline constexpr std::int32_t kIteratePending = 7;
inline constexpr std::int32_t kIterateLastMode = 9;

// Sort types of Sort().
inline constexpr std::int32_t kSortById = 1;
inline constexpr std::int32_t kSortChangedFirst = 2;
inline constexpr std::int32_t kSortPendingFirst = 3;
inline constexpr std::int32_t kSortByCategory = 4;
inline constexpr std::int32_t kSortByCategoryChanged = 5;  // sorts by category as well

// Number of slots the list grows by when a first-fit add finds every slot taken.
inline constexpr std::int32_t kSlotGrowth = RecordSlots::kGrowth;

// Id-list entry that leaves its slot empty in ReorderByIdList().
inline constexpr std::uint32_t kReorderEmptySlot = 0xFFFFFFFFu;

class CPDatabase {
 public:
  // An empty list with the given capability flags (kCap*) and sync type.
  CPDatabase(std::uint32_t capabilityFlags, std::int32_t syncType);

  CPDatabase(const CPDatabase&) = delete;
  CPDatabase& operator=(const CPDatabase&) = delete;

  // Virtual operations, in slot order. Where the base answers kErrNotSupported the
  // derived managers supply the operation.

  // 0: destroys every record, the slot array and the category table.
  virtual ~CPDatabase();
  // 1: the category table, or nullptr when there is none.
  virtual CPCategoryTable* CategoryTable();
  // 2: opens the database (mode is the manager's). Base: kErrNotSupported.
  virtual Result Open(std::int32_t mode);
  // 3: opens the database as the sync type requires. Base: kErrNotSupported.
  virtual Result OpenForSyncType();
  // 4: closes the database (flag is the manager's). Base: kErrNotSupported.
  virtual Result Close(bool flag);
  // 5: true when both kCapCategories and kCapAppInfo are set.
  virtual bool UsesCategories() const;
  // 6: on sets kCapCategories and kCapAppInfo; off clears kCapCategories only.
  virtual void SetUsesCategories(bool on);
  // 7: the manager's record count. Base: kErrNotSupported.
  virtual Result RecordCount(std::int32_t& count);
  // 8: reserved operation. Base: kErrNotSupported.
  virtual Result ReservedOperation();
  // 9: the lowest occupied slot whose record has `id`, or -1. No scan of the list.
  virtual std::int32_t FindSlotById(std::uint32_t id) const;
  // 10: copies the record with `id` (the lowest such slot) into `record`;
  // kErrNoMatch if none.
  virtual Result GetRecordById(std::uint32_t id, CPRecord& record);
  // 11: iterates every record: mode all, position 0, then NextRecord().
  virtual Result FirstRecord(CPRecord& record);
  // 12: the next record of the current iteration mode (see the mode table in the
  // source); kErrNoMatch at the end, kErrBadIterationMode for an unknown mode.
  virtual Result NextRecord(CPRecord& record);
  // 13: iterates the records with the pending mark, from slot 0.
  virtual Result FirstPendingRecord(CPRecord& record);
  // 14: sorts changed records first, then iterates the records with any status bit.
  virtual Result FirstChangedRecord(CPRecord& record);
  // 15: sorts changed records first, then iterates the records whose state code
  // shares a bit with `mask` (kStateNoStatus selects records without status).
  virtual Result FirstRecordByStateMask(std::uint32_t mask, CPRecord& record);
  // 16: sorts by category, then iterates the records of `category`.
  virtual Result FirstRecordInCategory(std::int32_t category, CPRecord& record);
  // 17: sorts by category, then iterates the records of `category` with any status bit.
  virtual Result FirstChangedRecordInCategory(std::int32_t category, CPRecord& record);
  // 18: deletes the records of a category, or moves them to Unfiled when `move`.
  // Base: kErrNotSupported.
  virtual Result DeleteRecordsOfCategory(std::int32_t index, bool move);
  // 19: gives every record of category `from` the category `to`. Base: kErrNotSupported.
  virtual Result ChangeCategory(std::int32_t from, std::int32_t to);
  // 20: clears the caller's record's status bits and marks, then AddRecord().
  virtual Result AddCleanRecord(CPRecord& record);
  // 21: stores a copy of `record` in the lowest empty slot (growing the list by
  // kSlotGrowth slots when full) and sets the index of both copies to that slot.
  // kErrOutOfMemory if the list cannot grow or the copy cannot be made.
  virtual Result AddRecord(CPRecord& record);
  // 22: a new record copied from `record` for storing in the list; nullptr when
  // memory is short.
  virtual std::unique_ptr<CPRecord> MakeStoredCopy(const CPRecord& record);
  // 23: replaces the stored record with the same id. Base: kErrNotSupported.
  virtual Result ModifyRecordById(CPRecord& record);
  // 24: deletes the record. Base: kErrNotSupported.
  virtual Result DeleteRecord(CPRecord& record);
  // 25: replaces the record at a slot / handheld index. Base: kErrNotSupported.
  virtual Result ModifyRecordAtIndex(std::int32_t index, CPRecord& record);
  // 26: stores the sync type; returns 0.
  virtual Result SetSyncType(std::int32_t syncType);
  // 27: copies the first record with status new. Base: kErrNotSupported.
  virtual Result FindFirstNewRecord(CPRecord& record);
  // 28: removes the records with status deleted. Base: kErrNotSupported.
  virtual Result PurgeDeletedRecords();
  // 29: runs the sort of `type` (kSort*); any other type gives kErrNotSupported.
  virtual Result Sort(std::int32_t type);
  // 30: loads the records a synchronization needs. Base: kErrNotSupported.
  virtual Result ReadForSync();
  // 31: ends the synchronization on this side. Base: kErrNotSupported.
  virtual Result FinishSync();
  // 32: builds the category table from the app info. Base: kErrNotSupported.
  virtual Result LoadCategories();
  // 33: writes the category table back into the app info. Base: kErrNotSupported.
  virtual Result StoreCategories();
  // 34: moves every record whose category has an entry other than -1 in `table`
  // (16 entries) to that category. Base: kErrNotSupported.
  virtual Result RemapCategories(const std::int32_t* table);
  // 35-38: exchange the sort info and app info blocks. Base: kErrNotSupported.
  virtual Result GetSortInfo(DbBlockInfo& info);
  virtual Result SetSortInfo(const DbBlockInfo& info);
  virtual Result GetAppInfo(DbBlockInfo& info);
  virtual Result SetAppInfo(const DbBlockInfo& info);
  // 39: sets `has` when application data follows the category table.
  // Base: kErrNotSupported.
  virtual Result HasApplicationData(bool& has);
  // 40: replaces the application data. Base: kErrNotSupported.
  virtual Result SetApplicationData(std::uint32_t length, const std::uint8_t* bytes);
  // 41: copies the application data (ApplicationData(), ApplicationDataLength()
  // bytes) into `buffer` of `size` bytes and sets `size` to its length; no data
  // gives 0 with `size` 0. kErrNoAppInfo when a length has no data in place;
  // kErrBufferTooSmall with the needed size written back; kErrNullArgument for a
  // missing buffer; ApplicationDataLength()'s failure (kErrNotSupported here).
  virtual Result GetApplicationData(std::uint8_t* buffer, std::uint32_t& size);
  // 42: the application data in place, or nullptr. Every manager supplies it.
  virtual std::uint8_t* ApplicationData() = 0;
  // 43: the length of the application data. Base: kErrNotSupported.
  virtual Result ApplicationDataLength(std::uint32_t& length);
  // 44: replaces the database description. Base: kErrNotSupported.
  virtual Result SetDatabaseInfo(const char* name, std::uint16_t flags, std::uint32_t type,
                                 std::uint32_t creator, std::uint16_t version,
                                 std::uint32_t modificationNumber, std::uint32_t creationDate,
                                 std::uint32_t modificationDate, std::uint32_t backupDate);
  // 45: writes the ids of the stored records, in slot order, into `ids` of `count`
  // entries and sets `count` to the number written. kErrBufferTooSmall with the
  // needed count written back; kErrNullArgument for a missing array.
  virtual Result ListRecordIds(std::uint32_t* ids, std::int32_t& count);
  // 46: moves the record with ids[i] to slot i (kReorderEmptySlot leaves slot i
  // empty). 0 without records; kErrReorderCountMismatch when `count` is not the
  // record count or not every record was placed; kErrReorderUnknownId for an id
  // that no (not yet placed) record has. On any error nothing changes.
  virtual Result ReorderByIdList(const std::uint32_t* ids, std::int32_t count);
  // 47, 48: the app info capability (kCapAppInfo). Clearing it clears
  // kCapCategories too.
  virtual bool UsesAppInfo() const;
  virtual void SetUsesAppInfo(bool on);
  // 49, 50: the sort info capability (kCapSortInfo).
  virtual bool UsesSortInfo() const;
  virtual void SetUsesSortInfo(bool on);
  // 51: builds the category table. Base: kErrNotSupported.
  virtual Result BuildCategoryTable();
  // 52: stores the category table. Base: kErrNotSupported.
  virtual Result StoreCategoryTable();
  // 53-58: one step of each iteration filter: copy the next matching record from the
  // iteration position on and advance past it; kErrNoMatch at the end. Derived
  // managers build theirs on ScanNext(). Base: kErrNotSupported, except 55.
  virtual Result NextRecordAny(CPRecord& record);
  virtual Result NextRecordWithStatus(CPRecord& record);
  // 55: repeats NextRecordAny() until a record's state code shares a bit with the
  // state mask, or returns that operation's failure.
  virtual Result NextRecordMatchingStateMask(CPRecord& record);
  virtual Result NextPendingRecord(CPRecord& record);
  virtual Result NextRecordInCategory(CPRecord& record);
  virtual Result NextChangedRecordInCategory(CPRecord& record);
  // 59: destroys every record and frees the slot array; capacity, record count and
  // high-water mark become 0.
  virtual void DestroyAllRecords();
  // 60: enlarges the slot array to `capacity` slots, keeping every record in its
  // slot. A capacity not above the current one changes nothing. kErrOutOfMemory
  // when it cannot be allocated (the list is then unchanged).
  virtual Result GrowSlots(std::int32_t capacity);
  // 61: replaces the list by an empty one of `capacity` slots (records held are
  // destroyed first). kErrOutOfMemory when it cannot be allocated.
  virtual Result AllocateSlots(std::int32_t capacity);
  // 62-65: the sorts. Each does nothing (returning RecordCount()'s failure, or 0)
  // when the manager's record count cannot be had or is 0. See the source.
  virtual Result SortById();
  virtual Result SortChangedFirst();
  virtual Result SortPendingFirst();
  virtual Result SortByCategory();
  // 66: copies the n-th stored record (0-based, in slot order); kErrNoMatch if there
  // are fewer.
  virtual Result GetNthRecord(std::int32_t n, CPRecord& record);
  // 67: copies the first record whose handheld index is `index`; kErrNoMatch if none.
  virtual Result GetRecordByHandheldIndex(std::int32_t index, CPRecord& record);
  // 68: copies the first record with both `id` and handheld index `index`;
  // kErrNoMatch if none.
  virtual Result GetRecordByIdAndHandheldIndex(std::uint32_t id, std::int32_t index,
                                               CPRecord& record);
  // 69: destroys every record and the category table; every field back to 0
  // (capability flags and sync type included).
  virtual void Reset();

  // Not slot operations: state for callers and tests.
  std::int32_t SyncType() const { return syncType_; }
  std::uint32_t CapabilityFlags() const { return capabilities_; }
  std::int32_t Capacity() const { return slots_.Capacity(); }
  // Number of occupied slots (the list's own count; RecordCount() is the manager's).
  std::int32_t StoredRecordCount() const { return slots_.Count(); }
  // Highest occupied slot + 1 ever reached since the list was last emptied.
  std::int32_t HighWaterMark() const { return slots_.HighWater(); }
  // The record in `slot`, or nullptr for an empty slot or one outside the list.
  const CPRecord* RecordAt(std::int32_t slot) const;

 protected:
  // The checks ListRecordIds starts with: the record count (set in `needed`) must
  // fit in `count` (else kErrBufferTooSmall with it written back) and `ids` must be
  // given (kErrNullArgument). 0 when the ids may be written.
  Result CheckIdListRoom(const std::uint32_t* ids, std::int32_t& count, std::int32_t& needed);

  // The five filters that derived managers' next operations (53, 54, 56, 57, 58)
  // apply to the stored list.
  enum class RecordFilter { kAny, kAnyStatus, kPending, kInCategory, kChangedInCategory };

  // Scans the slots from the iteration position up to the high-water mark, skipping
  // empty slots and those the filter refuses; copies the first match into `record`,
  // sets the position past it and returns 0, or kErrNoMatch at the end.
  Result ScanNext(RecordFilter filter, CPRecord& record);

  // Lets `edit` change the record in `slot` in place; the id index follows an id
  // change. kErrRecordNotFound for an empty slot or one outside the list.
  template <typename Edit>
  Result EditRecordAt(std::int32_t slot, Edit&& edit) {
    CPRecord* stored = slots_.At(slot);
    if (stored == nullptr) return kErrRecordNotFound;
    const std::uint32_t before = stored->Id();
    edit(*stored);
    slots_.IdChanged(slot, before);
    return kOk;
  }
  // Stores `record` in `slot` (0 <= slot < Capacity()), destroying any record there,
  // and sets its index to the slot. kErrBadCategoryIndex (4357, "beyond the table")
  // for a slot outside the list; kErrNullArgument for a null record; kErrOutOfMemory.
  Result PutRecordAt(std::int32_t slot, std::unique_ptr<CPRecord> record);
  // Removes the record in `slot` from the list and hands it over; nullptr when the
  // slot is empty or outside the list. The high-water mark stays.
  std::unique_ptr<CPRecord> TakeRecordAt(std::int32_t slot);

  // Replaces the category table (destroying the old one); nullptr leaves none.
  void SetCategoryTable(std::unique_ptr<CPCategoryTable> table);

  std::int32_t IterationMode() const { return mode_; }
  void SetIterationMode(std::int32_t mode) { mode_ = mode; }
  std::int32_t IterationPosition() const { return position_; }
  void SetIterationPosition(std::int32_t position) { position_ = position; }
  std::int32_t CategoryFilter() const { return categoryFilter_; }
  std::uint32_t StateMask() const { return stateMask_; }

 private:
  // Sets up an iteration and takes its first step.
  Result StartIteration(std::int32_t mode, std::int32_t categoryFilter, CPRecord& record);
  // Runs a sort: nothing when the manager's record count fails or is 0; otherwise
  // `arrange` permutes a copy of the slot array below the mark, which the slot
  // list then installs (all or nothing).
  template <typename Arrange>
  Result SortWith(Arrange arrange);

  std::unique_ptr<CPCategoryTable> categories_;     // owned category table, or none
  RecordSlots slots_;                               // sparse; a record's slot is its index
  std::int32_t syncType_ = 0;                       // SyncType of the HotSync
  std::int32_t mode_ = kIterateAll;                 // iteration mode (kIterate*)
  std::int32_t position_ = 0;                       // next slot the iteration looks at
  std::int32_t categoryFilter_ = 0;                 // category of the category iterations
  std::uint32_t stateMask_ = 0;                     // state codes of the mask iteration
  std::uint32_t capabilities_ = 0;                  // kCap* bits
};

}  // namespace tallimor
