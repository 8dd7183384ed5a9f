// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Synchronizer: one HotSync run of the conduit. For each database that the sync
// properties name it opens the handheld side ("remote", through the Sync Manager),
// the desktop record file ("local") and the backup copy of the last HotSync, and,
// by the HotSync action, reconciles categories, the application information and the
// records by the action tables (conduit/SyncActionTables.h), archiving what leaves
// both sides; then it commits both sides and reports to the HotSync log. Records
// are carried as opaque bytes. Every step is a virtual operation, in slot order, so
// that the class can be extended.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "conduit/SyncLog.h"
#include "hotsync/plugin/SyncProperties.h"
#include "hotsync/handheld/SyncManager.h"
#include "store/CPRecord.h"
#include "store/ResultCodes.h"

namespace tallimor {

class ArchiveDatabaseManager;
class BackupDatabaseManager;
class CPCategoryTable;
class CPDatabase;
class CPDesktopDatabase;
class DesktopJournal;
class HandheldDatabaseManager;

class Synchronizer {
 public:
  // Size of the work buffer, and of the buffer application information crosses in.
  static constexpr std::uint32_t kWorkBufferSize = 255;
  static constexpr std::uint32_t kAppInfoBufferSize = 65520;
  // Entries of the category remap table (only 0 to 15 are used).
  static constexpr int kRemapEntries = 32;

  // A run over copies of `properties` with the database managers' capability flags
  // (kCap*; kCapCategories also turns on category reconciliation and one archive per
  // category). The log is named after the conduit. Nothing is opened yet.
  Synchronizer(const SyncPropertiesRecord& properties, std::uint32_t capabilityFlags);

  Synchronizer(const Synchronizer&) = delete;
  Synchronizer& operator=(const Synchronizer&) = delete;

  // Virtual operations, in slot order. Each returns 0 or an error code unless said
  // otherwise. "X" is a handheld record, "Y" its desktop counterpart.

