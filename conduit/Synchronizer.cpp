// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Synchronizer: the course of one HotSync run, the record modes and the overwrite
// modes, the action bits, the conflicts, archiving, the record-id check and the
// merge of the two category tables.
//
// Nothing of a database is committed until all of it has been reconciled: the
// handheld keeps its changes in the open database, the desktop file is written only
// when the synchronization finishes. Committing follows conduit/DesktopJournal.h:
// archives, the journal, the handheld, then the desktop file and its backup copy, so
// that whatever fails, the next HotSync finds both sides in step or knows how to
// bring them there.
//
// Beyond the action tables, the synchronizer guards memos against ordinary mishaps:
// a first HotSync of a reset handheld pairs memos by their contents and deletes
// nothing; a password changed on the handheld keeps the desktop's changes aside
// instead of mixing keys; a handheld record too long for the desktop file stays on
// the handheld; and a HotSync that would delete many desktop memos only because the
// handheld lacks them stops unless the user allows it.
#include "conduit/Synchronizer.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <new>
#include <string>

#include "conduit/ArchiveDatabaseManager.h"
#include "conduit/BackupDatabaseManager.h"
#include "conduit/CPDesktopDatabase.h"
#include "conduit/ConduitStrings.h"
#include "conduit/DesktopJournal.h"
#include "conduit/HandheldDatabaseManager.h"
#include "conduit/KeptAsideFile.h"
#include "conduit/SyncActionTables.h"
#include "hotsync/plugin/SyncTypes.h"
#include "conduit/WsprintfA.h"
#include "store/CPCategoryTable.h"
#include "store/ConflictPairFile.h"
#include "store/RecordFileFormat.h"

