// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// HandheldDatabaseManager: the synchronizer's "remote" side. It presents one
// database of the connected handheld through the database manager interface that
// the desktop-file manager also offers, and carries every operation out with the
// Sync Manager library. Records cross as raw record images; their bytes are never
// looked into. Failures that a user should hear of go to the sync log.
#pragma once

#include <cstdint>
#include <memory>

#include "store/CPDatabase.h"
#include "store/RawRecordInfo.h"

namespace tallimor {

class SyncLog;

// Open modes of HandheldDatabaseManager::Open.
inline constexpr std::int32_t kHandheldOpenRead = 0;
inline constexpr std::int32_t kHandheldOpenWrite = 1;
inline constexpr std::int32_t kHandheldOpenReadWrite = 2;
inline constexpr std::int32_t kHandheldOpenCreate = 3;  // delete, then create anew

class HandheldDatabaseManager : public CPDatabase {
 public:
  // Size of the record buffer and of the application-information buffer: the
  // largest record or block the Sync Manager moves.
  static constexpr std::uint32_t kBufferSize = 65520;
  // Longest database name, without its NUL.
  static constexpr std::uint32_t kMaxNameLength = 31;

  // The manager of the handheld database `name` (see SetName) with the given
  // description; nothing is opened yet. `log` receives the failures (may be null)
  // and must outlive the manager. A name that SetName refuses leaves the name empty
  // and makes every open answer kErrTooLong.
  HandheldDatabaseManager(SyncLog* log, std::uint32_t capabilityFlags, const char* name,
                          std::uint32_t creator, std::uint32_t type, std::uint16_t flags,
                          std::uint16_t version, std::uint32_t cardNumber, std::int32_t syncType);

  // Base slots that this manager fills, in slot order. Every operation that talks
  // to the handheld answers kErrNotOpen while no database is open; the Sync
  // Manager's own results pass through unchanged unless said otherwise.

  // 0: frees the buffers and the records. An open database is not closed: closing
  // commits it, and a manager destroyed unfinished has failed part way, so the
  // Sync Manager discards it when the connection closes.
  ~HandheldDatabaseManager() override;
  // 2: opens the database in `mode` (kHandheldOpen*); mode 3 deletes the database
  // (whatever that answers) and creates it anew from the description, logging a
  // failed create. kErrHandheldDbMissing when it does not exist; kErrAlreadyOpen;
  // kErrTooLong after a refused name; kErrOpenFailed for an unknown mode.
  Result Open(std::int32_t mode) override;
  // 3: sync types 0, 1, 2 and 5 open for reading and writing; 3, 4 and 7 delete
  // and create; 6 opens nothing and answers 0; any other: kErrUnknownSyncType.
  Result OpenForSyncType() override;
  // 4: resets the handheld's sync flags unless `keepFlags`, then closes; each
  // failure is logged. The handle is given up either way. Result: the reset's
  // error, else the close's. kErrNotOpen when nothing is open.
  Result Close(bool keepFlags) override;
  // 7: the handheld's record count, which is also kept.
  Result RecordCount(std::int32_t& count) override;
  // (8, the reserved operation, keeps the base's kErrNotSupported.)
  // 10: reads the record with `id` from the handheld (GetRecordByIdLogged); a
  // failure is logged, except "not found", which is an answer, not a failure.
  Result GetRecordById(std::uint32_t id, CPRecord& record) override;
  // 18: with `move`, gives the records of category `index` category 0 (Unfiled);
  // otherwise removes them. kErrRecordCategoryIndex outside 0 to 15.
  Result DeleteRecordsOfCategory(std::int32_t index, bool move) override;
  // 19: gives the records of category `from` the category `to`.
  // kErrRecordCategoryIndex when either is outside 0 to 15.
  Result ChangeCategory(std::int32_t from, std::int32_t to) override;
  // 21: clears the record's status bits, writes it to the handheld and gives it
  // the id and index the handheld assigned.
  Result AddRecord(CPRecord& record) override;
  // 23: writes the record as it is (status included) and gives it the id and
  // index the handheld assigned.
  Result ModifyRecordById(CPRecord& record) override;
  // 24: removes the record with the record's id from the handheld.
  Result DeleteRecord(CPRecord& record) override;
  // 25: gives the record `index`, writes it as it is, and keeps a copy in slot
  // `index` of the loaded records (when records are loaded). kErrRecordNotFound for -1.
  Result ModifyRecordAtIndex(std::int32_t index, CPRecord& record) override;
  // 28: removes the deleted and archived records from the handheld; a failure is logged.
  Result PurgeDeletedRecords() override;
  // 29: kErrNotSupported: the handheld's list keeps the handheld's order.
  Result Sort(std::int32_t type) override;
  // 30: sync type 0 loads the modified records, 1, 2 and 5 load all records,
  // the others load nothing.
  Result ReadForSync() override;
  // 31: sync types 0 to 4 and 7 close resetting the sync flags, 5 closes keeping
  // them, the others do nothing.
  Result FinishSync() override;
  // 32: builds the category table when application information is used.
  Result LoadCategories() override;
  // 33: when application information is used and the category table or the
  // application data changed: stores the table into the block (with categories),
  // writes the block to the handheld and releases the block buffer.
  Result StoreCategories() override;
  // 37: reads the handheld's app info block into info (ReadBlock).
  Result GetAppInfo(DbBlockInfo& info) override;
  // 38: replaces the handheld's app info block by the info.bytesRead bytes of
  // info.data, then releases the block buffer, which no longer holds the block.
  // kErrNullArgument for missing data.
  Result SetAppInfo(const DbBlockInfo& info) override;
  // 39: true when the block buffer holds data after the category table (with
  // categories: a used length of at least 277; without: any).
  Result HasApplicationData(bool& has) override;
  // 40: replaces the application data (reading the block first when it has not
  // been read) and marks it changed. kErrNullArgument; kErrTooLong beyond the buffer.
  Result SetApplicationData(std::uint32_t length, const std::uint8_t* bytes) override;
  // 41 (GetApplicationData): the base copies ApplicationData() out by ApplicationDataLength().
  // 42: the application data in the block buffer, or nullptr without a buffer.
  std::uint8_t* ApplicationData() override;
  // 43: the length of the application data (0 without).
  Result ApplicationDataLength(std::uint32_t& length) override;
  // 45: the handheld's record ids in position order into `ids` of `count` entries;
  // `count` becomes the number written. kErrBufferTooSmall with the record count
  // written back; kErrNullArgument for a missing array.
  Result ListRecordIds(std::uint32_t* ids, std::int32_t& count) override;
  // 51: builds the category table from the app info block, reading it first when
  // it has not been read. kErrNoCategorySupport when categories are not used;
  // kErrNoAppInfoForCategories without a block; kErrCategoryTableShort; kErrOutOfMemory.
  Result BuildCategoryTable() override;
  // 52: writes the category table into the start of the block buffer when it
  // changed (or the block holds none yet); the used length becomes at least 276.
  Result StoreCategoryTable() override;
  // 53, 54, 57, 58: one step of the record walks: all, with any status, in the
  // category filter, changed in the category filter. Over the loaded records when
  // records are loaded, else straight from the handheld, where a failed read is
  // logged with the position. kErrNoMatch at the end.
  Result NextRecordAny(CPRecord& record) override;
  Result NextRecordWithStatus(CPRecord& record) override;
  Result NextRecordInCategory(CPRecord& record) override;
  Result NextChangedRecordInCategory(CPRecord& record) override;

