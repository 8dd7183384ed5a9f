// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The Sync Manager library of the emulated handheld: the operations a conduit calls
// during a HotSync to read and change the databases of the connected handheld.
//
// A run: the HotSync command attaches the library to a handheld directory
// (SyncAttachHandheld), reads the handheld's user (SyncReadUserId), and calls the
// conduit; the conduit reads the system information, opens its connection
// (SyncOpenConduit), opens, reads, writes and closes databases, and closes its
// connection (SyncCloseConduit); the command then detaches. Database operations
// need the connection open.
//
// Changes stay in memory until the database is closed; SyncCloseDB then replaces
// its .pdb file atomically. A database deleted with SyncDeleteDB disappears from
// the handheld at once, but its file is removed only when the connection closes
// (or is replaced when a database of the same name is created and closed), so a
// run interrupted half way leaves every file either as it was or as it should be.
// Databases still open when the connection closes or the library detaches are
// discarded unchanged.
//
// Records pass as RawRecordInfo images. Attributes: 0x80 deleted, 0x40 dirty
// (modified), 0x20 busy, 0x10 secret (private), 0x08 archived; an archived record is
// also reported deleted (0x88). A deleted or archived record has lost its category
// (the file format keeps none for it) and reads as category 0. For resource
// databases, recordId carries the resource type and category the resource id.
//
// Every operation counts as one call for fault injection (FaultInjector.h); the
// library is not thread-safe and serves one run at a time, as a HotSync does.
// It is a shared library so that the HotSync command and the conduit it loads
// share one attached handheld; the classes it is built from (Handheld,
// HandheldDatabase, ...) hold no state of their own and are linked statically.
#pragma once

#include <cstdint>
#include <string>

#include "hotsync/handheld/FaultInjector.h"
#include "hotsync/handheld/Handheld.h"
#include "hotsync/handheld/SyncResults.h"
#include "store/DbBlockInfo.h"    // DbBlockInfo, an app info or sort info block crossing it
#include "store/RawRecordInfo.h"  // RawRecordInfo, the record crossing the Sync Manager

// The library's interface: the functions below are all that libtallimor_sync.so exports.
// Everything else it holds (the handheld, database and .pdb code it is built from) stays
// inside it, so no program can come to depend on the library's internals.
#define TALLIMOR_SYNC_API __attribute__((visibility("default")))

