// ArchiveDatabaseManager: opening (creating or reading) an archive file and writing
// it back whole when the synchronization ends.
#include "conduit/ArchiveDatabaseManager.h"

#include "conduit/SyncLog.h"

namespace tallimor {

ArchiveDatabaseManager::ArchiveDatabaseManager(SyncLog* log, std::uint32_t capabilityFlags,
                                               const char* databaseName, const char* baseName,
                                               const char* directory)
    : CPDesktopDatabase(log, capabilityFlags, databaseName, baseName, directory, kSyncFast) {
  SetPath(WithExtension(Path(), kExtension));
  fileExists_ = PathExists(Path());
}

ArchiveDatabaseManager::~ArchiveDatabaseManager() = default;

Result ArchiveDatabaseManager::OpenForSyncType() {
  if (!fileExists_) return Open(kOpenCreate);
  const Result opened = Open(kOpenRead);
  if (opened == kErrOpenFailed) return kOk;
  if (opened != kOk) return opened;
  return ReadForSync();
}

Result ArchiveDatabaseManager::ReadForSync() {
  if (!TakeFirstRead()) return kOk;
  readResult_ = ReadFile();
  return readResult_;
}

Result ArchiveDatabaseManager::FinishSync() {
  Result result = readResult_;
  if (result == kOk) {
    // With the flag clear, WriteFile's open for the sync type creates the file anew.
    fileExists_ = false;
    result = WriteFile();
  }
  const Result closed = CloseHandle();
  if (result == kOk) result = closed;
  if (result != kOk && Log() != nullptr) Log()->logSaveFailed(result);
  return result;
}

}  // namespace tallimor