  // 1: destroys whatever managers are left.
  virtual ~Synchronizer();
  // 2: the whole run: checks the sync type (kErrSyncTypeTooLarge above 7; 6 does
  // nothing), opens the connection, synchronizes each database by the sync type
  // until one fails, and closes the connection. The first error, else the close's.
  virtual Result perform();
  // 3: sync types 2 and 5: the desktop file becomes the handheld database.
  virtual Result copyHandheldToDesktop();
  // 4: sync types 3, 4 and 7: the handheld database is made anew from the desktop file.
  virtual Result copyDesktopToHandheld();
  // 5: sync type 1: every record of both sides is compared.
  virtual Result slowSync();
  // 6: sync type 0: the records that either side marks changed.
  virtual Result fastSync();
  // 7-11: the conflicts of the action tables. Both archived: archives both (or, when
  // equal, Y alone) and deletes Y from the desktop.
  virtual Result conflictBothArchived(CPRecord& x, CPRecord& y);
  // Equal: archives Y and deletes it from the desktop; different: duplicatePair.
  virtual Result conflictModifiedArchived(CPRecord& x, CPRecord& y);
  // Equal: as conflictModifiedArchived; different: X is restored on the handheld
  // as a live record, then duplicatePair.
  virtual Result conflictArchivedModified(CPRecord& x, CPRecord& y);
  // Both sides end with X under its id and Y as a new record; logs the conflict.
  virtual Result duplicatePair(CPRecord& x, CPRecord& y);
  // duplicatePair when X and Y differ, else nothing.
  virtual Result conflictEither(CPRecord& x, CPRecord& y);
  // 12: merges the two category tables; both end equal. Only with kCapCategories.
  virtual Result synchronizeCategories();
  // 13: categories and the application data after the category table.
  virtual Result synchronizeAppInfo();
  // 14: returns 0; no step calls it.
  virtual Result reservedHook();
  // 15: looks X's counterpart up on the desktop and applies the table's action.
  virtual Result syncRemoteRecord(CPRecord& x);
  // 16: a desktop record that no handheld record claimed.
  virtual Result syncLocalRecord(CPRecord& y);
  // 17: adds a copy of `record` to the archive of its category; the record's index
  // and status are left as they were.
  virtual Result archiveRecord(CPRecord& record);
  // 18, 19: destroy the desktop (local) and the handheld (remote) manager. The
  // handheld database is not closed: a database left open is discarded unchanged
  // when the connection closes.
  virtual Result closeLocal();
  virtual Result closeRemote();
  // 20: makes the handheld manager and opens it for the sync type. A missing
  // database turns fast and slow synchronization into "desktop overwrites handheld"
  // (kErrFirstSyncTypeChanged); otherwise kErrHandheldDbMissing.
  virtual Result openRemote();
  // 21: makes the desktop manager and opens it for the sync type. A missing file
  // turns fast and slow synchronization into "handheld overwrites desktop"
  // (kErrFirstSyncTypeChanged); the overwrite of the handheld needs the file
  // (kErrDesktopFileMissing).
  virtual Result openLocal();
  // 22: clears the remap table and opens both sides and the backup. The side that a
  // mode rewrites is opened second, so that a missing source leaves it untouched.
  virtual Result openAll();
  // 23, 24: the backup copy's manager (made with the desktop manager's arguments).
  virtual Result closeBackup();
  virtual Result openBackup();
  // 25: makes and opens the archive named `baseName` (a category's file-name form or
  // the desktop file name); a new archive takes the handheld database's description.
  virtual Result createArchive(const char* baseName, ArchiveDatabaseManager** archive);
  // 26: takes descriptor `i` of the properties' list, or builds one from name `i`.
  virtual Result selectDatabase(std::int32_t i);
  // 27, 28: the conduit's connection with the Sync Manager, with the log's start
  // and end entries. Closing a run that went well writes the last database's
  // desktop file; one that failed leaves it as it was.
  virtual Result openSyncConnection();
  virtual Result closeSyncConnection(bool failed);
  // 29-34: the steps of synchronizeCategories.
  virtual Result prepareFirstSyncCategories();
  // Drops each category of `first` that is unchanged and has neither name nor id in
  // `second`: its records on `side` (SyncLog::kHandheld / kDesktop) go to Unfiled.
  virtual Result dropVanishedCategories(CPCategoryTable& first, const CPCategoryTable& second,
                                        std::int32_t side);
  virtual Result placeLocalCategories();
  virtual Result matchCategories();
  virtual Result setRemap(std::int32_t oldIndex, std::int32_t newIndex);
  virtual Result setRemapFromPair(std::int32_t localIndex, std::int32_t remoteIndex);
  // 35: executes the action bits of `action` from the lowest to the highest; the
  // first failing step ends it with its error.
  virtual Result applyActions(std::uint32_t action, CPRecord& x, CPRecord& y);
  // 36-41: the action tables' lookups; 0 for a key that is not in the table.
  virtual std::uint32_t slowActionFor(std::uint32_t key);
  virtual std::uint32_t fastActionFor(std::uint32_t key);
  virtual std::uint32_t fastLocalActionFor(std::uint32_t status);
  virtual std::uint32_t slowLocalActionFor(std::uint32_t status);
  virtual std::uint32_t overwriteHandheldActionFor(std::uint32_t status);
  virtual std::uint32_t overwriteDesktopActionFor(std::uint32_t key);
  // 42: marks `id` taken in the desktop id list; false when the list does not hold
  // it (or every entry with it is taken already).
  virtual bool takeIdFromList(std::uint32_t id);
  // 43: after the record passes: purges both sides and, when their record counts
  // differ (or the check is forced), copies each side's missing records over.
  virtual Result reconcileRecordIds();
  // 44: the archive of a category, made on first use. kErrRecordCategoryIndex for
  // an index of 16 or more.
  virtual Result archiveManagerFor(std::int32_t category, ArchiveDatabaseManager** archive);
  // 45: writes every archive made so far and lets it go; the first error.
  virtual Result closeArchives();
  // 46, 47: the overwrite modes' copy of the whole app info block.
  virtual Result copyAppInfoToDesktop();
  virtual Result copyAppInfoToHandheld();
  // 48: true when the records differ in length, bytes, category or private flag.
  virtual bool recordsDiffer(const CPRecord& x, const CPRecord& y);
  // 49: a communications error: bit 0x2000 set, and not -1.
  virtual bool isCommsError(Result code);

  // Not slot operations: state for callers and tests.
  std::int32_t syncType() const { return syncType_; }
  // Makes reconcileRecordIds compare the id lists even when the counts agree.
  void setForceIdCheck(bool on) { forceIdCheck_ = on ? 1 : 0; }
  SyncLog& log() { return log_; }