  // This manager's own operations, in slot order (from 70).

  // 70: copies the name into `buffer`. kErrNullArgument; kErrBufferTooSmall with
  // the needed capacity (length + 1) written back.
  virtual Result DatabaseName(char* buffer, std::uint32_t& capacity) const;
  // 71-74: the description.
  virtual std::uint32_t CreatorId() const;
  virtual std::uint32_t Type() const;
  virtual std::uint16_t Flags() const;
  virtual std::uint16_t Version() const;
  // 75-79: change the description; kErrAlreadyOpen while a database is open.
  // SetName: kErrNullArgument; kErrTooLong for 32 bytes or more.
  virtual Result SetName(const char* name);
  virtual Result SetCreatorId(std::uint32_t creator);
  virtual Result SetType(std::uint32_t type);
  virtual Result SetFlags(std::uint16_t flags);
  virtual Result SetVersion(std::uint16_t version);
  // 80: loads the records the handheld reports modified (deleted and archived
  // ones included), each in the slot of its handheld index. A failed read is
  // logged and ends the load with its error.
  virtual Result ReadModifiedRecords();
  // 81: loads every record, each in the slot of its handheld index. A failed read
  // is logged and ends the load with its error.
  virtual Result ReadAllRecords();
  // 82, 83: the record buffer of kBufferSize bytes (kErrOutOfMemory).
  virtual Result EnsureRecordBuffer();
  virtual void ReleaseRecordBuffer();
  // 84: reads the app info block (or, with `sortInfo`, the sort info block) into
  // info.data of info.bufferSize bytes, with the database name copied into info.
  // kErrBufferTooSmall with the block's size in info.bytesRead.
  virtual Result ReadBlock(DbBlockInfo& info, bool sortInfo);
  // 85: reads the record with `id` from the handheld into `record`. On failure the
  // record is cleared and given the id, and, with `logFailure`, the failure is
  // logged. kErrOutOfMemory when the record buffer cannot be had.
  virtual Result GetRecordByIdLogged(std::uint32_t id, CPRecord& record, bool logFailure);
  // 86: stores a copy of `record` in the slot of its index. kErrNoRecordList
  // without slots; kErrBadCategoryIndex for an index outside them; kErrOutOfMemory.
  virtual Result StoreRecordCopy(const CPRecord& record);
  // 87: the block buffer of kBufferSize bytes, zeroed when new (kErrOutOfMemory).
  virtual Result EnsureAppInfoBuffer();
  // 88: turns `count` ids delivered most significant byte first into numbers.
  virtual void SwapIdList(std::uint32_t* ids, std::int32_t count) const;
  // 89: `value` with its four bytes in reverse order.
  virtual std::uint32_t SwapBytes32(std::uint32_t value) const;

