// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzzes the parser of the handheld's identity file: any text parses or is refused
// with a reason; what parses formats back to a file that parses the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "hotsync/handheld/Handheld.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tallimor;
  const std::string text(reinterpret_cast<const char*>(data), size);
  HandheldIdentity identity;
  std::string error;
  if (Handheld::ParseIdentity(text, &identity, &error) != kSyncErrNone) {
    if (error.empty()) std::abort();
    return 0;
  }
  HandheldIdentity again;
  if (Handheld::ParseIdentity(Handheld::FormatIdentity(identity), &again, &error) != kSyncErrNone) std::abort();
  if (again.userName != identity.userName || again.userId != identity.userId) std::abort();
  return 0;
}
