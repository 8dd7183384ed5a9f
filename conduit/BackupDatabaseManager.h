// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// BackupDatabaseManager: the copy of the desktop record file that the conduit keeps
// beside it (record.BAK for record.dat). A slow synchronization reads it to tell
// whether a handheld record changed since the last HotSync; at the end of every
// synchronization it is replaced, whole and at once, by a copy of the desktop file
// just written. Everything else is CPDesktopDatabase's.
#pragma once

#include <cstdint>
#include <string>

#include "conduit/CPDesktopDatabase.h"

namespace tallimor {

class BackupDatabaseManager : public CPDesktopDatabase {
 public:
  // The extension of the backup copy.
  static constexpr const char* kExtension = ".BAK";
  // Added to the name of a backup copy that could not be read when it is set aside.
  static constexpr const char* kDamagedSuffix = ".damaged";

  // Built from the same arguments as the desktop file's manager: the backup of
  // the desktop file that those arguments name, in the same directory.
  BackupDatabaseManager(SyncLog* log, std::uint32_t capabilityFlags, const char* databaseName,
                        const char* fileName, const char* directory, std::int32_t syncType);

  // The operations that differ from CPDesktopDatabase, in slot order.

  ~BackupDatabaseManager() override;
  // 3: in slow synchronization, when the backup exists: opens and reads it. A
  // backup that cannot be opened is no error (nothing is read); one that cannot be
  // read is set aside (renamed with kDamagedSuffix, logged) and the HotSync goes on
  // without it; every other case opens nothing and returns 0.
  Result OpenForSyncType() override;
  // 4: closes the file.
  Result Close(bool flag) override;
  // 30: once: reads the records in slow synchronization (a backup that was not
  // opened reads as none); other sync types read nothing.
  Result ReadForSync() override;
  // 31: closes the file and replaces the backup by a copy of the desktop file.
  // kErrBackupFailed when the copy fails (the old backup then stays as it was).
  Result FinishSync() override;

  // The desktop file that this is the backup of.
  const std::string& DesktopPath() const { return desktopPath_; }

 private:
  // Moves the unreadable backup copy out of the way and logs why.
  void SetAside(Result why);

  std::string desktopPath_;  // as the desktop file's manager composes it
};

}  // namespace tallimor
