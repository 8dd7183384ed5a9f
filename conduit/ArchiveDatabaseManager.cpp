// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// ArchiveDatabaseManager: opening (creating or reading) an archive file and writing
// it back whole when the synchronization ends.
#include "conduit/ArchiveDatabaseManager.h"

#include <new>

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

std::string ArchiveDatabaseManager::KeyOf(const CPRecord& record) {
  std::string key(9, '\0');
  const std::uint32_t id = record.Id();
  for (int i = 0; i < 4; ++i) key[static_cast<std::size_t>(i)] = static_cast<char>(id >> (8 * i));
  key[4] = static_cast<char>(record.Category());
  key[5] = record.IsPrivate() ? '\1' : '\0';
  if (record.DataLength() > 0) key.append(reinterpret_cast<const char*>(record.Data()), record.DataLength());
  return key;
}

Result ArchiveDatabaseManager::AddRecord(CPRecord& record) {
  std::string key;
  try {
    key = KeyOf(record);
    if (held_.count(key) != 0) return kOk;
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  const Result added = CPDesktopDatabase::AddRecord(record);
  if (added != kOk) return added;
  try {
    held_.insert(std::move(key));
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
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
