// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPRecordFile: the desktop program's record file (record.dat): load, save, the
// record list with first-fit add, and the category operations the desktop
// program needs (add with id assignment, rename, delete with record handling).
// The file format itself is in store/RecordFileFormat.h, shared with the
// conduit's desktop-file manager.
//
// The desktop program opens only an existing file and never creates one: load
// gives kErrOpenFailed and save kErrWrite when record.dat is missing. The file is
// open (and locked against every other program, see store/LockedFile.h) only
// while it is read or written. Saving replaces the file whole, so an interrupted
// save leaves the previous file as it was and no bytes of an older, longer file
// remain after the last record.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "store/CPCategoryTable.h"
#include "store/CPRecord.h"
#include "store/LockedFile.h"
#include "store/RecordFileFormat.h"
#include "store/RecordSlots.h"
#include "store/ResultCodes.h"

namespace tallimor {

class CPRecordFile {
 public:
  // Capability flags; categories are used when kCategories and kAppInfo are both set.
  static constexpr std::uint32_t kCategories = 1;
  static constexpr std::uint32_t kAppInfo = 2;
  static constexpr std::uint32_t kSortInfo = 4;

  // A record file at `path` (nothing is read until Load).
  CPRecordFile(std::string path, std::uint32_t capabilityFlags);
  CPRecordFile(const CPRecordFile&) = delete;
  CPRecordFile& operator=(const CPRecordFile&) = delete;

  // Virtual operations, in slot order.

  // The file part of Load: reads header, blocks and records from the file that
  // Load opened, then closes it; clears the dirty flag. kErrNoFileName,
  // kErrFileNotOpen, or the read errors of ReadRecordFile().
  virtual Result ReadFile();
  // The file part of Save: when the records or the category table are dirty,
  // replaces the file with the header, blocks and records in slot order, each
  // record with its status bits and private flag as stored flags; then clears the
  // dirty flag. kErrWrite when the file cannot be opened or written (the old file
  // then stays as it was, and the dirty flag stays set); kErrFileChanged, writing
  // nothing, when the file read here has since been replaced or written by another
  // program (the caller reloads, and nothing the other program wrote is lost).
  virtual Result WriteFile();
  // Frees everything; writes nothing.
  virtual ~CPRecordFile();

  // Discards the records, the category table and the blocks, opens the existing
  // file (kErrOpenFailed if it cannot be opened or another program has it open),
  // reads it, and, when categories are used, builds the category table from the
  // app info block (kErrNoAppInfoForCategories when there is none or it is empty;
  // kErrCategoryTableShort) with the table's dirty flag cleared. On a read error
  // whatever was read is kept and the error is returned.
  Result Load();
  // Stores the category table into the app info block (when categories are used
  // and the table is dirty), then WriteFile(). Writes nothing and returns 0 when
  // nothing is dirty.
  Result Save();

  // The record in slot `index`, or nullptr. The record may be changed in place,
  // REQUIRES: except its id (use SetRecordId) and index.
  CPRecord* RecordAt(std::int32_t index) const;
  // Iterate the occupied slots in ascending order; nullptr after the last.
  CPRecord* FirstRecord();
  CPRecord* NextRecord();
  // Stores a copy of `record` in the lowest empty slot and writes that slot to
  // `index` (if given). Marks the file dirty. kErrOutOfMemory.
  Result AddRecord(const CPRecord& record, std::int32_t* index = nullptr);
  // Adds a record with id 0, no data and status new; marks the file dirty.
  // Returns the stored record, or nullptr when memory is short.
  CPRecord* AddEmptyRecord();
  // Sets or clears the modified status of the record at `index`, except that a
  // record with status new keeps its status; marks the file dirty.
  // kErrRecordNotFound for an empty slot.
  Result MarkModified(std::int32_t index, bool on);
  // Sets or clears the deleted status of the record at `index`; marks the file
  // dirty. kErrRecordNotFound for an empty slot.
  Result MarkDeleted(std::int32_t index, bool on);
  // Destroys the record at `index`, leaving an empty slot; marks the file dirty.
  // kErrRecordNotFound for an empty slot.
  Result RemoveRecord(std::int32_t index);
  // The lowest slot holding a record with `id`, or -1.
  std::int32_t FindRecordById(std::uint32_t id) const;
  // Gives the record at `index` a new id; marks the file dirty. kErrRecordNotFound.
  Result SetRecordId(std::int32_t index, std::uint32_t id);
  // Number of records, and the highest slot ever used + 1.
  std::int32_t RecordCount() const;
  std::int32_t HighWater() const;