namespace tallimor {

// Database open modes.
inline constexpr std::uint8_t kSyncModeRead = 0x80;
inline constexpr std::uint8_t kSyncModeWrite = 0x40;
inline constexpr std::uint8_t kSyncModeReadWrite = 0xC0;

// Record attributes as the Sync Manager reports and takes them.
inline constexpr std::uint8_t kSyncRecAttrDeleted = 0x80;
inline constexpr std::uint8_t kSyncRecAttrDirty = 0x40;
inline constexpr std::uint8_t kSyncRecAttrBusy = 0x20;
inline constexpr std::uint8_t kSyncRecAttrSecret = 0x10;
inline constexpr std::uint8_t kSyncRecAttrArchived = 0x08;

// Database flag bit 0: a resource database.
inline constexpr std::uint32_t kSyncDbFlagResource = 0x0001;

#pragma pack(push, 1)
// The handheld's system information (18 bytes).
struct SyncSystemInfo {
  std::uint32_t romVersion;      // 0: 0xMMmmfsbb, major.minor.fix, stage, build
  std::uint32_t localeId;        // 4: language in the high 16 bits, country in the low
  std::uint8_t reserved;         // 8
  std::uint8_t productIdLength;  // 9
  std::uint8_t productId[8];     // 10
};
static_assert(sizeof(SyncSystemInfo) == 18);

// What SyncCreateDB creates (52 bytes, zero-filled by the caller first).
struct DbCreateInfo {
  std::uint8_t handle;           // 0: returned, the new database's handle
  std::uint32_t creator;         // 1
  std::uint32_t flags;           // 5: database flags; bit 0 = resource database
  std::uint8_t cardNumber;       // 9
  char name[32];                 // 10: NUL-terminated, at most 31 bytes
  std::uint32_t type;            // 42
  std::uint16_t version;         // 46
  std::uint8_t reserved[4];      // 48
};
static_assert(sizeof(DbCreateInfo) == 52);

// One database of the handheld's list, as SyncReadDBList reports it (78 bytes).
struct DbDescriptor {
  std::uint32_t cardNumber;          // 0
  std::uint16_t flags;               // 4: header attributes; bit 0 = resource database
  std::uint32_t type;                // 6
  char name[32];                     // 10
  std::uint32_t creator;             // 42
  std::uint16_t version;             // 46
  std::uint32_t modificationNumber;  // 48
  std::uint16_t reserved1;           // 52
  std::uint32_t creationDate;        // 54: Palm epoch seconds
  std::uint32_t modificationDate;    // 58
  std::uint32_t backupDate;          // 62
  std::uint8_t reserved2[12];        // 66
};
static_assert(sizeof(DbDescriptor) == 78);
#pragma pack(pop)

// A request for the unique ids of a database in position order.
struct PositionMapInfo {
  std::uint8_t handle = 0;
  std::uint16_t firstPosition = 0;
  std::uint16_t entriesWanted = 0;
  std::uint16_t entriesReturned = 0;   // filled in
  std::uint16_t capacity = 0;          // entries `entries` can hold
  std::uint32_t* entries = nullptr;    // ids, most significant byte first in memory
};

// --- Attaching the library to a handheld (the HotSync command's part) ---

// Attaches the library to the emulated handheld in `directory`, resets the call
// counter and reads TALLIMOR_SYNC_FAULT. kSyncErrNotFound / kSyncErrCorruptDatabase
// for a missing or unreadable identity, kSyncErrBadArgument for a malformed fault
// setting, kSyncErrAlreadyConnected when attached already, kSyncErrBusy when another
// program holds the handheld's lock (Handheld::Lock), which the attached library
// holds until it detaches. Details: SyncLastErrorDetail.
TALLIMOR_SYNC_API Result SyncAttachHandheld(const char* directory);
// Detaches: open databases are discarded unchanged, pending removals dropped, the
// connection closed and the fault disarmed. Always succeeds.
TALLIMOR_SYNC_API void SyncDetachHandheld();
// The attached handheld, or nullptr.
TALLIMOR_SYNC_API const Handheld* SyncAttachedHandheld();
// Fails call number `call` (counted from the last attach) with `kind`.
TALLIMOR_SYNC_API void SyncSetFault(std::uint32_t call, SyncFaultKind kind);
TALLIMOR_SYNC_API void SyncClearFault();
// The number of Sync Manager calls since the last attach.
TALLIMOR_SYNC_API std::uint32_t SyncCallCount();
// A line describing the last failure that had more to say than its code (a damaged
// file, a full disk); empty when none.
TALLIMOR_SYNC_API const char* SyncLastErrorDetail();

// --- The HotSync command's queries of the handheld ---

// The handheld's user name and id.
TALLIMOR_SYNC_API Result SyncReadUserId(HandheldIdentity* identity);
// Gives the handheld a user name and id (on its first HotSync), stored at once.
TALLIMOR_SYNC_API Result SyncWriteUserId(const HandheldIdentity& identity);
// The database at `index` of the handheld's list (sorted by name); kSyncErrNotFound past the end.
TALLIMOR_SYNC_API Result SyncReadDBList(std::uint16_t index, DbDescriptor* descriptor);

// --- The Sync Manager operations a conduit uses, in the order a run uses them ---

// The handheld's system information.
TALLIMOR_SYNC_API Result SyncReadSystemInfo(SyncSystemInfo* info);
// Opens the conduit's connection; fills *connection.
TALLIMOR_SYNC_API Result SyncOpenConduit(std::uint32_t* connection);
// Deletes a database (card number ignored). kSyncErrNotFound when there is none,
// kSyncErrDatabaseOpen while it is open.
TALLIMOR_SYNC_API Result SyncDeleteDB(const char* name, int cardNumber);
// Creates an empty database open for reading and writing; its handle goes to
// info->handle. kSyncErrExists when the name is taken.
TALLIMOR_SYNC_API Result SyncCreateDB(DbCreateInfo* info);
// Opens a database in `mode` (kSyncMode*); fills *handle. kSyncErrNotFound when
// there is none, kSyncErrCorruptDatabase when its file cannot be read.
TALLIMOR_SYNC_API Result SyncOpenDB(const char* name, int cardNumber, std::uint8_t* handle,
                                    std::uint8_t mode);
// Number of records (resources) of an open database.
TALLIMOR_SYNC_API Result SyncGetDBRecordCount(std::uint8_t handle, std::uint16_t* count);
// Reads the app info block into block->data (capacity block->bufferSize); sets
// bytesRead. kSyncErrNotFound when the database has none; kSyncErrBufferTooSmall
// with bytesRead = the block's size when it does not fit.
TALLIMOR_SYNC_API Result SyncReadDBAppInfoBlock(std::uint8_t handle, DbBlockInfo* block);
// The same for the sort info block.
TALLIMOR_SYNC_API Result SyncReadDBSortInfoBlock(std::uint8_t handle, DbBlockInfo* block);
// Reads the next record, in position order, that is dirty or deleted (archived
// ones included). kSyncErrNotFound when there are no more.
TALLIMOR_SYNC_API Result SyncReadNextModifiedRec(RawRecordInfo* record);
// Reads the record (or resource) at record->recordIndex. kSyncErrNotFound past the end.
TALLIMOR_SYNC_API Result SyncReadRecordByIndex(RawRecordInfo* record);
// Reads the record with unique id record->recordId. kSyncErrNotFound when absent.
TALLIMOR_SYNC_API Result SyncReadRecordById(RawRecordInfo* record);
// Reads the next record of category record->category that is neither deleted nor
// busy. Asking for another category starts from the first record again.
// kSyncErrNotFound when there are no more.
TALLIMOR_SYNC_API Result SyncReadNextRecInCategory(RawRecordInfo* record);
// Starts SyncReadNextModifiedRec and SyncReadNextRecInCategory from the first record.
TALLIMOR_SYNC_API Result SyncResetRecordIndex(std::uint8_t handle);
// Writes a record: recordId 0 (or above 24 bits) adds one with a fresh id, an id
// in use replaces that record, another id adds a record keeping it. The record
// takes the attributes (0x80, 0x40, 0x10, 0x08; 0x08 implies 0x80) and category
// given. Fills recordId and recordIndex. kSyncErrTooLarge above 65,520 bytes,
// kSyncErrDatabaseFull at 65,535 records.
TALLIMOR_SYNC_API Result SyncWriteRec(RawRecordInfo* record);
// Writes a resource (type in recordId, id in category); replaces one of the same
// type and id. Fills recordIndex.
TALLIMOR_SYNC_API Result SyncWriteResourceRec(RawRecordInfo* record);
// Removes the record with unique id record->recordId. kSyncErrNotFound when absent.
TALLIMOR_SYNC_API Result SyncDeleteRec(RawRecordInfo* record);
// Removes the resource of type record->recordId and id record->category.
TALLIMOR_SYNC_API Result SyncDeleteResourceRec(RawRecordInfo* record);
// Moves every live record of category `from` to category `to` (both 0 to 15).
TALLIMOR_SYNC_API Result SyncChangeCategory(std::uint8_t handle, std::uint8_t from,
                                            std::uint8_t to);
// Removes every live record of `category` (0 to 15).
TALLIMOR_SYNC_API Result SyncPurgeAllRecsInCategory(std::uint8_t handle, std::uint8_t category);
// Replaces the app info block with block->bufferSize bytes of block->data (0 removes it).
TALLIMOR_SYNC_API Result SyncWriteDBAppInfoBlock(std::uint8_t handle, DbBlockInfo* block);
// The same for the sort info block.
TALLIMOR_SYNC_API Result SyncWriteDBSortInfoBlock(std::uint8_t handle, DbBlockInfo* block);
// Removes every deleted or archived record.
TALLIMOR_SYNC_API Result SyncPurgeDeletedRecs(std::uint8_t handle);
// Sets the database's last backup date (Palm epoch seconds), written with the
// database when it is closed. A conduit stamps the database it commits with a value
// that it also keeps on the desktop, so that a later HotSync can tell whether the
// handheld took this HotSync's changes.
TALLIMOR_SYNC_API Result SyncWriteDBBackupDate(std::uint8_t handle, std::uint32_t backupDate);
// Fills map->entries with the unique ids from map->firstPosition on (at most
// entriesWanted and capacity); each id is stored most significant byte first.
TALLIMOR_SYNC_API Result SyncReadPositionXMap(PositionMapInfo* map);
// Ends the HotSync of a database: clears every dirty bit and removes deleted and
// archived records (which the conduit has archived or let go by now).
TALLIMOR_SYNC_API Result SyncResetSyncFlags(std::uint8_t handle);
// Closes a database, writing its file atomically when anything changed. On a
// storage failure the changes are lost, the file stays as it was, and the handle
// is closed all the same.
TALLIMOR_SYNC_API Result SyncCloseDB(std::uint8_t handle);
// Closes the conduit's connection: databases still open are discarded, databases
// deleted during the run have their files removed.
TALLIMOR_SYNC_API Result SyncCloseConduit(std::uint32_t connection);

}  // namespace tallimor