 protected:
  HandheldDatabaseManager* remote() const { return remote_.get(); }
  CPDesktopDatabase* local() const { return local_.get(); }
  BackupDatabaseManager* backup() const { return backup_.get(); }
  const DbDescriptor& descriptor() const { return descriptor_; }
  const SyncPropertiesRecord& properties() const { return properties_; }

 private:
  // The desktop record ids of reconcileRecordIds, with an index that finds an id's
  // entries without a scan.
  struct IdList {
    std::vector<std::uint32_t> ids;                             // slot order; taken = kNoRecordId
    std::vector<std::pair<std::uint32_t, std::int32_t>> index;  // (id, position), sorted
  };

  // The record modes' common course; `slow` selects slow synchronization.
  Result synchronizeRecords(bool slow);
  // Walks `side`'s records from `first` on, handing each to `visit`; 0 at the end of
  // the walk, else the first error.
  template <typename First, typename Visit>
  Result walkRecords(CPDatabase& side, First first, Visit visit);
  // Commits the database as conduit/DesktopJournal.h sets out: the archives and the
  // memos kept aside, the journal, the handheld (stamped with the commit's mark),
  // then the desktop file and its backup copy. Stops at the first failure; the next
  // HotSync finishes or undoes what was left half done.
  Result finishDatabase();
  // Writes the desktop file and the backup copy, and removes the journal.
  Result commitDesktop(DesktopJournal& journal);
  // Before anything else of a database: ends what a HotSync left half done (the
  // journal), and reads the handheld database's mark.
  Result recoverDesktop();
  // The desktop file's path, composed as the desktop manager composes it.
  std::string desktopPath() const;
  // Reads the handheld's application information (kept for checkPasswords) and
  // refuses a memo database whose block is there but cannot hold the category
  // table: synchronized, it would spread the damage.
  Result checkHandheldAppInfo();
  // Reads both sides' password digests; when they differ, takes the desktop records
  // that may not reach the handheld out of the HotSync (see KeptAsideFile.h).
  Result checkPasswords();
  // Whether this is the first HotSync of a handheld (or of an empty memo database)
  // against a desktop that holds memos: records are then paired by their contents.
  Result decideMerge();
  // The record passes of such a first HotSync: nothing is deleted because the other
  // side lacks it; equal memos are paired, every other memo is copied across.
  Result mergeRecords();
  // Copies every record of `side` into `records`, in slot order.
  Result collectRecords(CPDatabase& side, std::vector<CPRecord>& records);
  // Takes `y` out of the desktop file, to be kept aside under the old password.
  Result keepAside(CPRecord& y);
  // Writes the records kept aside, if any, and logs what was done.
  // Records the pairs of memos this HotSync kept in both versions beside the desktop
  // file, with the unreviewed pairs of earlier HotSyncs (store/ConflictPairFile.h),
  // before the commit point: a kill after it finds the pairs written. Pairs of a
  // HotSync that was rolled back (mark above `desktopMark`, the desktop file's) and
  // pairs whose records are gone are dropped. kErrWrite.
  Result writeConflictPairs(std::uint32_t desktopMark, std::uint32_t mark);
  Result writeKeptAside();
  // A handheld record too long for the desktop file: logged; true when `x` is one.
  bool tooLongForDesktop(const CPRecord& x);
  // Refuses a HotSync that would delete many desktop records only because the
  // handheld lacks them, unless the user allowed it.
  Result checkMassDelete();
  // Gives a deleted or archived handheld record, which the handheld reports without
  // its category, the category of its desktop counterpart (or of the backup's copy).
  void restoreCategory(CPRecord& x, const CPRecord* y);
  // The handheld records too long for the desktop, read before an overwrite of the
  // handheld deletes the database, and written back into the new one afterwards.
  Result keepTooLongHandheldRecords();
  Result restoreTooLongHandheldRecords();
  // Lets the desktop managers go without writing anything.
  void dropDesktop();
  // Lets every archive go without writing it (the mode failed; nothing committed).
  void dropArchives();
  // The descriptor of the database being synchronized, as the managers need it.
  Result makeRemote(std::int32_t syncType);
  // The table an archive's category is looked up in.
  CPCategoryTable* archiveCategoryTable();
  // L>R: adds Y to the handheld and gives the desktop record the id it was given.
  Result addToRemote(CPRecord& y);
  // The steps of applyActions' bits that are not conflict operations: dL, aL, dR
  // (unless X is deleted or archived: purged later), aR, L>R, R>L, R=>L, L=>R, the
  // quiet handheld delete and the modified-and-deleted message.
  Result deleteLocalStep(CPRecord& x, CPRecord& y);
  Result archiveLocalStep(CPRecord& x, CPRecord& y);
  Result deleteRemoteStep(CPRecord& x, CPRecord& y);
  Result archiveRemoteStep(CPRecord& x, CPRecord& y);
  Result addToRemoteStep(CPRecord& x, CPRecord& y);
  Result addToLocalStep(CPRecord& x, CPRecord& y);
  Result replaceLocalStep(CPRecord& x, CPRecord& y);
  Result replaceRemoteStep(CPRecord& x, CPRecord& y);
  // Marks y private when the handheld's x is: the desktop cannot say.
  static void keepHandheldPrivacy(const CPRecord& x, CPRecord& y);
  Result quietRemoteDeleteStep(CPRecord& x, CPRecord& y);
  Result logModifiedDeletedStep(CPRecord& x, CPRecord& y);
  // Copies `from`'s app info block to `to` (nothing when `from` has none).
  Result copyAppInfo(CPDatabase& from, CPDatabase& to);
  // Logs why the run failed.
  void logFailure(Result error);