  // The category table, or nullptr when there is none (categories not used, or
  // not loaded).
  CPCategoryTable* Categories() const;
  bool UsesCategories() const;
  // The category at `index`, or nullptr (also without a table).
  CPCategory* CategoryAt(std::int32_t index) const;
  CPCategory* FirstCategory();
  CPCategory* NextCategory();
  // The lowest free category index 1 to 15, or -1 (also without a table).
  std::int32_t FirstFreeCategoryIndex() const;
  // Adds `category` at the first free index with a new desktop id
  // (CPCategoryTable::NextDesktopId) and marks the table dirty; `category`
  // receives the index and id given. kErrCategoryTableFull, also without a table.
  Result AddCategory(CPCategory& category);
  // Renames the category at `index`; on success sets its changed flag and the
  // table's dirty flag. kErrNoCategoryAtIndex without a table, or the errors of
  // CPCategoryTable::SetNameAt.
  Result RenameCategory(std::int32_t index, const char* name);
  // Deletes the category at `index`; then every record of it is moved to
  // Unfiled (move) or marked deleted (not move), and marked modified; the file is
  // marked dirty. kErrRecordCategoryIndex for an index outside 0 to 15;
  // kErrNoCategoryAtIndex without a table; the table's error (the records are
  // then untouched).
  Result DeleteCategory(std::int32_t index, bool move);

  // The header, app info block and sort info block (each nullptr when absent).
  const RecordFileHeader* Header() const { return header_.get(); }
  const InfoBlock* AppInfo() const { return appInfo_.get(); }
  const InfoBlock* SortInfo() const { return sortInfo_.get(); }
  // Copies the used app info data into `buffer` and sets `size` to its length.
  // kErrNoAppInfo; kErrBufferTooSmall with the needed size written back;
  // kErrNullArgument for a missing buffer.
  Result GetAppInfoData(std::uint8_t* buffer, std::uint32_t& size) const;

  bool IsDirty() const { return dirty_; }
  void SetDirty(bool dirty) { dirty_ = dirty; }
  const std::string& Path() const { return path_; }
  std::uint32_t CapabilityFlags() const { return flags_; }

 protected:
  // The file while Load has it open (ReadFile reads from it).
  LockedFile& File() { return file_; }
  // Builds the category table from the app info block (when categories are used).
  Result BuildCategoryTable();
  // Writes the category table and the changed-categories word into the app info
  // block, making a 332-byte block if there is none (when categories are used and
  // the table is dirty); marks the file dirty.
  Result StoreCategoryTable();

 private:
  void DiscardAll();

  std::string path_;                           // record.dat
  std::uint32_t flags_;                        // kCategories | kAppInfo | kSortInfo
  LockedFile file_;                            // open only inside Load and Save
  FileIdentity readIdentity_;                  // the file as last read or written here
  std::uint64_t readDigest_ = 0;               // and the digest of its contents
  std::unique_ptr<RecordFileHeader> header_;   // nullptr until loaded
  std::unique_ptr<InfoBlock> appInfo_;         // app info block, or none
  std::unique_ptr<InfoBlock> sortInfo_;        // sort info block, or none
  std::unique_ptr<CPCategoryTable> categories_;  // built from the app info block
  RecordSlots records_;                        // slot number = record index
  std::int32_t position_ = 0;                  // next slot NextRecord looks at
  bool dirty_ = false;                         // records or blocks changed since load/save
};

}  // namespace tallimor
