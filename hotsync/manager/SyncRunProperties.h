// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The sync properties of one HotSync of the memo database, as the HotSync program
// hands them to the conduit: the action, the conduit's directory of the user and its
// desktop file, and the one handheld database by name, creator and type. The names
// the record points to live here, so the record is valid as long as this object.
#pragma once

#include <cstdint>
#include <string>

#include "hotsync/plugin/SyncProperties.h"

namespace tallimor {

class SyncRunProperties {
 public:
  // The memo database of the handheld and the desktop file of the conduit.
  static constexpr const char* kDatabaseName = "TallimorDB";
  static constexpr std::uint32_t kCreator = 0x546C6D72;       // 'Tlmr'
  static constexpr std::uint32_t kDatabaseType = 0x44415441;  // 'DATA'
  static constexpr const char* kDesktopFileName = "record.dat";

  SyncRunProperties() = default;
  SyncRunProperties(const SyncRunProperties&) = delete;
  SyncRunProperties& operator=(const SyncRunProperties&) = delete;

  // Fills the record for a HotSync of `syncType` with the desktop file in
  // `conduitDirectory` and the first-sync indicator `firstSync` (kFirstSync* or 0).
  // False with *error when the directory is too long for the record.
  bool Build(std::int32_t syncType, const std::string& conduitDirectory, std::int32_t firstSync,
             std::string* error);

  SyncPropertiesRecord* record() { return &record_; }

 private:
  SyncPropertiesRecord record_;
  char databaseName_[32] = {};  // what record_.remoteNames[0] points to
};

}  // namespace tallimor