  // Not slot operations: state for the synchronizer and for tests.
  bool IsOpen() const { return handle_ != 0; }
  std::uint8_t Handle() const { return handle_; }
  std::uint32_t CardNumber() const { return cardNumber_; }
  // False for a resource database (bit 0 of the flags).
  bool IsRecordDatabase() const { return (flags_ & 1u) == 0; }
  // Records have been loaded by ReadModifiedRecords or ReadAllRecords.
  bool RecordsLoaded() const { return recordsLoaded_; }
  // Used length of the block buffer (0 when the block has not been read).
  std::uint32_t AppInfoLength() const { return appInfoLength_; }
  // The value the database is stamped with (its last backup date) when Close
  // commits it; 0 stamps nothing. It tells a later HotSync whether the handheld
  // took this HotSync's changes (see conduit/DesktopJournal.h).
  void SetCommitMark(std::uint32_t mark) { commitMark_ = mark; }
  // The stamp of the handheld database `name` as it stands now (its last backup
  // date), read from the handheld's database list without opening it.
  // kErrHandheldDbMissing when there is no such database; the Sync Manager's error.
  static Result ReadCommitMark(const char* name, std::uint32_t* mark);

 private:
  // kErrNotOpen unless a database is open.
  Result RequireOpen() const;
  // Prepares the raw record for a read into the record buffer.
  Result PrepareRead(std::uint32_t id, std::uint16_t index, std::int16_t category);
  // Writes `record` (converted into the record buffer) and gives it the id and the
  // index the handheld assigned.
  Result WriteRecord(CPRecord& record);
  // Empties the slot list and sizes it for `count` handheld records.
  Result PrepareTable(std::int32_t count);
  // The Sync Manager walks that the record walks use when no records are loaded.
  enum class HandheldWalk { kByIndex, kModified, kInCategory };
  // One step of a walk straight from the handheld from the iteration position on;
  // with `needsStatus`, records without a status are passed over.
  Result NextFromHandheld(HandheldWalk walk, bool needsStatus, CPRecord& record);
  // Loads the records of a walk from the start, each in the slot of its index. A
  // failed read ends the load with its error (the walk has logged it).
  Result LoadRecords(HandheldWalk walk);
  // Logs a failed read of the record at handheld position `index`.
  void LogReadFailed(Result error, std::int32_t index);
  // Reads the app info block into the block buffer unless it has been read; a
  // database without one leaves the buffer empty. The read's failure otherwise.
  Result EnsureAppInfoRead();
  // Reads the app info block into the block buffer; a failure releases the buffer.
  Result ReadAppInfo();
  void ReleaseAppInfoBuffer();
  // Where the application data starts in the block.
  std::uint32_t ApplicationDataOffset() const;

  SyncLog* log_ = nullptr;                      // not owned; receives the failures
  char name_[kMaxNameLength + 1] = {};          // NUL-terminated database name
  bool nameRefused_ = false;                    // the constructor's name was refused
  std::uint32_t creator_ = 0;
  std::uint32_t type_ = 0;
  std::uint16_t flags_ = 0;                     // bit 0: resource database
  std::uint16_t version_ = 0;
  std::uint32_t cardNumber_ = 0;                // passed to the Sync Manager as a byte
  std::uint8_t handle_ = 0;                     // open database handle; 0 = not open
  std::int32_t recordCount_ = 0;                // the handheld's count when last asked
  bool recordsLoaded_ = false;                  // the slots mirror handheld records
  RawRecordInfo raw_;                           // the record crossing the Sync Manager
  std::unique_ptr<std::uint8_t[]> recordBuffer_;  // kBufferSize bytes once used
  std::unique_ptr<std::uint8_t[]> appInfo_;     // block buffer, kBufferSize bytes once used
  std::uint32_t appInfoLength_ = 0;             // used length of the block buffer
  bool appInfoRead_ = false;                    // the buffer holds the handheld's block
  bool appDataChanged_ = false;                 // the application data was set
  std::uint32_t commitMark_ = 0;                // stamped on the database by Close
};

}  // namespace tallimor
