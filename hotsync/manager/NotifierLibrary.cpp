// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Loads libTallimorN.so from the program's directory, the build tree or the installed
// library directory, and passes the HotSync events to it.
#include "hotsync/manager/NotifierLibrary.h"

#include "hotsync/manager/LibraryDirectories.h"

namespace tallimor {

bool NotifierLibrary::Load(std::string* error) {
  bool named = false;
  const std::string path =
      SharedLibrary::Locate({kFileName, kVariable, NotifierDirectories()}, &named);
  if (path.empty()) return true;  // none installed
  if (!library_.Load(path, error)) return false;
  notify_ = reinterpret_cast<NotifyFn>(library_.Symbol("HS_Notify"));
  if (notify_ == nullptr) {
    if (error != nullptr) *error = path + ": no HS_Notify in it";
    return false;
  }
  return true;
}

std::int32_t NotifierLibrary::Notify(std::int32_t event, std::uint32_t value) const {
  return notify_ == nullptr ? 1 : notify_(event, value);
}

}  // namespace tallimor
