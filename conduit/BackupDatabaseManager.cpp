// BackupDatabaseManager: reading the backup copy in slow synchronization and
// replacing it with the freshly written desktop file when the synchronization ends.
#include "conduit/BackupDatabaseManager.h"

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
  return ReadForSync();
}

Result BackupDatabaseManager::Close(bool) { return CloseHandle(); }

Result BackupDatabaseManager::ReadForSync() {
  if (!TakeFirstRead() || SyncType() != kSyncSlow) return kOk;
  const Result result = ReadFile();
  return result == kErrFileNotOpen ? kOk : result;
}

Result BackupDatabaseManager::FinishSync() {
  CloseHandle();
  return CopyFile(desktopPath_, Path(), false) ? kOk : kErrBackupFailed;
}

}  // namespace tallimor
