// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPDesktopDatabase: the conduit's manager of the desktop record file (record.dat)
// during one HotSync. It keeps the records and the category table in memory as the
// database manager base does, opens and reads the file as the sync type requires,
// and rewrites it when the synchronization finishes. The file format is the one the
// desktop program writes (store/RecordFileFormat.h); this writer differs only in
// storing no status bits (only the private flag), leaving the changed-categories word 0 and
// naming an app info block it creates after the database.
//
// The file is opened without sharing (store/LockedFile.h) and is only ever replaced
// whole: "create" (open mode 3) makes the file if it is missing but empties it only
// when the new contents are written, so a HotSync that fails part way leaves the
// previous file as it was.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "hotsync/plugin/SyncTypes.h"
#include "store/CPDatabase.h"
#include "store/LockedFile.h"
#include "store/RecordFileFormat.h"

namespace tallimor {

class SyncLog;

// Open modes of CPDesktopDatabase::Open.
inline constexpr std::int32_t kOpenRead = 0;            // read only, existing file
inline constexpr std::int32_t kOpenWrite = 1;           // write, existing file
inline constexpr std::int32_t kOpenReadWrite = 2;       // read-write, created if missing
inline constexpr std::int32_t kOpenCreate = 3;          // read-write, emptied (see above)

class CPDesktopDatabase : public CPDatabase {
 public:
  // The file name used when none is given.
  static constexpr const char* kDefaultFileName = "GenericDB.DAT";

  // No path, no name, sync type 6 (do nothing), capability flags 0.
  CPDesktopDatabase();
  // The manager of the file `fileName` (GenericDB.DAT when null or empty) in
  // `directory` (see ComposePath). `log` receives close and finish-sync errors
  // (may be null); it must outlive the manager. The name is kept to 31 bytes.
  CPDesktopDatabase(SyncLog* log, std::uint32_t capabilityFlags, const char* databaseName,
                    const char* fileName, const char* directory, std::int32_t syncType);

  // The directory, a '/' unless it already ends in one, then the file name (or
  // GenericDB.DAT); without a directory, the file name alone (possibly empty).
  static std::string ComposePath(const char* directory, const char* fileName);
  // `path` with its extension replaced by `extension` (".BAK"): cut at the last '.'
  // when it lies in the file name (after the last '/'), else appended to the whole path.
  static std::string WithExtension(const std::string& path, const char* extension);

  // Base slots that this manager fills, in slot order.

