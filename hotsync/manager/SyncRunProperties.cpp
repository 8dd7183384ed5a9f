// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Builds the sync properties field by field; every text is copied with its length
// checked against the record's field, never cut silently.
#include "hotsync/manager/SyncRunProperties.h"

#include <cstring>

namespace tallimor {

bool SyncRunProperties::Build(std::int32_t syncType, const std::string& conduitDirectory,
                              std::int32_t firstSync, std::string* error) {
  record_ = SyncPropertiesRecord{};
  if (conduitDirectory.size() >= sizeof record_.localDirectory ||
      conduitDirectory.find('\0') != std::string::npos) {
    *error = "the user's conduit directory " + conduitDirectory + " is longer than " +
             std::to_string(sizeof record_.localDirectory - 1) + " bytes";
    return false;
  }
  record_.syncType = syncType;
  std::memcpy(record_.localDirectory, conduitDirectory.data(), conduitDirectory.size());
  std::memcpy(record_.localFileName, kDesktopFileName, std::strlen(kDesktopFileName));
  std::memcpy(databaseName_, kDatabaseName, std::strlen(kDatabaseName));
  record_.remoteNames[0] = databaseName_;
  record_.remoteDescriptors = nullptr;
  record_.remoteCount = 1;
  record_.creator = kCreator;
  record_.type = kDatabaseType;
  record_.firstSync = firstSync;
  return true;
}

}  // namespace tallimor
