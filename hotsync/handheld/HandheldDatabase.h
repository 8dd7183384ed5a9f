// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// One database of the emulated handheld, held in memory while it is open: its
// header, app and sort info, and records (or resources), with the changes a
// handheld makes to them. Nothing reaches the disk until Save, which replaces the
// .pdb file atomically. Results are Sync Manager codes (SyncResults.h).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "hotsync/handheld/RecordTable.h"
#include "hotsync/handheld/SyncResults.h"
#include "hotsync/pdb/PdbFile.h"

namespace tallimor {

class HandheldDatabase {
 public:
  // A new, empty database with this header (the unique id seed starts at 1 when 0).
  explicit HandheldDatabase(PdbHeader header);
  HandheldDatabase(const HandheldDatabase&) = delete;
  HandheldDatabase& operator=(const HandheldDatabase&) = delete;

  // Reads the database in `path`. kSyncErrNotFound when there is no such file,
  // kSyncErrCorruptDatabase (with *error) when it cannot be read. Records whose
  // unique id is 0 or repeats an earlier one get fresh ids, as an install does.
  static Result Load(const std::string& path, std::unique_ptr<HandheldDatabase>* out, std::string* error);

  // Makes a database from an already parsed file (same renumbering as Load).
  static std::unique_ptr<HandheldDatabase> FromFile(PdbFile file);

  // Writes the database to `path` atomically (kSyncErrStorage on failure). When
  // anything changed since it was loaded, first bumps the modification number and
  // stamps the modification date with `nowPalm` (Palm epoch seconds).
  Result Save(const std::string& path, std::uint32_t nowPalm, std::string* error);

  // The whole database as a file image, e.g. for export.
  PdbFile ToFile() const;

  const PdbHeader& header() const { return header_; }
  PdbHeader& mutableHeader() { changed_ = true; return header_; }
  bool isResourceDatabase() const { return (header_.attributes & kPdbAttrResourceDb) != 0; }
  // True once anything differs from what was loaded (always for a new database).
  bool changed() const { return changed_; }

  // Records or resources, by kind of database.
  std::size_t count() const { return isResourceDatabase() ? resources_.size() : records_.size(); }

  // --- Records (record databases) ---
  const PdbRecord* RecordAt(std::size_t index) const { return records_.At(index); }
  std::optional<std::size_t> IndexOfId(std::uint32_t id) const { return records_.IndexOfId(id); }

  // Writes a record as the Sync Manager does. Unique id 0, or one that does not fit
  // in 24 bits, makes a new record with a fresh id from the seed; an id in use
  // replaces that record in place; any other id makes a new record that keeps it.
  // New records go at the end. Fills *id and *index. kSyncErrDatabaseFull at
  // 65,535 records, kSyncErrTooLarge above 65,520 bytes.
  Result WriteRecord(PdbRecord record, std::uint32_t* id, std::size_t* index);
  // Removes the record with this id entirely (kSyncErrNotFound when absent).
  Result DeleteRecord(std::uint32_t id);
  // Removes every record that is deleted or archived; returns how many.
  std::size_t PurgeDeleted();
  // Removes every live record of a category; returns how many.
  std::size_t PurgeCategory(int category);
  // Moves every live record of category `from` to `to`; returns how many.
  std::size_t ChangeCategory(int from, int to);
  // Clears every dirty bit and drops deleted and archived records, as the end of a
  // HotSync leaves a handheld; also clears the header's app-info-dirty bit.
  void ResetSyncFlags();
  // A fresh unique id: not 0, not in use, at most 24 bits; advances the seed.
  std::uint32_t NewUniqueId();

  template <typename Visitor>
  void ForEachRecord(Visitor visit) const { records_.ForEach(visit); }

  // --- Resources (resource databases) ---
  const PdbResource* ResourceAt(std::size_t index) const;
  // Replaces the resource of that type and id, or appends it; fills *index.
  Result WriteResource(PdbResource resource, std::size_t* index);
  Result DeleteResource(std::uint32_t type, std::uint16_t id);

  // --- App info and sort info blocks (absent = std::nullopt) ---
  const std::optional<std::vector<std::uint8_t>>& appInfo() const { return appInfo_; }
  const std::optional<std::vector<std::uint8_t>>& sortInfo() const { return sortInfo_; }
  // Replaces a block; an empty block removes it. kSyncErrTooLarge above 65,520 bytes.
  Result SetAppInfo(std::vector<std::uint8_t> block);
  Result SetSortInfo(std::vector<std::uint8_t> block);

 private:
  static std::uint64_t ResourceKey(std::uint32_t type, std::uint16_t id) { return (std::uint64_t(type) << 16) | id; }
  void IndexResources();

  PdbHeader header_;
  std::optional<std::vector<std::uint8_t>> appInfo_;
  std::optional<std::vector<std::uint8_t>> sortInfo_;
  RecordTable records_;
  std::vector<PdbResource> resources_;
  std::unordered_map<std::uint64_t, std::size_t> resourceIndex_;  // (type, id) -> position
  bool changed_ = true;
};

}  // namespace tallimor