  // 0: closes the file; frees header, blocks, category table and records. Writes nothing.
  ~CPDesktopDatabase() override;
  // 2: closes any open file, then opens the file in `mode` (kOpen*), without
  // sharing. kErrOpenFailed when nothing was opened (an unknown mode included).
  Result Open(std::int32_t mode) override;
  // 3: opens the file as the sync type requires: reading in the first phase of
  // fast, slow, desktop-overwrites-handheld and types 4 and 7; creating (and marking
  // dirty) for handheld-overwrites-desktop and 5, and for types 0 to 3 once the
  // synchronization has finished. A missing file for fast or slow synchronization
  // gives kErrDesktopFileMissing; type 6 opens nothing; others kErrUnknownSyncType.
  Result OpenForSyncType() override;
  // 4: closes the file; a failure is reported to the sync log. `flag` is unused.
  Result Close(bool flag) override;
  // 7: the number of records held.
  Result RecordCount(std::int32_t& count) override;
  // 10: as the base, and also clears the stored record's pending mark, so that a
  // slow synchronization's walk of pending records skips the records already paired.
  Result GetRecordById(std::uint32_t id, CPRecord& record) override;
  // 18: deletes every record of category `index`, or with `move` gives them
  // category 0 as ChangeCategory does. kErrRecordCategoryIndex outside 0 to 15.
  Result DeleteRecordsOfCategory(std::int32_t index, bool move) override;
  // 19: every record of category `from` gets category `to` and the modified
  // status. kErrRecordCategoryIndex when either is outside 0 to 15.
  Result ChangeCategory(std::int32_t from, std::int32_t to) override;
  // 21: the base's first-fit add; marks the file dirty.
  Result AddRecord(CPRecord& record) override;
  // 23: replaces the stored record with the record's id (keeping its slot), then
  // clears its status bits and marks. kErrRecordNotFound; the copy's kErrOutOfMemory.
  Result ModifyRecordById(CPRecord& record) override;
  // 24: removes the stored record with the record's id, or, for id 0, the one in
  // the record's slot. kErrRecordNotFound.
  Result DeleteRecord(CPRecord& record) override;
  // 25: replaces the record in slot `index`, then clears its status bits and
  // marks. kErrRecordNotFound for -1 or an empty slot.
  Result ModifyRecordAtIndex(std::int32_t index, CPRecord& record) override;
  // 27: copies the first record (by slot) with status new; kErrNoMatch if none.
  Result FindFirstNewRecord(CPRecord& record) override;
  // 28: removes every record with status deleted.
  Result PurgeDeletedRecords() override;
  // 30: once per manager: reads the file for fast and slow synchronization (a file
  // that is not open gives kErrDesktopFileMissing) and for types 3, 4 and 7; other
  // types start with no records. Later calls return 0 at once.
  Result ReadForSync() override;
  // 31: ends the first phase, clears every record's status bits and marks, and
  // writes the file for sync types 0, 1, 2, 3 and 5; then closes it. A failure is
  // reported to the sync log and returned.
  Result FinishSync() override;
  // 32: with app info in use: ReadForSync(), then BuildCategoryTable().
  Result LoadCategories() override;
  // 33: StoreCategoryTable().
  Result StoreCategories() override;
  // 34: gives each record whose category has an entry other than -1 in `table`
  // (16 entries) that category and the modified status. kErrNullArgument;
  // kErrRecordCategoryIndex (nothing changed) for an entry outside -1 and 0 to 15.
  Result RemapCategories(const std::int32_t* table) override;
  // 35-38: the sort info and app info blocks as the Sync Manager exchanges them.
  // Get: kErrNoSortInfo / kErrNoAppInfo without a block; kErrBufferTooSmall with the
  // used length in info.bytesRead when info.bufferSize is below it; kErrNullArgument
  // for a missing info.data; else name, used length, reserved word and data.
  // Set: the block becomes exactly the info.bytesRead bytes of info.data with
  // info's name and reserved word. kErrNullArgument for missing data.
  Result GetSortInfo(DbBlockInfo& info) override;
  Result SetSortInfo(const DbBlockInfo& info) override;
  Result GetAppInfo(DbBlockInfo& info) override;
  Result SetAppInfo(const DbBlockInfo& info) override;
  // 39: true when the app info block holds data beyond the category table (any
  // data at all when categories are not used).
  Result HasApplicationData(bool& has) override;
  // 40: replaces the application data (after the 276-byte category table, or the
  // whole data area without categories), growing the block as needed; the table
  // is kept. kErrNullArgument for missing bytes; kErrTooLong.
  Result SetApplicationData(std::uint32_t length, const std::uint8_t* bytes) override;
  // 41 (GetApplicationData): the base copies ApplicationData() out by ApplicationDataLength().
  // 42: the application data area in place, or nullptr without an app info block.
  std::uint8_t* ApplicationData() override;
  // 43: the length of the application data; 0 without a block.
  Result ApplicationDataLength(std::uint32_t& length) override;
  // 44: replaces the header by one of version 1 describing the handheld database.
  Result SetDatabaseInfo(const char* name, std::uint16_t flags, std::uint32_t type,
                         std::uint32_t creator, std::uint16_t version,
                         std::uint32_t modificationNumber, std::uint32_t creationDate,
                         std::uint32_t modificationDate, std::uint32_t backupDate) override;
  // 51: with categories in use, replaces the category table by the one in the app
  // info block. kErrNoAppInfoForCategories (no block, or nothing used);
  // kErrCategoryTableShort; kErrOutOfMemory.
  Result BuildCategoryTable() override;
  // 52: with categories in use and a dirty table: writes the table into the app
  // info block (making a 332-byte block named after the database if there is
  // none, or growing a smaller one). The changed-categories word stays 0.
  Result StoreCategoryTable() override;
  // 53, 54, 56, 57, 58: one step of each record walk.
  Result NextRecordAny(CPRecord& record) override;
  Result NextRecordWithStatus(CPRecord& record) override;
  Result NextPendingRecord(CPRecord& record) override;
  Result NextRecordInCategory(CPRecord& record) override;
  Result NextChangedRecordInCategory(CPRecord& record) override;

  // This manager's own operations, in slot order.

  // Adds the record held in a record image of `length` bytes; in slow
  // synchronization it gets the pending mark. kErrReadRecordHeader for a bad image.
  virtual Result AddRecordFromImage(const std::uint8_t* image, std::uint32_t length);
  // Whether records or blocks changed since the file was last read or written.
  virtual bool IsDirty() const;
  virtual void SetDirty(bool dirty);
  // Makes the app info data area at least `length` bytes, keeping what it holds; a
  // new block is zeroed with used length 0. kErrOutOfMemory.
  virtual Result EnsureAppInfoCapacity(std::uint32_t length);
  // Closes the file if it is open.
  virtual Result CloseHandle();
  // When dirty (or the category table is): opens the file as the sync type
  // requires and replaces it with the header, the blocks and every record in slot
  // order, each with stored flags 0 but for the private flag; closes it. Without a header an emptied file
  // stays empty. kErrWrite (the old file then stays intact and the manager dirty).
  virtual Result WriteFile();
  // Reads header, blocks and records from the file that Open left at its start,
  // adding the records after those held; closes it and clears the dirty flag.
  // kErrNoFileName; kErrFileNotOpen; the read errors (what was read is kept).
  virtual Result ReadFile();
  // Copies `source` over `destination` (or fails if it exists and `failIfExists`),
  // replacing it whole; the source is locked while it is read. True on success;
  // on failure the destination is as it was.
  virtual bool CopyFile(const std::string& source, const std::string& destination,
                        bool failIfExists);
  // Replaces the header by the one a reader makes for an empty file (version 0).
  virtual Result MakeDefaultHeader();
  // Closes the file and frees the records, the header and both blocks.
  virtual void ReleaseAll();
  // Builds `record` from a record image (id, category, data, status and private
  // flag from the stored flags; index -1, no marks).
  virtual Result RecordFromImage(const std::uint8_t* image, std::uint32_t length,
                                 CPRecord& record);
  // Builds the image of `record` into `buffer` and sets `length`; with
  // `leaveFlagsZero` the stored flags are 0, as this manager writes them.
  virtual Result RecordToImage(const CPRecord& record, std::uint8_t* buffer,
                               std::uint32_t capacity, std::uint32_t& length,
                               bool leaveFlagsZero);
  // Clears the status bits and marks of every record that has a status bit,
  // marking the file dirty if there was one.
  virtual void ClearAllStatus();

