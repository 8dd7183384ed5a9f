// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a standard Palm database file (record or resource database) into a PdbFile.
// The bytes are never trusted: every count, offset and length is checked against
// the file before use, and a damaged file is refused with a description of the fault.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "hotsync/pdb/PdbFile.h"
#include "store/ResultCodes.h"

namespace tallimor {

class PdbReader {
 public:
  // Files larger than this are refused before anything is read: no database a
  // handheld can hold comes near it.
  static constexpr std::size_t kMaxFileSize = 256u * 1024u * 1024u;

  // Parses a whole file image into *out. Returns kOk, or kErrReadHeader (header),
  // kErrReadRecordHeader (record or resource list, record data), kErrReadAppInfo or
  // kErrReadSortInfo, with a one-line description of the fault in *error.
  static Result Parse(const std::uint8_t* bytes, std::size_t size, PdbFile* out, std::string* error);

  // Parses only the 78-byte header (kErrReadHeader when it is short or damaged).
  static Result ParseHeader(const std::uint8_t* bytes, std::size_t size, PdbHeader* out, std::string* error);

  // Reads only the header of the file at `path` (kErrOpenFailed, kErrReadHeader).
  static Result ReadHeader(const std::string& path, PdbHeader* out, std::string* error);

  // Reads and parses the file at `path`. Also kErrOpenFailed (cannot open; *error
  // names the system's reason), kErrReadFailed (read error or file too large).
  static Result ReadFile(const std::string& path, PdbFile* out, std::string* error);
};

}  // namespace tallimor