  std::unique_ptr<HandheldDatabaseManager> remote_;  // owned; absent until opened
  std::unique_ptr<CPDesktopDatabase> local_;          // owned; absent until opened
  std::unique_ptr<BackupDatabaseManager> backup_;     // owned; absent until opened
  std::array<ArchiveDatabaseManager*, 16> archiveSlots_{};  // by category; into archives_
  // The archives made for this database; categories whose archives share a file
  // share one manager, so that no archive is written over by another.
  std::vector<std::unique_ptr<ArchiveDatabaseManager>> archives_;
  SyncPropertiesRecord properties_;                   // the caller's, copied
  std::int32_t syncType_;                             // the run's, changed by fallbacks
  DbDescriptor descriptor_{};                         // the database being synchronized
  SyncSystemInfo systemInfo_{};                       // read at the start of the run
  std::unique_ptr<std::uint8_t[]> workBuffer_;        // kWorkBufferSize bytes
  std::uint8_t workBufferLength_ = 0;                 // set to 255 when allocated
  std::uint32_t connection_ = 0;                      // the Sync Manager connection
  std::uint32_t capabilities_;                        // kCap* for every manager
  SyncLog log_;                                       // the run's log entries
  std::int32_t remap_[kRemapEntries];                 // desktop category -> handheld, or -1
  bool remapUsed_ = false;                            // an entry was set
  std::uint16_t forceIdCheck_ = 0;                    // reconcileRecordIds always compares
  IdList desktopIds_;                                 // reconcileRecordIds' desktop list
  std::unique_ptr<CPCategoryTable> desktopWork_;      // synchronizeCategories' desktop copy

  // The safety state of the database being synchronized, set anew for each.
  std::uint32_t handheldMark_ = 0;                    // the handheld database's commit mark
  bool mergeFirstSync_ = false;                       // records are paired by their contents
  bool passwordChanged_ = false;                      // the two sides' digests differ
  std::vector<std::uint8_t> handheldAppInfo_;         // the handheld's app info block, read once
  std::vector<std::uint8_t> oldAppInfo_;              // the desktop's app info before the HotSync
  DbBlockInfo oldAppInfoBlock_{};                     // its name and reserved word
  std::vector<CPRecord> keptAside_;                   // taken out under the old password
  std::uint32_t absenceDeletes_ = 0;                  // desktop records deleted as missing
  std::int32_t desktopRecordsAtStart_ = 0;            // the desktop's records when read
  std::vector<CPRecord> tooLongOnHandheld_;           // kept over an overwrite of the handheld
  std::vector<std::uint32_t> tooLongLogged_;          // ids of those logged so far
  // Memos kept in both versions by this HotSync: handheld's id, desktop's id.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> bothKept_;
};

}  // namespace tallimor
