// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The contents of a standard Palm database file (.pdb / .prc) held in memory: the
// header, the application and sort information blocks, and either records or
// resources. PdbReader fills one from bytes, PdbWriter turns one into bytes; the
// emulated handheld keeps each open database as one of these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tallimor {

// Seconds between the handheld's epoch (1904-01-01) and the Unix epoch.
inline constexpr std::uint32_t kPalmEpochOffset = 2082844800u;

// Handheld time stamps are unsigned seconds since 1904; 0 means "never".
std::uint32_t PalmTimeFromUnix(std::int64_t unixSeconds);
std::int64_t UnixTimeFromPalm(std::uint32_t palmSeconds);

// Four-character codes (creator, type) as the 32-bit big-endian values the
// header stores, and back. FourCc("Tlmr") == 0x546C6D72.
constexpr std::uint32_t FourCc(const char (&code)[5]) {
  return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
         (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}
std::string FourCcText(std::uint32_t code);

// Limits of the format and of the handheld's storage.
inline constexpr std::size_t kPdbHeaderSize = 78;
inline constexpr std::size_t kPdbMaxNameLength = 31;       // plus the terminating NUL
inline constexpr std::size_t kPdbMaxEntries = 65535;       // the header's 16-bit count
inline constexpr std::size_t kPdbMaxBlockSize = 65535;     // one storage chunk
inline constexpr std::uint32_t kPdbMaxUniqueId = 0xFFFFFF; // unique ids are 24 bits

// Database attribute bits of the header.
inline constexpr std::uint16_t kPdbAttrResourceDb = 0x0001;
inline constexpr std::uint16_t kPdbAttrReadOnly = 0x0002;
inline constexpr std::uint16_t kPdbAttrAppInfoDirty = 0x0004;
inline constexpr std::uint16_t kPdbAttrBackup = 0x0008;

// Record attribute byte. The low four bits hold the category, except on a deleted
// or busy record, where the category is gone and bit 0x08 says "archive".
inline constexpr std::uint8_t kPdbRecDelete = 0x80;
inline constexpr std::uint8_t kPdbRecDirty = 0x40;
inline constexpr std::uint8_t kPdbRecBusy = 0x20;
inline constexpr std::uint8_t kPdbRecSecret = 0x10;
inline constexpr std::uint8_t kPdbRecArchive = 0x08;
inline constexpr std::uint8_t kPdbRecCategoryMask = 0x0F;

struct PdbHeader {
  std::string name;                      // at most 31 bytes, stored NUL-padded in 32
  std::uint16_t attributes = 0;          // kPdbAttr* bits
  std::uint16_t version = 0;
  std::uint32_t creationDate = 0;        // Palm epoch seconds
  std::uint32_t modificationDate = 0;
  std::uint32_t backupDate = 0;
  std::uint32_t modificationNumber = 0;
  std::uint32_t type = 0;
  std::uint32_t creator = 0;
  std::uint32_t uniqueIdSeed = 0;
};

// One record of a record database. `attributes` is the byte as stored.
struct PdbRecord {
  std::uint8_t attributes = 0;
  std::uint32_t uniqueId = 0;            // 24 bits
  std::vector<std::uint8_t> data;

  bool deleted() const { return (attributes & kPdbRecDelete) != 0; }
  bool dirty() const { return (attributes & kPdbRecDirty) != 0; }
  bool busy() const { return (attributes & kPdbRecBusy) != 0; }
  bool secret() const { return (attributes & kPdbRecSecret) != 0; }
  // The category survives only while the record is neither deleted nor busy.
  bool hasCategory() const { return (attributes & (kPdbRecDelete | kPdbRecBusy)) == 0; }
  int category() const { return hasCategory() ? (attributes & kPdbRecCategoryMask) : 0; }
  bool archived() const { return !hasCategory() && (attributes & kPdbRecArchive) != 0; }

  // Builds a stored attribute byte. An archived record is a deleted one whose data
  // is kept, so archive implies delete; the category is dropped on deleted/busy ones.
  static std::uint8_t MakeAttributes(bool isDeleted, bool isDirty, bool isBusy, bool isSecret,
                                     bool isArchived, int categoryIndex);
};

// One resource of a resource database.
struct PdbResource {
  std::uint32_t type = 0;
  std::uint16_t id = 0;
  std::vector<std::uint8_t> data;
};

struct PdbFile {
  PdbHeader header;
  std::optional<std::vector<std::uint8_t>> appInfo;   // absent when the offset is 0
  std::optional<std::vector<std::uint8_t>> sortInfo;
  std::vector<PdbRecord> records;                     // record databases
  std::vector<PdbResource> resources;                 // resource databases

  bool isResourceDatabase() const { return (header.attributes & kPdbAttrResourceDb) != 0; }
};

}  // namespace tallimor
