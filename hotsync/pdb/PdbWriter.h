// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a PdbFile as a standard Palm database file that other tools and handhelds
// read: header, entry list, two pad bytes, app info, sort info, then the data.
// Files are replaced atomically, so a database on disk is never half-written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hotsync/pdb/PdbFile.h"
#include "store/ResultCodes.h"

namespace tallimor {

class PdbWriter {
 public:
  // Lays `file` out as bytes in *out. Refuses (kErrTooLong, with *error) a name of
  // more than 31 bytes or with a NUL in it, more than 65,535 entries, a block above
  // 65,535 bytes, a unique id above 24 bits, records in a resource database or
  // resources in a record database (kErrNotSupported).
  static Result Serialize(const PdbFile& file, std::vector<std::uint8_t>* out, std::string* error);

  // Serializes and writes `file` to `path` atomically (kErrWrite on I/O failure).
  static Result WriteFile(const std::string& path, const PdbFile& file, std::string* error);
};

}  // namespace tallimor
