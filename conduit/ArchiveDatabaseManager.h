// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// ArchiveDatabaseManager: a file of archived records (records deleted during a
// HotSync with a copy kept on the desktop), one per category ("Business.ARC") or
// one for the database (record.ARC). The records already archived are read when it
// is opened; those archived in this HotSync are added, and the whole file is
// written back when the synchronization of the database ends.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>

#include "conduit/CPDesktopDatabase.h"

namespace tallimor {

class ArchiveDatabaseManager : public CPDesktopDatabase {
 public:
  // The extension of archive files.
  static constexpr const char* kExtension = ".ARC";

  // The archive `baseName` (a category's file-name form, or the desktop file name)
  // with its extension replaced by .ARC, in `directory`; sync type 0.
  ArchiveDatabaseManager(SyncLog* log, std::uint32_t capabilityFlags, const char* databaseName,
                         const char* baseName, const char* directory);

  // The operations that differ from CPDesktopDatabase, in slot order.

  ~ArchiveDatabaseManager() override;
  // 3: creates the archive when it did not exist when the manager was made;
  // otherwise opens and reads it (an archive that cannot be opened is no error).
  Result OpenForSyncType() override;
  // 21: adds a copy of the record, unless the archive holds an equal one (same id,
  // category, private flag and bytes) already: a HotSync done again after one that
  // failed archives the same memos again, and each must stand in its archive once.
  Result AddRecord(CPRecord& record) override;
  // 30: once: reads the archived records from the file.
  Result ReadForSync() override;
  // 31: writes the file with every record held, then closes it; the first error is
  // returned and reported to the sync log. An archive that could be read only in
  // part is never written over (its unread records would be lost).
  Result FinishSync() override;

  // Whether the archive file existed when the manager was made (cleared when the
  // synchronization finishes and the file is written anew).
  bool FileExists() const { return fileExists_; }

 private:
  // The key of a record as AddRecord compares it.
  static std::string KeyOf(const CPRecord& record);

  bool fileExists_;        // see FileExists()
  std::unordered_set<std::string> held_;  // keys of the records held
  Result readResult_ = 0;  // result of reading the existing archive
};

}  // namespace tallimor
