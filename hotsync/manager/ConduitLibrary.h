// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The conduit as the HotSync program loads and calls it: libTallimorC.so, found like
// the notifier, with all six of its exports looked up by name.
#pragma once

#include <cstdint>
#include <string>

#include "hotsync/plugin/ConduitInterface.h"
#include "hotsync/manager/SharedLibrary.h"

namespace tallimor {

class ConduitLibrary {
 public:
  // The library's file name and the variable that names it outright.
  static constexpr const char* kFileName = "libTallimorC.so";
  static constexpr const char* kVariable = "TALLIMOR_CONDUIT";

  ConduitLibrary() = default;
  ConduitLibrary(const ConduitLibrary&) = delete;
  ConduitLibrary& operator=(const ConduitLibrary&) = delete;

  // Finds and loads the conduit. False with *error when it is not installed, cannot
  // be loaded, or lacks one of the six exports.
  bool Load(std::string* error);
  const std::string& path() const { return library_.path(); }

  // The conduit's name ("" when it gives none) and version (major in the high byte).
  std::string Name() const;
  std::int32_t Version() const { return version_(); }

  // The exports, as the HotSync manager calls them. REQUIRES: Load succeeded.
  std::int32_t Open(ConduitProgressFn progress, SyncPropertiesRecord* properties) const {
    return open_(progress, properties);
  }
  std::int32_t Configure(ConduitConfigRecord* record) const;

 private:
  SharedLibrary library_;
  OpenConduitFn open_ = nullptr;
  GetConduitNameFn name_ = nullptr;
  GetConduitVersionFn version_ = nullptr;
  GetConduitInfoFn info_ = nullptr;
  ConfigureConduitFn configure_ = nullptr;
  CfgConduitFn cfg_ = nullptr;
};

}  // namespace tallimor
