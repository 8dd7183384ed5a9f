// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Loads the conduit and resolves its exports; a conduit missing any of them is refused
// as a whole, so that no HotSync ever starts with half a conduit.
#include "hotsync/manager/ConduitLibrary.h"

#include "hotsync/manager/LibraryDirectories.h"

namespace tallimor {
namespace {

template <typename Fn>
bool Resolve(const SharedLibrary& library, const char* name, Fn* fn, std::string* error) {
  *fn = reinterpret_cast<Fn>(library.Symbol(name));
  if (*fn != nullptr) return true;
  if (error != nullptr) *error = library.path() + ": the conduit has no export " + name;
  return false;
}

}  // namespace

bool ConduitLibrary::Load(std::string* error) {
  bool named = false;
  const std::string path =
      SharedLibrary::Locate({kFileName, kVariable, ConduitDirectories()}, &named);
  if (path.empty()) {
    if (error != nullptr) {
      *error = named ? std::string(kVariable) + " is set empty: no conduit to run"
                     : std::string("the conduit ") + kFileName + " is not installed";
    }
    return false;
  }
  if (!library_.Load(path, error)) return false;
  return Resolve(library_, "OpenConduit", &open_, error) &&
         Resolve(library_, "GetConduitName", &name_, error) &&
         Resolve(library_, "GetConduitVersion", &version_, error) &&
         Resolve(library_, "GetConduitInfo", &info_, error) &&
         Resolve(library_, "ConfigureConduit", &configure_, error) &&
         Resolve(library_, "CfgConduit", &cfg_, error);
}

std::string ConduitLibrary::Name() const {
  char name[256] = {};
  if (name_(name, sizeof name) != 0) return {};
  return name;
}

std::int32_t ConduitLibrary::Configure(ConduitConfigRecord* record) const {
  std::uint32_t size = sizeof(ConduitConfigRecord);
  return cfg_(kConduitConfigureAction, record, &size);
}

}  // namespace tallimor
