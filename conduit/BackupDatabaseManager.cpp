// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// BackupDatabaseManager: reading the backup copy in slow synchronization and
// replacing it with the freshly written desktop file when the synchronization ends.
#include "conduit/BackupDatabaseManager.h"

#include <cstdio>
#include <string>

#include "conduit/ConduitStrings.h"
#include "conduit/SyncLog.h"
#include "conduit/WsprintfA.h"
#include "store/FileSystem.h"

namespace tallimor {

BackupDatabaseManager::BackupDatabaseManager(SyncLog* log, std::uint32_t capabilityFlags,
                                             const char* databaseName, const char* fileName,
                                             const char* directory, std::int32_t syncType)
    : CPDesktopDatabase(log, capabilityFlags, databaseName, fileName, directory, syncType),
      desktopPath_(Path()) {
  SetPath(WithExtension(desktopPath_, kExtension));
}

BackupDatabaseManager::~BackupDatabaseManager() = default;

Result BackupDatabaseManager::OpenForSyncType() {
  if (SyncType() != kSyncSlow || !PathExists(Path())) return kOk;
  const Result opened = Open(kOpenRead);
  if (opened == kErrOpenFailed) return kOk;  // then every handheld record counts as changed
  if (opened != kOk) return opened;
  const Result read = ReadForSync();
  if (read == kOk) return kOk;
  // A damaged copy would fail every slow HotSync, and a failed HotSync makes the next
  // one slow: it is set aside under a name that says so, and the HotSync goes on as
  // without a backup, every handheld record counting as changed.
  ReleaseAll();
  SetAside(read);
  return kOk;
}

void BackupDatabaseManager::SetAside(Result why) {
  std::string aside;
  for (int n = 1; n < 1000; ++n) {
    aside = Path() + kDamagedSuffix + (n == 1 ? std::string() : "-" + std::to_string(n));
    if (!PathExists(aside)) break;
  }
  FileSystem* fs = FileSystem::Default();
  const bool moved = fs->Rename(Path(), aside) == 0;
  if (moved) fs->SyncDirectoryOf(aside);
  if (Log() == nullptr) return;
  char entry[SyncLog::kFormatSize];
  FormatWsprintfA(entry, sizeof entry, Log()->loadMessage(kStrBackupSetAside),
                  {Path(), ResultMeaning(why), moved ? aside : std::string("(not moved)")});
  Log()->logText(entry);
}

Result BackupDatabaseManager::Close(bool) { return CloseHandle(); }

Result BackupDatabaseManager::ReadForSync() {
  if (!TakeFirstRead() || SyncType() != kSyncSlow) return kOk;
  const Result result = ReadFile();
  CloseHandle();  // only read: nothing is written to it until the copy that ends the HotSync
  return result == kErrFileNotOpen ? kOk : result;
}

Result BackupDatabaseManager::FinishSync() {
  CloseHandle();
  return CopyFile(desktopPath_, Path(), false) ? kOk : kErrBackupFailed;
}

}  // namespace tallimor
