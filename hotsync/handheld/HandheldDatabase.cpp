// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The in-memory database of the emulated handheld: unique id assignment, record
// and resource writes, purges and flag resets, and the atomic save to its .pdb.
#include "hotsync/handheld/HandheldDatabase.h"

#include <sys/stat.h>

#include <cerrno>
#include <unordered_set>
#include <utility>

#include "hotsync/pdb/PdbReader.h"
#include "hotsync/pdb/PdbWriter.h"

namespace tallimor {

HandheldDatabase::HandheldDatabase(PdbHeader header) : header_(std::move(header)) {
  if (header_.uniqueIdSeed == 0) header_.uniqueIdSeed = 1;
}

std::unique_ptr<HandheldDatabase> HandheldDatabase::FromFile(PdbFile file) {
  auto db = std::make_unique<HandheldDatabase>(std::move(file.header));
  db->appInfo_ = std::move(file.appInfo);
  db->sortInfo_ = std::move(file.sortInfo);
  if (db->isResourceDatabase()) {
    db->resources_ = std::move(file.resources);
    db->IndexResources();
  } else {
    // Unique ids must be unique and non-zero; a file from elsewhere may break that,
    // and the offending records are numbered afresh after the good ids are known.
    std::unordered_set<std::uint32_t> seen;
    seen.reserve(file.records.size());
    std::vector<std::size_t> renumber;
    for (std::size_t i = 0; i < file.records.size(); ++i) {
      const std::uint32_t id = file.records[i].uniqueId;
      if (id == 0 || !seen.insert(id).second) renumber.push_back(i);
    }
    if (!renumber.empty()) {
      std::uint32_t next = db->header_.uniqueIdSeed;
      for (std::size_t i : renumber) {
        while (next == 0 || next > kPdbMaxUniqueId || seen.count(next)) next = (next >= kPdbMaxUniqueId) ? 1 : next + 1;
        file.records[i].uniqueId = next;
        seen.insert(next);
      }
      db->header_.uniqueIdSeed = next;
    }
    db->records_.Assign(std::move(file.records));
  }
  db->changed_ = false;
  return db;
}

Result HandheldDatabase::Load(const std::string& path, std::unique_ptr<HandheldDatabase>* out, std::string* error) {
  if (out == nullptr) return kSyncErrBadArgument;
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return kSyncErrNotFound;
  PdbFile file;
  const Result read = PdbReader::ReadFile(path, &file, error);
  if (read != kOk) return kSyncErrCorruptDatabase;
  *out = FromFile(std::move(file));
  return kSyncErrNone;
}

PdbFile HandheldDatabase::ToFile() const {
  PdbFile file;
  file.header = header_;
  file.appInfo = appInfo_;
  file.sortInfo = sortInfo_;
  if (isResourceDatabase()) {
    file.resources = resources_;
  } else {
    file.records.reserve(records_.size());
    records_.ForEach([&](const PdbRecord& r) { file.records.push_back(r); });
  }
  return file;
}

Result HandheldDatabase::Save(const std::string& path, std::uint32_t nowPalm, std::string* error) {
  if (changed_) {
    ++header_.modificationNumber;
    header_.modificationDate = nowPalm;
  }
  if (PdbWriter::WriteFile(path, ToFile(), error) != kOk) return kSyncErrStorage;
  changed_ = false;
  return kSyncErrNone;
}

std::uint32_t HandheldDatabase::NewUniqueId() {
  // At most 65,535 ids are in use, so the walk ends within 65,536 steps.
  std::uint32_t id = header_.uniqueIdSeed;
  while (id == 0 || id > kPdbMaxUniqueId || records_.ContainsId(id)) id = (id >= kPdbMaxUniqueId) ? 1 : id + 1;
  header_.uniqueIdSeed = (id >= kPdbMaxUniqueId) ? 1 : id + 1;
  changed_ = true;
  return id;
}

Result HandheldDatabase::WriteRecord(PdbRecord record, std::uint32_t* id, std::size_t* index) {
  if (isResourceDatabase()) return kSyncErrWrongDatabaseKind;
  if (record.data.size() > kSyncMaxRecordSize) return kSyncErrTooLarge;
  if (record.uniqueId != 0 && record.uniqueId <= kPdbMaxUniqueId) {
    if (const auto at = records_.IndexOfId(record.uniqueId)) {
      *records_.At(*at) = std::move(record);
      changed_ = true;
      if (id) *id = records_.At(*at)->uniqueId;
      if (index) *index = *at;
      return kSyncErrNone;
    }
  }
  if (records_.size() >= kPdbMaxEntries) return kSyncErrDatabaseFull;
  if (record.uniqueId == 0 || record.uniqueId > kPdbMaxUniqueId) record.uniqueId = NewUniqueId();
  const std::uint32_t assigned = record.uniqueId;
  const std::size_t at = records_.Append(std::move(record));
  changed_ = true;
  if (id) *id = assigned;
  if (index) *index = at;
  return kSyncErrNone;
}

Result HandheldDatabase::DeleteRecord(std::uint32_t id) {
  if (isResourceDatabase()) return kSyncErrWrongDatabaseKind;
  const auto at = records_.IndexOfId(id);
  if (!at) return kSyncErrNotFound;
  records_.RemoveAt(*at);
  changed_ = true;
  return kSyncErrNone;
}

std::size_t HandheldDatabase::PurgeDeleted() {
  const std::size_t removed = records_.RemoveIf([](const PdbRecord& r) { return r.deleted() || r.archived(); });
  if (removed) changed_ = true;
  return removed;
}

std::size_t HandheldDatabase::PurgeCategory(int category) {
  const std::size_t removed =
      records_.RemoveIf([category](const PdbRecord& r) { return r.hasCategory() && r.category() == category; });
  if (removed) changed_ = true;
  return removed;
}

std::size_t HandheldDatabase::ChangeCategory(int from, int to) {
  std::size_t moved = 0;
  records_.ForEachMutable([&](PdbRecord& r) {
    if (r.hasCategory() && r.category() == from) {
      r.attributes = static_cast<std::uint8_t>((r.attributes & ~kPdbRecCategoryMask) | (to & kPdbRecCategoryMask));
      ++moved;
    }
  });
  if (moved) changed_ = true;
  return moved;
}

void HandheldDatabase::ResetSyncFlags() {
  PurgeDeleted();
  records_.ForEachMutable([](PdbRecord& r) { r.attributes = static_cast<std::uint8_t>(r.attributes & ~kPdbRecDirty); });
  header_.attributes = static_cast<std::uint16_t>(header_.attributes & ~kPdbAttrAppInfoDirty);
  changed_ = true;
}

void HandheldDatabase::IndexResources() {
  resourceIndex_.clear();
  for (std::size_t i = 0; i < resources_.size(); ++i) {
    resourceIndex_.emplace(ResourceKey(resources_[i].type, resources_[i].id), i);
  }
}

const PdbResource* HandheldDatabase::ResourceAt(std::size_t index) const {
  return index < resources_.size() ? &resources_[index] : nullptr;
}

Result HandheldDatabase::WriteResource(PdbResource resource, std::size_t* index) {
  if (!isResourceDatabase()) return kSyncErrWrongDatabaseKind;
  if (resource.data.size() > kSyncMaxRecordSize) return kSyncErrTooLarge;
  const auto found = resourceIndex_.find(ResourceKey(resource.type, resource.id));
  std::size_t at;
  if (found != resourceIndex_.end()) {
    at = found->second;
    resources_[at] = std::move(resource);
  } else {
    if (resources_.size() >= kPdbMaxEntries) return kSyncErrDatabaseFull;
    at = resources_.size();
    resourceIndex_.emplace(ResourceKey(resource.type, resource.id), at);
    resources_.push_back(std::move(resource));
  }
  changed_ = true;
  if (index) *index = at;
  return kSyncErrNone;
}

Result HandheldDatabase::DeleteResource(std::uint32_t type, std::uint16_t id) {
  if (!isResourceDatabase()) return kSyncErrWrongDatabaseKind;
  const auto found = resourceIndex_.find(ResourceKey(type, id));
  if (found == resourceIndex_.end()) return kSyncErrNotFound;
  resources_.erase(resources_.begin() + static_cast<std::ptrdiff_t>(found->second));
  IndexResources();  // resource databases are small; a linear re-index is fine
  changed_ = true;
  return kSyncErrNone;
}

Result HandheldDatabase::SetAppInfo(std::vector<std::uint8_t> block) {
  if (block.size() > kSyncMaxRecordSize) return kSyncErrTooLarge;
  if (block.empty()) appInfo_.reset(); else appInfo_ = std::move(block);
  changed_ = true;
  return kSyncErrNone;
}

Result HandheldDatabase::SetSortInfo(std::vector<std::uint8_t> block) {
  if (block.size() > kSyncMaxRecordSize) return kSyncErrTooLarge;
  if (block.empty()) sortInfo_.reset(); else sortInfo_ = std::move(block);
  changed_ = true;
  return kSyncErrNone;
}

}  // namespace tallimor