  // Not slot operations.

  // CopyFile's work, for callers without a manager.
  static bool CopyWhole(const std::string& source, const std::string& destination,
                        bool failIfExists);
  // Writes what the manager holds (header, blocks and every record, its stored flags
  // by `policy`) as the record file at `path`, replacing that file whole and leaving
  // the desktop file alone. kErrWrite, also when there is no header to write.
  Result WriteCopy(const std::string& path, StoredFlagsPolicy policy);
  // Replaces the file `target` holds open (since its read, and so locked) with what
  // this manager holds, stored flags by `policy`. kErrFileNotOpen when `target` holds
  // no file; kErrWrite, kErrFileChanged.
  Result WriteOver(CPDesktopDatabase& target, StoredFlagsPolicy policy);
  // Stamps the header with `mark` as its last backup date, and marks the file dirty
  // so that the next write carries it. Nothing without a header.
  void SetCommitMark(std::uint32_t mark);

  // State for the managers built on this one and for tests.
  const std::string& Path() const { return path_; }
  const std::string& DatabaseName() const { return name_; }
  bool IsFirstPhase() const { return firstPhase_; }
  bool IsFileOpen() const { return file_.IsOpen(); }
  const RecordFileHeader* Header() const { return header_.get(); }
  const InfoBlock* AppInfo() const { return appInfo_.get(); }
  const InfoBlock* SortInfo() const { return sortInfo_.get(); }

 protected:
  // The sync log for errors, or nullptr.
  SyncLog* Log() const { return log_; }
  void SetPath(std::string path) { path_ = std::move(path); }
  // True the first time it is asked (the file is read at most once per manager).
  bool TakeFirstRead();
  // Whether something exists at `path`.
  static bool PathExists(const std::string& path);

 private:
  // Adds a record read from the file: the pending mark in slow synchronization,
  // then AddRecord().
  Result AddReadRecord(CPRecord& record);
  // Copies `record` over the stored record in `slot` (keeping the slot), clears
  // its status bits and marks, and marks the file dirty; the copy's result.
  Result ReplaceAt(std::int32_t slot, const CPRecord& record);
  // Open(mode), trying again for a few seconds while the file exists but another
  // program holds it (a desktop program in the middle of a save).
  Result OpenWaitingForHolder(std::int32_t mode);
  // Replaces the open file's contents by what `write` puts out; kErrWrite.
  Result ReplaceContents(const std::function<Result(int fd)>& write);
  // WriteCopy for a file that does not exist yet.
  Result WriteNewFile(const std::string& path, StoredFlagsPolicy policy);
  // Writes the header, the blocks and the records in slot order to `fd`.
  Result WriteContents(int fd, StoredFlagsPolicy policy);
  // Applies `change` to every stored record that `select` accepts; true if any.
  template <typename Select, typename Change>
  bool ChangeRecords(Select select, Change change);
  // Removes every record that `select` accepts.
  template <typename Select>
  void RemoveRecords(Select select);
  // Application data offset: after the category table when categories are used.
  std::uint32_t ApplicationDataOffset() const;

  SyncLog* log_ = nullptr;                      // not owned; errors of close and finish
  LockedFile file_;                             // open between an open and the next read/write/close
  bool writable_ = false;                       // the open file may be written
  bool emptyOnWrite_ = false;                   // opened to be emptied (mode 3)
  bool createdByOpen_ = false;                  // Open made the file and nothing was written yet
  std::string path_;                            // the desktop file
  std::unique_ptr<RecordFileHeader> header_;    // nullptr until read or set
  std::unique_ptr<InfoBlock> appInfo_;          // app info block, or none
  std::unique_ptr<InfoBlock> sortInfo_;         // sort info block, or none
  std::string name_;                            // database name, at most 31 bytes
  bool readDone_ = false;                       // ReadForSync has run
  bool dirty_ = false;                          // changed since the last read or write
  bool firstPhase_ = true;                      // until FinishSync
};

}  // namespace tallimor