namespace tallimor {
namespace {

// Sync types 3, 4 and 7 make the handheld database anew from the desktop file.
bool RecreatesHandheld(std::int32_t syncType) { return SyncActionOf(syncType) == kSyncDesktopToHandheld; }

bool IsRecordMode(std::int32_t syncType) { return syncType == kSyncFast || syncType == kSyncSlow; }

// A category's name, or "" for an empty one.
const char* NameOf(const CPCategory& category) {
  return category.Name() != nullptr ? category.Name() : "";
}

// Runs `work`, answering kErrOutOfMemory for an allocation that fails in it.
template <typename Work>
Result Guarded(Work work) {
  try {
    return work();
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

}  // namespace

Synchronizer::Synchronizer(const SyncPropertiesRecord& properties, std::uint32_t capabilityFlags)
    : properties_(properties),
      syncType_(properties.syncType),
      capabilities_(capabilityFlags),
      log_(FindConduitString(kStrConduitName)) {
  // The paths are the caller's fixed buffers; they end here whatever they hold.
  properties_.localDirectory[kSyncPathSize - 1] = '\0';
  properties_.localFileName[kSyncPathSize - 1] = '\0';
  std::fill(std::begin(remap_), std::end(remap_), -1);
}

Synchronizer::~Synchronizer() = default;

// ---------------------------------------------------------------- the run

Result Synchronizer::perform() {
  if (syncType_ < 0 || syncType_ > kHighestSyncType) return kErrSyncTypeTooLarge;
  if (syncType_ == kSyncDoNothing) return kOk;

  workBuffer_.reset(new (std::nothrow) std::uint8_t[kWorkBufferSize]);
  if (!workBuffer_) {
    logFailure(kErrOutOfMemory);
    return kErrOutOfMemory;
  }
  workBufferLength_ = kWorkBufferSize;
  Result result = SyncReadSystemInfo(&systemInfo_);
  if (result == kOk) result = openSyncConnection();
  if (result != kOk) {
    logFailure(result);
    return result;
  }

  // A fallback changes the sync type of the database whose side is missing only:
  // carried over, "desktop overwrites handheld" would delete a later database that
  // exists on the handheld with changes the desktop has never seen.
  const std::int32_t requested = syncType_;
  Result error = kOk;
  for (std::int32_t i = 0; i < properties_.remoteCount && error == kOk; ++i) {
    if (selectDatabase(i) != kOk) break;  // no more databases: the run is complete
    syncType_ = requested;
    result = recoverDesktop();
    if (result != kOk) {
      error = result;
      break;
    }
    switch (syncType_) {
      case kSyncFast:
        result = fastSync();
        break;
      case kSyncSlow:
        result = slowSync();
        break;
      case kSyncHandheldToDesktop:
      case kSyncHandheldToDesktopKeepFlags:
        result = copyHandheldToDesktop();
        break;
      default:
        result = copyDesktopToHandheld();
        break;
    }
    if (result == kErrFirstSyncTypeChanged && IsRecordMode(requested)) {
      if (syncType_ == kSyncHandheldToDesktop) {
        result = copyHandheldToDesktop();
      } else if (syncType_ == kSyncDesktopToHandheld) {
        result = copyDesktopToHandheld();
        // Neither side holds the database: there is nothing to synchronize.
        if (result == kErrDesktopFileMissing) result = kOk;
      }
    }
    dropArchives();
    closeRemote();
    dropDesktop();
    error = result;
  }
  if (error != kOk) logFailure(error);
  const Result closed = closeSyncConnection(error != kOk);
  return error != kOk ? error : closed;
}

Result Synchronizer::selectDatabase(std::int32_t i) {
  if (i < 0) return kErrNullArgument;
  if (properties_.remoteDescriptors != nullptr) {
    const DbDescriptor* given = properties_.remoteDescriptors[i];
    if (given == nullptr) return kErrNullArgument;
    descriptor_ = *given;
    descriptor_.name[sizeof descriptor_.name - 1] = '\0';
    return kOk;
  }
  if (i >= kSyncMaxRemoteNames || properties_.remoteNames[i] == nullptr) return kErrNullArgument;
  descriptor_ = DbDescriptor{};
  descriptor_.creator = properties_.creator;
  descriptor_.type = properties_.type;
  std::strncpy(descriptor_.name, properties_.remoteNames[i], sizeof descriptor_.name - 1);
  return kOk;
}

Result Synchronizer::openSyncConnection() {
  const Result opened = SyncOpenConduit(&connection_);
  if (opened == kOk) log_.logStart();
  return opened;
}

Result Synchronizer::closeSyncConnection(bool failed) {
  // The connection is closed before the end entry, so that a close that fails
  // makes the entry the failure entry instead of following a success. Each
  // database's two sides were committed already, in step (finishDatabase).
  Result closed = SyncCloseConduit(connection_);
  connection_ = 0;
  dropDesktop();
  if (closed != kOk && !failed) logFailure(closed);
  log_.logEnd(failed || closed != kOk ? 1 : 0);
  return closed;
}

void Synchronizer::logFailure(Result error) {
  log_.logFatalCode(error);
  const char* meaning = SyncResultMeaning(error);
  if (std::strcmp(meaning, SyncResultMeaning(-1)) == 0) meaning = ResultMeaning(error);
  const std::string text = std::string("-- ") + meaning;
  log_.logText(text.c_str());
}

// ---------------------------------------------------------------- opening and closing

Result Synchronizer::makeRemote(std::int32_t syncType) {
  remote_.reset(new (std::nothrow) HandheldDatabaseManager(
      &log_, capabilities_, descriptor_.name, descriptor_.creator, descriptor_.type,
      descriptor_.flags, 0, descriptor_.cardNumber, syncType));
  return remote_ ? kOk : kErrOutOfMemory;
}

Result Synchronizer::openRemote() {
  remote_.reset();
  Result result = makeRemote(syncType_);
  if (result == kOk) result = remote_->OpenForSyncType();
  if (result != kErrHandheldDbMissing) return result;
  if (!IsRecordMode(syncType_)) return kErrHandheldDbMissing;
  syncType_ = kSyncDesktopToHandheld;
  return kErrFirstSyncTypeChanged;
}

Result Synchronizer::openLocal() {
  local_.reset(new (std::nothrow) CPDesktopDatabase(&log_, capabilities_, descriptor_.name,
                                                    properties_.localFileName,
                                                    properties_.localDirectory, syncType_));
  if (!local_) return kErrOutOfMemory;
  const Result result = local_->OpenForSyncType();
  if (result == kErrDesktopFileMissing && IsRecordMode(syncType_)) {
    // The handheld database was opened but not touched; let it go for the
    // overwrite mode to open again.
    if (remote_ && remote_->IsOpen()) {
      const Result closed = remote_->Close(true);
      if (closed != kOk) return closed;
    }
    syncType_ = kSyncHandheldToDesktop;
    return kErrFirstSyncTypeChanged;
  }
  if (result == kErrOpenFailed && ::access(desktopPath().c_str(), F_OK) == 0) {
    // There, but held by another program all the while: nothing may be decided
    // from a file that cannot be read.
    char entry[SyncLog::kFormatSize];
    FormatWsprintfA(entry, sizeof entry, log_.loadMessage(kStrDesktopFileInUse), {desktopPath()});
    log_.logTextError(entry);
    return kErrOpenFailed;
  }
  if (result == kErrOpenFailed && RecreatesHandheld(syncType_)) return kErrDesktopFileMissing;
  return result;
}

Result Synchronizer::openAll() {
  remapUsed_ = false;
  std::fill(std::begin(remap_), std::end(remap_), -1);
  // The handheld database is deleted as it is opened for an overwrite of the
  // handheld, so the desktop file must be known to be there first.
  Result result;
  if (RecreatesHandheld(syncType_)) {
    result = openLocal();
    if (result == kOk) result = keepTooLongHandheldRecords();
    if (result == kOk) result = openRemote();
  } else {
    result = openRemote();
    if (result == kOk) result = openLocal();
  }
  if (result != kOk) return result;
  return openBackup();
}

Result Synchronizer::openBackup() {
  backup_.reset(new (std::nothrow) BackupDatabaseManager(&log_, capabilities_, descriptor_.name,
                                                         properties_.localFileName,
                                                         properties_.localDirectory, syncType_));
  if (!backup_) return kErrOutOfMemory;
  return backup_->OpenForSyncType();
}

Result Synchronizer::closeLocal() {
  local_.reset();
  return kOk;
}

Result Synchronizer::closeRemote() {
  remote_.reset();
  return kOk;
}

Result Synchronizer::closeBackup() {
  backup_.reset();
  return kOk;
}

std::string Synchronizer::desktopPath() const {
  return CPDesktopDatabase::ComposePath(properties_.localDirectory, properties_.localFileName);
}

Result Synchronizer::recoverDesktop() {
  mergeFirstSync_ = false;
  passwordChanged_ = false;
  oldAppInfo_.clear();
  keptAside_.clear();
  absenceDeletes_ = 0;
  desktopRecordsAtStart_ = 0;
  tooLongOnHandheld_.clear();
  tooLongLogged_.clear();
  bothKept_.clear();
  handheldMark_ = 0;
  const Result read = HandheldDatabaseManager::ReadCommitMark(descriptor_.name, &handheldMark_);
  if (read != kOk && read != kErrHandheldDbMissing) return read;
  const std::string desktop = desktopPath();
  DesktopJournal journal(desktop);
  DesktopJournal::Outcome outcome = DesktopJournal::Outcome::kNone;
  const Result recovered = journal.Recover(
      read == kOk, handheldMark_,
      CPDesktopDatabase::WithExtension(desktop, BackupDatabaseManager::kExtension), &outcome);
  if (outcome == DesktopJournal::Outcome::kRolledForward) {
    log_.logText(log_.loadMessage(kStrJournalRolledForward));
  } else if (outcome == DesktopJournal::Outcome::kRolledBack) {
    log_.logText(log_.loadMessage(kStrJournalRolledBack));
  }
  if (recovered != kOk) log_.logSaveFailed(recovered);
  return recovered;
}

Result Synchronizer::finishDatabase() {
  Result result = closeArchives();
  if (result == kOk) result = writeKeptAside();
  if (result != kOk) return result;

  // The overwrites 4 and 7 leave the desktop file as it is; every other mode
  // writes it, and goes through the journal.
  const bool writesDesktop = syncType_ != kSyncDesktopToHandheld4 && syncType_ != kSyncDesktopToHandheld7;
  DesktopJournal journal(desktopPath());
  if (writesDesktop) {
    if (local_->Header() == nullptr) result = local_->MakeDefaultHeader();
    if (result != kOk) return result;
    const std::uint32_t desktopMark = local_->Header()->backupDate;
    const std::uint32_t mark = DesktopJournal::NextMark(handheldMark_, desktopMark);
    result = writeConflictPairs(desktopMark, mark);
    if (result != kOk) {
      log_.logSaveFailed(result);
      return result;
    }
    local_->ClearAllStatus();
    local_->SetCommitMark(mark);
    result = local_->WriteCopy(journal.Path(), StoredFlagsPolicy::kPrivateOnly);
    if (result != kOk) {
      log_.logSaveFailed(result);
      return result;
    }
    remote_->SetCommitMark(mark);
  }
  result = remote_->FinishSync();
  if (result != kOk) return result;
  return commitDesktop(journal);
}

Result Synchronizer::writeConflictPairs(std::uint32_t desktopMark, std::uint32_t mark) {
  const ConflictPairFile file(ConflictPairFile::PathBeside(desktopPath()));
  std::vector<ConflictPair> earlier;
  file.Read(&earlier);  // advisory: an unreadable file only loses the offer to review
  std::vector<ConflictPair> kept;
  auto live = [this](std::uint32_t id) { return local_->FindSlotById(id) >= 0; };
  for (const ConflictPair& pair : earlier) {
    if (pair.mark <= desktopMark && live(pair.handheldId) && live(pair.desktopId)) kept.push_back(pair);
  }
  for (const auto& [handheldId, desktopId] : bothKept_) kept.push_back({mark, handheldId, desktopId});
  if (kept == earlier) return kOk;
  return file.Write(kept);
}

Result Synchronizer::commitDesktop(DesktopJournal& journal) {
  Result result = local_->FinishSync();
  // record.dat now carries the journal's mark; a journal left behind by a failed
  // removal is recognised as done by the next HotSync.
  if (result == kOk) journal.Remove();
  if (result == kOk && backup_) result = backup_->FinishSync();
  dropDesktop();
  return result;
}

void Synchronizer::dropDesktop() {
  closeLocal();
  closeBackup();
}

// ---------------------------------------------------------------- the modes

template <typename First, typename Visit>
Result Synchronizer::walkRecords(CPDatabase& side, First first, Visit visit) {
  CPRecord record;
  Result result = first(side, record);
  while (result == kOk) {
    const Result visited = visit(record);
    if (visited != kOk) return visited;
    result = side.NextRecord(record);
  }
  return result == kErrNoMatch ? kOk : result;
}

Result Synchronizer::fastSync() { return synchronizeRecords(false); }

Result Synchronizer::slowSync() { return synchronizeRecords(true); }

Result Synchronizer::synchronizeRecords(bool slow) {
  Result result = openAll();
  if (result == kOk) result = checkHandheldAppInfo();
  if (result == kOk) result = local_->ReadForSync();
  if (result == kOk) result = local_->RecordCount(desktopRecordsAtStart_);
  if (result == kOk) result = decideMerge();
  if (result == kOk) result = checkPasswords();
  if (result == kOk) result = synchronizeAppInfo();
  if (result != kOk) return result;
  if (mergeFirstSync_) {
    result = mergeRecords();
    if (result == kOk) result = closeArchives();
    if (result == kOk) result = finishDatabase();
    return result;
  }
  result = remote_->ReadForSync();
  if (result != kOk) return result;

  // Handheld records: all in slow synchronization, else those the handheld loaded
  // as modified.
  result = walkRecords(
      *remote_,
      [slow](CPDatabase& side, CPRecord& x) { return slow ? side.FirstRecord(x) : side.FirstChangedRecord(x); },
      [this](CPRecord& x) { return syncRemoteRecord(x); });
  if (result != kOk) return result;
  // Desktop records: those no handheld record claimed (slow), or those with a status.
  result = walkRecords(
      *local_,
      [slow](CPDatabase& side, CPRecord& y) {
        return slow ? side.FirstPendingRecord(y) : side.FirstChangedRecord(y);
      },
      [this](CPRecord& y) { return syncLocalRecord(y); });
  if (result == kOk) result = checkMassDelete();
  if (result != kOk) return result;

  // The archives are written before the handheld purges what was archived.
  result = closeArchives();
  if (result == kOk) result = reconcileRecordIds();
  if (result == kOk) result = finishDatabase();
  return result;
}

Result Synchronizer::copyHandheldToDesktop() {
  Result result = openAll();
  if (result == kOk) result = checkHandheldAppInfo();
  if (result != kOk) return result;
  local_->SetDatabaseInfo(descriptor_.name, descriptor_.flags, descriptor_.type, descriptor_.creator,
                          descriptor_.version, descriptor_.modificationNumber,
                          descriptor_.creationDate, descriptor_.modificationDate,
                          descriptor_.backupDate);
  result = remote_->ReadForSync();
  if (result == kOk) result = local_->ReadForSync();
  if (result == kOk) result = copyAppInfoToDesktop();
  if (result == kOk) {
    result = walkRecords(
        *remote_, [](CPDatabase& side, CPRecord& x) { return side.FirstRecord(x); },
        [this](CPRecord& x) {
          CPRecord none;
          return applyActions(overwriteDesktopActionFor(x.StateCode() << kRemoteStateShift), x, none);
        });
  }
  if (result == kOk) result = finishDatabase();
  return result;
}

Result Synchronizer::copyDesktopToHandheld() {
  Result result = openAll();
  if (result == kOk) result = remote_->ReadForSync();
  if (result == kOk) result = local_->ReadForSync();
  if (result == kOk) result = copyAppInfoToHandheld();
  if (result == kOk) {
    result = walkRecords(
        *local_, [](CPDatabase& side, CPRecord& y) { return side.FirstRecord(y); },
        [this](CPRecord& y) {
          CPRecord none;
          return applyActions(overwriteHandheldActionFor(y.StateCode()), none, y);
        });
  }
  if (result == kOk) result = restoreTooLongHandheldRecords();
  if (result == kOk) result = finishDatabase();
  return result;
}

// ---------------------------------------------------------------- records

Result Synchronizer::syncRemoteRecord(CPRecord& x) {
  if (tooLongForDesktop(x)) return kOk;
  CPRecord y;
  const Result found = local_->GetRecordById(x.Id(), y);
  if (found != kOk && found != kErrNoMatch) return found;
  restoreCategory(x, found == kOk ? &y : nullptr);
  const std::uint32_t localState = found == kOk ? y.StateCode() : kStateMissing;
  std::uint32_t remoteKey = x.StateCode() << kRemoteStateShift;
  if (syncType_ != kSyncSlow) {
    return applyActions(fastActionFor(remoteKey | localState), x, y);
  }

  std::uint32_t comparison = 0;
  // An archived record keeps its bytes, so it is compared as a live one is: its
  // rows of the comparison tables would otherwise never be reached, and a record
  // archived on the handheld would be neither archived nor kept in step.
  if (found == kOk && (!x.IsDeleted() || x.IsArchived())) {
    comparison = recordsDiffer(x, y) ? kKeyRecordsDiffer : kKeyRecordsEqual;
  }
  // The handheld's modified flags may have been reset by a HotSync with another
  // desktop; the backup copy of the last HotSync here tells what changed since.
  if (!x.IsModified() && backup_) {
    CPRecord before;
    const Result known = backup_->GetRecordById(x.Id(), before);
    if (known != kOk || recordsDiffer(before, x)) {
      x.SetModified(true);
      remoteKey = x.StateCode() << kRemoteStateShift;
    }
  }
  return applyActions(slowActionFor(remoteKey | localState | comparison), x, y);
}

Result Synchronizer::syncLocalRecord(CPRecord& y) {
  CPRecord x;
  std::uint32_t action;
  if (syncType_ == kSyncFast) {
    if (y.Id() != 0) {
      const Result read = remote_->GetRecordById(y.Id(), x);
      if (read == kSyncErrNotFound) {
        y.SetNew(true);
      } else if (read != kOk) {
        return read;
      }
    } else {
      y.SetNew(true);
    }
    action = fastLocalActionFor(y.StateCode());
  } else {
    action = slowLocalActionFor(y.StateCode());
    // An unchanged desktop record that no handheld record claimed is deleted because
    // the handheld lacks it: counted, so that a handheld database cut short cannot
    // take the desktop's memos with it (checkMassDelete).
    if (y.StateCode() == kStateUnchanged && (action & kActionDeleteLocal) != 0) ++absenceDeletes_;
  }
  return applyActions(action, x, y);
}

Result Synchronizer::applyActions(std::uint32_t action, CPRecord& x, CPRecord& y) {
  // The action bits and their steps, from the lowest bit to the highest.
  using Step = Result (Synchronizer::*)(CPRecord& x, CPRecord& y);
  struct ActionStep {
    std::uint32_t bit;
    Step step;
  };
  static constexpr ActionStep kSteps[] = {
      {kActionDeleteLocal, &Synchronizer::deleteLocalStep},
      {kActionArchiveLocal, &Synchronizer::archiveLocalStep},
      {kActionDeleteRemote, &Synchronizer::deleteRemoteStep},
      {kActionArchiveRemote, &Synchronizer::archiveRemoteStep},
      {kActionAddToRemote, &Synchronizer::addToRemoteStep},
      {kActionAddToLocal, &Synchronizer::addToLocalStep},
      {kActionReplaceLocal, &Synchronizer::replaceLocalStep},
      {kActionReplaceRemote, &Synchronizer::replaceRemoteStep},
      {kActionConflictEither, &Synchronizer::conflictEither},
      {kActionConflictArchivedModified, &Synchronizer::conflictArchivedModified},
      {kActionConflictModifiedArchived, &Synchronizer::conflictModifiedArchived},
      {kActionConflictBothArchived, &Synchronizer::conflictBothArchived},
      {kActionDuplicatePair, &Synchronizer::duplicatePair},
      {kActionQuietRemoteDelete, &Synchronizer::quietRemoteDeleteStep},
      {kActionLogModifiedDeleted, &Synchronizer::logModifiedDeletedStep},
  };
  for (const ActionStep& s : kSteps) {
    if ((action & s.bit) == 0) continue;
    const Result result = (this->*s.step)(x, y);
    if (result != kOk) return result;
  }
  return kOk;
}

Result Synchronizer::deleteLocalStep(CPRecord&, CPRecord& y) { return local_->DeleteRecord(y); }

Result Synchronizer::archiveLocalStep(CPRecord&, CPRecord& y) {
  const Result archived = archiveRecord(y);
  return archived == kOk ? local_->DeleteRecord(y) : archived;
}

Result Synchronizer::deleteRemoteStep(CPRecord& x, CPRecord&) {
  // Deleted and archived records go when the handheld purges them.
  if (x.IsDeleted() || x.IsArchived()) return kOk;
  return remote_->DeleteRecord(x);
}

Result Synchronizer::archiveRemoteStep(CPRecord& x, CPRecord& y) {
  const Result archived = archiveRecord(x);
  return archived == kOk ? deleteRemoteStep(x, y) : archived;
}

Result Synchronizer::addToRemoteStep(CPRecord&, CPRecord& y) { return addToRemote(y); }

Result Synchronizer::addToLocalStep(CPRecord& x, CPRecord&) {
  if (tooLongForDesktop(x)) return kOk;
  const Result added = local_->AddCleanRecord(x);
  if (added != kOk) log_.logAddFailed(added, x, SyncLog::kDesktop);
  return added;
}

Result Synchronizer::replaceLocalStep(CPRecord& x, CPRecord& y) {
  return local_->ModifyRecordAtIndex(y.Index(), x);
}

// The desktop file keeps no private flag, so a desktop record never says whether its
// memo is private. A memo the handheld holds as private stays private when the
// desktop's version of it is written there, rather than being made public by an edit.
void Synchronizer::keepHandheldPrivacy(const CPRecord& x, CPRecord& y) {
  if (x.IsPrivate()) y.SetPrivate(true);
}

Result Synchronizer::replaceRemoteStep(CPRecord& x, CPRecord& y) {
  keepHandheldPrivacy(x, y);
  return remote_->ModifyRecordAtIndex(x.Index(), y);
}

Result Synchronizer::quietRemoteDeleteStep(CPRecord&, CPRecord& y) {
  // The record may well be gone from the handheld already; any other failure
  // means it is still there, and the desktop's deletion has not been carried over.
  CPRecord gone;
  gone.SetId(y.Id());
  const Result deleted = remote_->DeleteRecord(gone);
  return deleted == kSyncErrNotFound ? kOk : deleted;
}

Result Synchronizer::logModifiedDeletedStep(CPRecord& x, CPRecord&) {
  log_.logModifiedDeleted(x);
  return kOk;
}

Result Synchronizer::addToRemote(CPRecord& y) {
  // The handheld gives the record its own index; the desktop record to renumber is
  // the one in the slot the record came from.
  const std::int32_t slot = y.Index();
  const std::uint32_t id = y.Id();
  // A record new to the handheld is added as a new record: an id it carries is not
  // the handheld's, and written as it is it would replace whatever record has it.
  if (y.IsNew()) y.SetId(0);
  Result result = remote_->AddCleanRecord(y);
  if (result != kOk) {
    log_.logAddFailed(result, y, SyncLog::kHandheld);
    return result;
  }
  const bool renumbered = y.Id() != id;
  y.SetIndex(slot);
  if (renumbered) result = local_->ModifyRecordAtIndex(slot, y);
  return result;
}

bool Synchronizer::recordsDiffer(const CPRecord& x, const CPRecord& y) { return x.Compare(y) != 0; }

bool Synchronizer::isCommsError(Result code) { return SyncIsCommsError(code); }

std::uint32_t Synchronizer::slowActionFor(std::uint32_t key) { return kSlowActions.Lookup(key); }
std::uint32_t Synchronizer::fastActionFor(std::uint32_t key) { return kFastActions.Lookup(key); }
std::uint32_t Synchronizer::fastLocalActionFor(std::uint32_t status) {
  return kFastLocalActions.Lookup(status);
}
std::uint32_t Synchronizer::slowLocalActionFor(std::uint32_t status) {
  return kSlowLocalActions.Lookup(status);
}
std::uint32_t Synchronizer::overwriteHandheldActionFor(std::uint32_t status) {
  return kOverwriteHandheldActions.Lookup(status);
}
std::uint32_t Synchronizer::overwriteDesktopActionFor(std::uint32_t key) {
  return kOverwriteDesktopActions.Lookup(key);
}

Result Synchronizer::reservedHook() { return kOk; }

// ---------------------------------------------------------------- conflicts

Result Synchronizer::duplicatePair(CPRecord& x, CPRecord& y) {
  // Both sides are to hold the handheld's version under its id. One archived or
  // deleted on the handheld would be purged there, and then live on the desktop
  // alone; it is made a live record on the handheld again first.
  const bool goneFromHandheld = x.IsDeleted() || x.IsArchived();
  const std::int32_t handheldIndex = x.Index();
  x.ClearStatusAndMarks();
  Result result = kOk;
  if (goneFromHandheld) {
    result = remote_->ModifyRecordAtIndex(handheldIndex, x);
    if (result != kOk) return result;
  }
  x.SetIndex(y.Index());
  result = local_->ModifyRecordAtIndex(x.Index(), x);
  if (result != kOk) return result;
  y.SetId(0);
  keepHandheldPrivacy(x, y);
  result = remote_->AddCleanRecord(y);
  if (result != kOk) {
    log_.logAddFailed(result, y, SyncLog::kHandheld);
    return result;
  }
  result = local_->AddCleanRecord(y);
  if (result != kOk) {
    log_.logAddFailed(result, y, SyncLog::kDesktop);
    return result;
  }
  bothKept_.emplace_back(x.Id(), y.Id());  // offered to the user for review afterwards
  log_.logModifiedBoth(x);
  return kOk;
}

Result Synchronizer::conflictEither(CPRecord& x, CPRecord& y) {
  return recordsDiffer(x, y) ? duplicatePair(x, y) : kOk;
}

Result Synchronizer::conflictModifiedArchived(CPRecord& x, CPRecord& y) {
  return recordsDiffer(x, y) ? duplicatePair(x, y) : archiveLocalStep(x, y);
}

Result Synchronizer::conflictArchivedModified(CPRecord& x, CPRecord& y) {
  if (!recordsDiffer(x, y)) return archiveLocalStep(x, y);
  x.ClearStatusAndMarks();
  const Result restored = remote_->ModifyRecordAtIndex(x.Index(), x);
  if (restored != kOk) return restored;
  return duplicatePair(x, y);
}

Result Synchronizer::conflictBothArchived(CPRecord& x, CPRecord& y) {
  Result result = archiveRecord(y);
  if (result == kOk && recordsDiffer(x, y)) result = archiveRecord(x);
  if (result == kOk) result = local_->DeleteRecord(y);
  return result;
}

// ---------------------------------------------------------------- safety checks

namespace {

// The memo's contents as a pairing key: category, private flag and bytes.
std::string ContentKey(const CPRecord& record) {
  std::string key;
  key.reserve(2 + record.DataLength());
  key.push_back(static_cast<char>(record.Category()));
  key.push_back(record.IsPrivate() ? '\1' : '\0');
  if (record.DataLength() > 0) {
    key.append(reinterpret_cast<const char*>(record.Data()), record.DataLength());
  }
  return key;
}

// Reads `side`'s app info block into `bytes`; an absent block leaves it empty.
Result ReadAppInfoBlock(CPDatabase& side, std::vector<std::uint8_t>& bytes, DbBlockInfo& info) {
  bytes.assign(Synchronizer::kAppInfoBufferSize, 0);
  info = DbBlockInfo{};
  info.bufferSize = static_cast<std::uint16_t>(Synchronizer::kAppInfoBufferSize);
  info.data = bytes.data();
  const Result read = side.GetAppInfo(info);
  if (read == kErrNoAppInfo || read == kSyncErrNotFound) {
    bytes.clear();
    info.bytesRead = 0;
    return kOk;
  }
  if (read != kOk) return read;
  bytes.resize(info.bytesRead);
  info.data = bytes.data();
  return kOk;
}

}  // namespace

Result Synchronizer::collectRecords(CPDatabase& side, std::vector<CPRecord>& records) {
  return walkRecords(side, [](CPDatabase& from, CPRecord& r) { return from.FirstRecord(r); },
                     [&records](CPRecord& r) {
                       return Guarded([&] {
                         records.push_back(r);
                         return kOk;
                       });
                     });
}

Result Synchronizer::checkHandheldAppInfo() {
  handheldAppInfo_.clear();
  if (!remote_->UsesAppInfo()) return kOk;
  DbBlockInfo info;
  const Result read = ReadAppInfoBlock(*remote_, handheldAppInfo_, info);
  if (read != kOk) return read;
  if (!remote_->UsesCategories()) return kOk;
  const std::vector<std::uint8_t>& bytes = handheldAppInfo_;
  // A database without the block takes the desktop's (synchronizeAppInfo); one whose
  // block is there but cut short is damaged.
  if (bytes.empty() || bytes.size() >= kCategoryTableSize) return kOk;
  char entry[SyncLog::kFormatSize];
  FormatWsprintfA(entry, sizeof entry, log_.loadMessage(kStrHandheldAppInfoShort),
                  {descriptor_.name, static_cast<std::uint32_t>(bytes.size()), kCategoryTableSize});
  log_.logTextError(entry);
  return kErrCategoryTableShort;
}

Result Synchronizer::decideMerge() {
  mergeFirstSync_ = false;
  if (!IsRecordMode(syncType_) || desktopRecordsAtStart_ == 0) return kOk;
  std::int32_t handheldRecords = 0;
  const Result counted = remote_->RecordCount(handheldRecords);
  if (counted != kOk) return counted;
  // A handheld new to this desktop numbers its records afresh, so ids cannot pair
  // them; a memo database without a single record (not even a deleted one) has been
  // made anew. Either way the desktop's memos are not the handheld's deletions.
  if (properties_.firstSync != kFirstSyncNewHandheld && handheldRecords != 0) return kOk;
  mergeFirstSync_ = true;
  // Nor are the desktop's categories: none is dropped because the handheld lacks it.
  properties_.firstSync = kFirstSyncNewHandheld;
  return kOk;
}

Result Synchronizer::checkPasswords() {
  passwordChanged_ = false;
  if (!remote_->UsesAppInfo() || !local_->UsesAppInfo()) return kOk;
  // The handheld's block as checkHandheldAppInfo read it.
  const std::vector<std::uint8_t>& handheld = handheldAppInfo_;
  Result result = ReadAppInfoBlock(*local_, oldAppInfo_, oldAppInfoBlock_);
  if (result != kOk) return result;
  // A side without the block takes the other's, as it always has: there is no
  // digest to tell a password by.
  if (oldAppInfo_.empty() || handheld.empty()) return kOk;
  if (KeptAsideFile::DigestOf(handheld.data(), static_cast<std::uint32_t>(handheld.size())) ==
      KeptAsideFile::DigestOf(oldAppInfo_.data(), static_cast<std::uint32_t>(oldAppInfo_.size()))) {
    return kOk;
  }
  passwordChanged_ = true;
  if (mergeFirstSync_) return kOk;  // mergeRecords keeps aside what it would send
  std::vector<CPRecord> records;
  result = collectRecords(*local_, records);
  for (CPRecord& y : records) {
    if (result != kOk) break;
    if (y.IsDeleted() && !y.IsArchived()) continue;  // a deletion carries no memo
    if (y.IsNew() || y.IsModified() || y.IsArchived()) {
      result = keepAside(y);
    } else {
      // Unchanged here: the handheld's copy, enciphered anew with its new password,
      // takes its place (the id check below brings it over).
      result = local_->DeleteRecord(y);
    }
  }
  setForceIdCheck(true);
  return result;
}

Result Synchronizer::keepAside(CPRecord& y) {
  const Result kept = Guarded([&] {
    keptAside_.push_back(y);
    return kOk;
  });
  return kept == kOk ? local_->DeleteRecord(y) : kept;
}

Result Synchronizer::writeKeptAside() {
  if (!passwordChanged_) return kOk;
  if (keptAside_.empty()) {
    log_.logText(log_.loadMessage(kStrPasswordChanged));
    return kOk;
  }
  DbBlockInfo info = oldAppInfoBlock_;
  info.data = oldAppInfo_.data();
  info.bytesRead = static_cast<std::uint16_t>(oldAppInfo_.size());
  info.bufferSize = info.bytesRead;
  std::string path;
  const Result kept = KeptAsideFile(properties_.localDirectory, properties_.localFileName)
                          .Keep(info, descriptor_, keptAside_, &path);
  if (kept != kOk) {
    log_.logSaveFailed(kept);
    return kept;
  }
  const std::size_t slash = path.rfind('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  char entry[SyncLog::kFormatSize];
  FormatWsprintfA(entry, sizeof entry, log_.loadMessage(kStrPasswordChangedKept),
                  {static_cast<std::uint32_t>(keptAside_.size()), name});
  log_.logText(entry);
  return kOk;
}

Result Synchronizer::mergeRecords() {
  Result result = remote_->ReadAllRecords();
  if (result != kOk) return result;
  std::vector<CPRecord> desktop;
  std::vector<CPRecord> handheld;
  result = collectRecords(*local_, desktop);
  if (result == kOk) result = collectRecords(*remote_, handheld);
  if (result != kOk) return result;

  // What either side deleted or archived concerns no memo of the other side.
  std::vector<CPRecord*> desktopLive;
  for (CPRecord& y : desktop) {
    if (y.IsArchived()) {
      result = passwordChanged_ ? keepAside(y) : archiveLocalStep(y, y);
    } else if (y.IsDeleted()) {
      result = local_->DeleteRecord(y);
    } else {
      desktopLive.push_back(&y);
    }
    if (result != kOk) return result;
  }
  std::multimap<std::string, std::size_t> byContent;
  for (std::size_t i = 0; i < desktopLive.size(); ++i) {
    byContent.emplace(ContentKey(*desktopLive[i]), i);
  }

  // Equal memos are paired: the desktop's takes the handheld's id.
  std::vector<bool> paired(desktopLive.size(), false);
  std::vector<const CPRecord*> toDesktop;
  for (CPRecord& x : handheld) {
    if (tooLongForDesktop(x)) continue;
    if (x.IsArchived()) {
      result = archiveRecord(x);
    } else if (!x.IsDeleted()) {
      const auto match = byContent.find(ContentKey(x));
      if (match == byContent.end()) {
        toDesktop.push_back(&x);
      } else {
        const std::size_t i = match->second;
        byContent.erase(match);
        paired[i] = true;
        CPRecord same(x);
        same.ClearStatusAndMarks();
        same.SetIndex(desktopLive[i]->Index());
        result = local_->ModifyRecordAtIndex(same.Index(), same);
      }
    }
    if (result != kOk) return result;
  }

  // The desktop's other memos go to the handheld first, so that every desktop
  // record carries a handheld id before the handheld's memos are added beside them.
  std::uint32_t sent = 0;
  for (std::size_t i = 0; i < desktopLive.size(); ++i) {
    if (paired[i]) continue;
    CPRecord& y = *desktopLive[i];
    if (passwordChanged_) {
      result = keepAside(y);
    } else {
      y.SetNew(true);
      result = addToRemote(y);
      ++sent;
    }
    if (result != kOk) return result;
  }
  std::uint32_t received = 0;
  for (const CPRecord* x : toDesktop) {
    CPRecord copy(*x);
    result = local_->AddCleanRecord(copy);
    if (result != kOk) {
      log_.logAddFailed(result, copy, SyncLog::kDesktop);
      return result;
    }
    ++received;
  }
  char entry[SyncLog::kFormatSize];
  FormatWsprintfA(entry, sizeof entry, log_.loadMessage(kStrFirstSyncMerged), {sent, received});
  log_.logText(entry);
  return kOk;
}

bool Synchronizer::tooLongForDesktop(const CPRecord& x) {
  if (x.DataLength() <= kMaxRecordDataLength) return false;
  if (std::find(tooLongLogged_.begin(), tooLongLogged_.end(), x.Id()) == tooLongLogged_.end()) {
    Guarded([&] {
      tooLongLogged_.push_back(x.Id());
      return kOk;
    });
    char entry[SyncLog::kFormatSize];
    FormatWsprintfA(entry, sizeof entry, log_.loadMessage(kStrRecordTooLong),
                    {x.Id(), x.DataLength(), kMaxRecordDataLength});
    log_.logText(entry);
  }
  return true;
}

Result Synchronizer::checkMassDelete() {
  constexpr std::uint32_t kFewest = 5;
  if (absenceDeletes_ < kFewest) return kOk;
  const auto atStart = static_cast<std::uint32_t>(std::max<std::int32_t>(desktopRecordsAtStart_, 0));
  if (static_cast<std::uint64_t>(absenceDeletes_) * 10 <= atStart) return kOk;
  if ((properties_.options & kSyncOptionAllowMassDelete) != 0) return kOk;
  char entry[SyncLog::kFormatSize];
  FormatWsprintfA(entry, sizeof entry, log_.loadMessage(kStrMassDeleteRefused), {absenceDeletes_, atStart});
  log_.logTextError(entry);
  return kErrMassDeleteRefused;
}

void Synchronizer::restoreCategory(CPRecord& x, const CPRecord* y) {
  if (!x.IsDeleted() && !x.IsArchived()) return;
  if (y != nullptr) {
    x.SetCategory(y->Category());
    return;
  }
  CPRecord before;
  if (backup_ && backup_->GetRecordById(x.Id(), before) == kOk) x.SetCategory(before.Category());
}

Result Synchronizer::keepTooLongHandheldRecords() {
  tooLongOnHandheld_.clear();
  if (!RecreatesHandheld(syncType_)) return kOk;
  HandheldDatabaseManager reader(&log_, capabilities_, descriptor_.name, descriptor_.creator,
                                 descriptor_.type, descriptor_.flags, 0, descriptor_.cardNumber,
                                 kSyncSlow);
  Result result = reader.Open(kHandheldOpenRead);
  if (result == kErrHandheldDbMissing) return kOk;
  if (result != kOk) return result;
  result = reader.ReadAllRecords();
  if (result == kOk) {
    result = walkRecords(reader, [](CPDatabase& side, CPRecord& x) { return side.FirstRecord(x); },
                         [this](CPRecord& x) {
                           if (x.IsDeleted() || !tooLongForDesktop(x)) return kOk;
                           return Guarded([&] {
                             tooLongOnHandheld_.push_back(x);
                             return kOk;
                           });
                         });
  }
  const Result closed = reader.Close(true);
  return result != kOk ? result : closed;
}

Result Synchronizer::restoreTooLongHandheldRecords() {
  for (CPRecord& x : tooLongOnHandheld_) {
    // A new id: the database made anew may have given the old one to another memo.
    x.SetId(0);
    const Result added = remote_->AddCleanRecord(x);
    if (added != kOk) {
      log_.logAddFailed(added, x, SyncLog::kHandheld);
      return added;
    }
  }
  tooLongOnHandheld_.clear();
  return kOk;
}

// ---------------------------------------------------------------- archives

Result Synchronizer::archiveRecord(CPRecord& record) {
  ArchiveDatabaseManager* archive = nullptr;
  const Result found = archiveManagerFor(record.Category(), &archive);
  if (found != kOk) return found;
  const std::int32_t index = record.Index();
  const std::uint32_t status = record.Status();
  const Result added = archive->AddRecord(record);
  record.SetIndex(index);
  record.SetStatus(status);
  return added;
}

CPCategoryTable* Synchronizer::archiveCategoryTable() {
  if (remote_ && remote_->CategoryTable() != nullptr) return remote_->CategoryTable();
  if (!local_) return nullptr;
  // The overwrite modes load no category table; the app info block they copy
  // names the same categories on both sides.
  if (local_->CategoryTable() == nullptr && local_->UsesCategories()) local_->LoadCategories();
  return local_->CategoryTable();
}

Result Synchronizer::archiveManagerFor(std::int32_t category, ArchiveDatabaseManager** archive) {
  if (archive == nullptr) return kErrNullArgument;
  std::int32_t slot = 0;
  std::string baseName = properties_.localFileName;
  if (capabilities_ & kCapCategories) {
    if (category < 0 || category >= kCategoryCount) return kErrRecordCategoryIndex;
    slot = category;
    if (archiveSlots_[slot] == nullptr) {
      const CPCategoryTable* table = archiveCategoryTable();
      const CPCategory* named = table != nullptr ? table->At(category) : nullptr;
      if (named == nullptr && category != 0 && table != nullptr) named = table->At(0);
      // Without a category to name it, the record goes to the database's own archive
      // rather than failing every HotSync that archives it.
      if (named != nullptr && named->FileName()[0] != '\0') baseName = named->FileName();
    }
  }
  if (archiveSlots_[slot] == nullptr) {
    // Categories whose names give the same file share one manager: two would each
    // write the file whole, the later over the earlier's records.
    const std::string path = CPDesktopDatabase::WithExtension(
        CPDesktopDatabase::ComposePath(properties_.localDirectory, baseName.c_str()),
        ArchiveDatabaseManager::kExtension);
    for (const auto& open : archives_) {
      if (open->Path() == path) archiveSlots_[slot] = open.get();
    }
    if (archiveSlots_[slot] == nullptr) {
      const Result created = createArchive(baseName.c_str(), &archiveSlots_[slot]);
      if (created != kOk) return created;
    }
  }
  *archive = archiveSlots_[slot];
  return kOk;
}

Result Synchronizer::createArchive(const char* baseName, ArchiveDatabaseManager** archive) {
  std::unique_ptr<ArchiveDatabaseManager> made(new (std::nothrow) ArchiveDatabaseManager(
      &log_, capabilities_, descriptor_.name, baseName, properties_.localDirectory));
  if (!made) return kErrOutOfMemory;
  Result result = made->OpenForSyncType();
  if (result != kOk) return result;
  std::int32_t count = 0;
  made->RecordCount(count);
  if (count == 0) {
    made->SetDatabaseInfo(descriptor_.name, descriptor_.flags, descriptor_.type, descriptor_.creator,
                          descriptor_.version, descriptor_.modificationNumber,
                          descriptor_.creationDate, descriptor_.modificationDate,
                          descriptor_.backupDate);
  }
  result = Guarded([&] {
    archives_.push_back(std::move(made));
    return kOk;
  });
  if (result != kOk) return result;
  *archive = archives_.back().get();
  return kOk;
}

Result Synchronizer::closeArchives() {
  Result first = kOk;
  for (const auto& archive : archives_) {
    const Result finished = archive->FinishSync();
    if (first == kOk) first = finished;
  }
  dropArchives();
  return first;
}

void Synchronizer::dropArchives() {
  archiveSlots_.fill(nullptr);
  archives_.clear();
}

// ---------------------------------------------------------------- record ids

bool Synchronizer::takeIdFromList(std::uint32_t id) {
  auto& index = desktopIds_.index;
  auto at = std::lower_bound(index.begin(), index.end(), std::make_pair(id, std::int32_t{-1}));
  for (; at != index.end() && at->first == id; ++at) {
    std::uint32_t& entry = desktopIds_.ids[static_cast<std::size_t>(at->second)];
    if (entry == id) {
      entry = kNoRecordId;
      return true;
    }
  }
  return false;
}

Result Synchronizer::reconcileRecordIds() {
  Result result = remote_->PurgeDeletedRecords();
  if (result != kOk) {
    log_.logPurgeFailed(result, SyncLog::kHandheld);
    return result;
  }
  result = local_->PurgeDeletedRecords();
  if (result != kOk) {
    log_.logPurgeFailed(result, SyncLog::kDesktop);
    return result;
  }
  std::int32_t remoteCount = 0;
  std::int32_t localCount = 0;
  result = remote_->RecordCount(remoteCount);
  if (result == kOk) result = local_->RecordCount(localCount);
  if (result != kOk) return result;
  if (remoteCount == localCount && forceIdCheck_ == 0) return kOk;

  std::vector<std::uint32_t> handheldIds;
  result = Guarded([&] {
    handheldIds.assign(static_cast<std::size_t>(remoteCount) + 1, 0);
    desktopIds_.ids.assign(static_cast<std::size_t>(localCount) + 1, 0);
    return kOk;
  });
  if (result != kOk) return result;
  std::int32_t count = remoteCount + 1;
  result = remote_->ListRecordIds(handheldIds.data(), count);
  if (result != kOk) return result;
  handheldIds.resize(static_cast<std::size_t>(count));
  count = localCount + 1;
  result = local_->ListRecordIds(desktopIds_.ids.data(), count);
  if (result != kOk) return result;
  desktopIds_.ids.resize(static_cast<std::size_t>(count));
  result = Guarded([&] {
    desktopIds_.index.clear();
    desktopIds_.index.reserve(desktopIds_.ids.size());
    for (std::size_t i = 0; i < desktopIds_.ids.size(); ++i) {
      desktopIds_.index.emplace_back(desktopIds_.ids[i], static_cast<std::int32_t>(i));
    }
    std::sort(desktopIds_.index.begin(), desktopIds_.index.end());
    return kOk;
  });
  if (result != kOk) return result;

  for (const std::uint32_t id : handheldIds) {
    if (takeIdFromList(id)) continue;
    CPRecord x;
    result = remote_->GetRecordById(id, x);
    if (result == kOk && !tooLongForDesktop(x)) result = local_->AddCleanRecord(x);
    if (result != kOk) return result;
  }
  for (const std::uint32_t id : desktopIds_.ids) {
    if (id == kNoRecordId) continue;
    CPRecord y;
    result = local_->GetRecordById(id, y);
    if (result == kOk) result = addToRemote(y);
    if (result != kOk) return result;
  }
  return kOk;
}

// ---------------------------------------------------------------- application information

Result Synchronizer::synchronizeAppInfo() {
  if (!remote_->UsesAppInfo() || !local_->UsesAppInfo()) return kOk;
  Result result = remote_->LoadCategories();
  if (result == kErrNoCategorySupport) return kOk;
  const bool handheldHasNone = result == kErrNoAppInfoForCategories;
  if (result != kOk && !handheldHasNone) return result;
  result = local_->LoadCategories();
  if (result == kErrNoCategorySupport) return kOk;
  const bool desktopHasNone = result == kErrNoAppInfoForCategories;
  if (result != kOk && !desktopHasNone) return result;
  // A side without an app info block has nothing to merge: it takes the other's.
  if (handheldHasNone || desktopHasNone) {
    if (handheldHasNone && desktopHasNone) return kOk;
    return handheldHasNone ? copyAppInfoToHandheld() : copyAppInfoToDesktop();
  }

  if (remote_->UsesCategories() && local_->UsesCategories()) {
    result = synchronizeCategories();
    if (result != kOk) return result;
  }

  // The application data after the category table: the handheld's wins.
  bool handheldHas = false;
  bool desktopHas = false;
  remote_->HasApplicationData(handheldHas);
  local_->HasApplicationData(desktopHas);
  std::uint32_t handheldLength = 0;
  std::uint32_t desktopLength = 0;
  remote_->ApplicationDataLength(handheldLength);
  local_->ApplicationDataLength(desktopLength);
  const std::uint8_t* handheldData = remote_->ApplicationData();
  const std::uint8_t* desktopData = local_->ApplicationData();
  if (handheldHas) {
    if (!desktopHas || handheldLength != desktopLength ||
        std::memcmp(handheldData, desktopData, handheldLength) != 0) {
      result = local_->SetApplicationData(handheldLength, handheldData);
    }
  } else if (desktopHas) {
    result = remote_->SetApplicationData(desktopLength, desktopData);
  }
  if (result == kOk) result = remote_->StoreCategories();
  if (result == kOk) result = local_->StoreCategories();
  return result;
}

Result Synchronizer::copyAppInfo(CPDatabase& from, CPDatabase& to) {
  if (!from.UsesAppInfo() || !to.UsesAppInfo()) return kOk;
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow) std::uint8_t[kAppInfoBufferSize]);
  if (!buffer) return kErrOutOfMemory;
  DbBlockInfo info;
  info.bufferSize = static_cast<std::uint16_t>(kAppInfoBufferSize);
  info.data = buffer.get();
  const Result read = from.GetAppInfo(info);
  // A database without the block leaves nothing to copy.
  if (read == kErrNoAppInfo || read == kSyncErrNotFound) return kOk;
  if (read != kOk) return read;
  // The copy leaves both sides in step, so no category stays marked changed on either:
  // a side with such a mark keeps, and gives back, a category that the other side
  // deletes after this HotSync. The source is rewritten only when it held marks.
  const bool marked = from.UsesCategories() && to.UsesCategories() &&
                      info.bytesRead >= kCategoryTableSize && (info.data[0] != 0 || info.data[1] != 0);
  if (marked) {
    info.data[0] = 0;
    info.data[1] = 0;
  }
  const Result copied = to.SetAppInfo(info);
  if (copied != kOk || !marked) return copied;
  return from.SetAppInfo(info);
}

Result Synchronizer::copyAppInfoToDesktop() { return copyAppInfo(*remote_, *local_); }

Result Synchronizer::copyAppInfoToHandheld() { return copyAppInfo(*local_, *remote_); }

// ---------------------------------------------------------------- categories

Result Synchronizer::synchronizeCategories() {
  if ((capabilities_ & kCapCategories) == 0) return kOk;
  CPCategoryTable* handheld = remote_->CategoryTable();
  CPCategoryTable* desktop = local_->CategoryTable();
  if (handheld == nullptr || desktop == nullptr || handheld->Equals(*desktop)) return kOk;

  // The desktop's categories are matched off a working copy; the handheld's table
  // is changed in place and finally copied over the desktop's.
  Result result = Guarded([&] {
    desktopWork_.reset(new CPCategoryTable);
    for (CPCategory* c = desktop->First(); c != nullptr; c = desktop->Next()) {
      const Result set = desktopWork_->SetAt(c->Index(), *c);
      if (set != kOk) return set;
    }
    return kOk;
  });
  if (result == kOk) result = prepareFirstSyncCategories();
  if (result == kOk) result = dropVanishedCategories(*desktopWork_, *handheld, SyncLog::kDesktop);
  if (result == kOk) result = dropVanishedCategories(*handheld, *desktopWork_, SyncLog::kHandheld);
  if (result == kOk) result = matchCategories();
  if (result == kOk) result = placeLocalCategories();
  if (result == kOk && remapUsed_) result = local_->RemapCategories(remap_);
  desktopWork_.reset();
  if (result != kOk) return result;

  desktop->DeleteAll();
  for (CPCategory* c = handheld->First(); c != nullptr; c = handheld->Next()) {
    result = desktop->SetAt(c->Index(), *c);
    if (result != kOk) return result;
  }
  desktop->SetDirty(true);
  return kOk;
}

Result Synchronizer::prepareFirstSyncCategories() {
  const bool slow = syncType_ == kSyncSlow;
  switch (properties_.firstSync) {
    case kFirstSyncNewDesktop:
      remote_->CategoryTable()->MarkAllChanged();
      break;
    case kFirstSyncNewHandheld:
      desktopWork_->MarkAllChanged();
      if (slow) remote_->CategoryTable()->MarkAllChanged();
      break;
    default:
      if (slow) remote_->CategoryTable()->MarkAllChanged();
      break;
  }
  return kOk;
}

Result Synchronizer::dropVanishedCategories(CPCategoryTable& first, const CPCategoryTable& second,
                                            std::int32_t side) {
  if (properties_.firstSync == kFirstSyncNewHandheld) return kOk;
  CPDatabase& records = side == SyncLog::kHandheld ? static_cast<CPDatabase&>(*remote_)
                                                   : static_cast<CPDatabase&>(*local_);
  const std::int32_t otherSide = side == SyncLog::kHandheld ? SyncLog::kDesktop : SyncLog::kHandheld;
  for (std::int32_t index = 0; index < kCategoryCount; ++index) {
    const CPCategory* c = first.At(index);
    if (c == nullptr || c->IsChanged()) continue;
    if (second.FindByName(c->Name()) != nullptr || second.FindById(c->Id()) != nullptr) continue;
    const Result moved = records.DeleteRecordsOfCategory(index, true);
    if (moved != kOk) return moved;
    log_.logCategoryDeleted(NameOf(*c), otherSide);
    first.DeleteAt(index);
  }
  return kOk;
}

Result Synchronizer::matchCategories() {
  CPCategoryTable& handheld = *remote_->CategoryTable();
  CPCategoryTable& desktop = *desktopWork_;
  for (std::int32_t index = 0; index < kCategoryCount; ++index) {
    CPCategory* h = handheld.At(index);
    if (h == nullptr) continue;
    const CPCategory* p = desktop.FindByName(h->Name());
    const CPCategory* e = desktop.FindById(h->Id());
    const std::int32_t pIndex = p != nullptr ? p->Index() : -1;
    const std::int32_t eIndex = e != nullptr ? e->Index() : -1;

    if (p != nullptr && pIndex == index) {
      // Same name at the same index: with another id, the desktop category with
      // the handheld's id holds records of this category too.
      Result result = kOk;
      if (p->Id() != h->Id() && e != nullptr) {
        result = local_->ChangeCategory(eIndex, index);
        if (result == kOk) {
          desktop.DeleteAt(eIndex);
        } else {
          log_.logMoveFailed(NameOf(*e), SyncLog::kDesktop);
        }
      }
      desktop.DeleteAt(pIndex);
      if (result != kOk) return result;
    } else if (p != nullptr) {
      // Same name at another index: the desktop's records follow the handheld.
      setRemapFromPair(pIndex, index);
      if (e != nullptr && eIndex != pIndex) {
        setRemap(eIndex, index);
        desktop.DeleteAt(eIndex);
      }
      desktop.DeleteAt(pIndex);
    } else if (e != nullptr) {
      // Same id, another name: renamed on one side; a rename on the desktop alone wins.
      if (!h->IsChanged() && e->IsChanged()) {
        h->SetName(e->Name());
        char fileName[kCategoryFileNameMax + 1];
        std::uint32_t size = sizeof fileName;
        if (handheld.MakeFileName(h->Name(), fileName, size) == kOk) h->SetFileName(fileName);
        handheld.SetDirty(true);
      }
      if (eIndex != index) setRemap(eIndex, index);
      desktop.DeleteAt(eIndex);
    } else {
      // New on the handheld; when a category before it has the same name, the two
      // become one.
      const CPCategory* g = handheld.FindByName(h->Name());
      if (g != nullptr && g->Index() < index) {
        const Result moved = remote_->ChangeCategory(index, g->Index());
        if (moved != kOk) return moved;
        handheld.DeleteAt(index);
      }
    }
  }
  return kOk;
}

Result Synchronizer::placeLocalCategories() {
  CPCategoryTable& handheld = *remote_->CategoryTable();
  CPCategoryTable& desktop = *desktopWork_;
  for (std::int32_t index = 0; index < kCategoryCount; ++index) {
    const CPCategory* c = desktop.At(index);
    if (c == nullptr) continue;
    const std::int32_t free = handheld.FirstFreeIndex();
    if (free == -1) {
      const std::string name = NameOf(*c);
      log_.logCategoryLimit(name.c_str(), SyncLog::kDesktop);
      const Result moved = local_->DeleteRecordsOfCategory(index, true);
      if (moved != kOk) return moved;
      desktop.DeleteAt(index);
      log_.logCategoryDeleted(name.c_str(), SyncLog::kDesktop);
      continue;
    }
    CPCategory placed(*c);
    placed.SetIndex(free);
    // An id the handheld already uses would refuse the category; it takes a new one.
    if (handheld.FindById(placed.Id()) != nullptr) placed.SetId(handheld.NextDesktopId());
    const Result added = handheld.AddAndMarkDirty(placed);
    if (added != kOk) return added;
    setRemap(index, free);
    desktop.DeleteAt(index);
  }
  return kOk;
}

Result Synchronizer::setRemap(std::int32_t oldIndex, std::int32_t newIndex) {
  if (oldIndex < 0 || oldIndex >= kRemapEntries) return kErrRecordCategoryIndex;
  remap_[oldIndex] = newIndex;
  remapUsed_ = true;
  return kOk;
}

Result Synchronizer::setRemapFromPair(std::int32_t localIndex, std::int32_t remoteIndex) {
  return setRemap(localIndex, remoteIndex);
}

}  // namespace tallimor
