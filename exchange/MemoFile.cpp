// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a record file for tallimor-dump with the store's own reader, keeping the
// records in file order rather than in a slot list; a Palm database file is read with
// the .pdb reader and laid out the same way.
#include "exchange/MemoFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <utility>

#include "hotsync/pdb/PdbReader.h"
#include "store/FileSystem.h"

namespace tallimor {
namespace {

// An info block holding `data` whole, named as the database.
std::unique_ptr<InfoBlock> BlockOf(const std::vector<std::uint8_t>& data, const std::string& name) {
  std::unique_ptr<InfoBlock> block = InfoBlock::Create(static_cast<std::uint32_t>(data.size()), name.c_str());
  if (!block) return nullptr;
  if (!data.empty()) std::memcpy(block->Data(), data.data(), data.size());
  block->SetUsed(static_cast<std::uint32_t>(data.size()));
  return block;
}

// Lays a parsed Palm database out as a record file would carry it.
Result FromPalmDatabase(const PdbFile& pdb, MemoFile& out) {
  auto header = std::make_unique<RecordFileHeader>();
  header->version = 1;
  std::strncpy(header->name, pdb.header.name.c_str(), kDatabaseNameSize - 1);
  header->dbVersion = pdb.header.version;
  header->creator = pdb.header.creator;
  header->type = pdb.header.type;
  header->flags = pdb.header.attributes;
  header->modDate = pdb.header.modificationDate;
  header->modNumber = pdb.header.modificationNumber;
  header->createDate = pdb.header.creationDate;
  header->backupDate = pdb.header.backupDate;
  header->recordCount = static_cast<std::int32_t>(pdb.records.size());
  out.contents.header = std::move(header);
  if (pdb.appInfo && !(out.contents.appInfo = BlockOf(*pdb.appInfo, pdb.header.name))) return kErrOutOfMemory;
  if (pdb.sortInfo && !(out.contents.sortInfo = BlockOf(*pdb.sortInfo, pdb.header.name))) return kErrOutOfMemory;
  for (const PdbRecord& stored : pdb.records) {
    auto record = std::make_unique<CPRecord>();
    if (record->SetData(static_cast<std::uint32_t>(stored.data.size()), stored.data.data()) != kOk) {
      return kErrOutOfMemory;
    }
    record->SetId(stored.uniqueId);
    record->SetCategory(stored.category());
    record->SetDeleted(stored.deleted());
    record->SetArchived(stored.archived());
    record->SetModified(stored.dirty());
    record->SetPrivate(stored.secret());
    out.records.push_back(std::move(record));
  }
  return kOk;
}

Result ReadPalmDatabase(const std::string& path, MemoFile& out) {
  out.kind = MemoFileKind::kPalmDatabase;
  PdbFile pdb;
  std::string error;
  Result result = PdbReader::ReadFile(path, &pdb, &error);
  if (result == kOk && pdb.isResourceDatabase()) {
    error = "a resource database holds no memos";
    result = kErrReadHeader;
  }
  if (result != kOk) {
    out.openError = error;
    return result;
  }
  try {
    result = FromPalmDatabase(pdb, out);
  } catch (const std::bad_alloc&) {
    result = kErrOutOfMemory;
  }
  out.headerRead = result == kOk;
  return result;
}

bool EndsWithIgnoringCase(const std::string& text, const char* suffix) {
  const std::size_t n = std::strlen(suffix);
  return text.size() >= n && strncasecmp(text.c_str() + text.size() - n, suffix, n) == 0;
}

// A file named .pdb is one; otherwise a file whose first word is not the record file's
// header length and whose first bytes parse as a Palm database header with a name. Everything else,
// a damaged record file too, goes to the record file reader, which shows what it can.
bool LooksLikePalmDatabase(const std::string& path, int fd) {
  if (EndsWithIgnoringCase(path, ".pdb")) return true;
  std::uint8_t start[kPdbHeaderSize] = {};
  if (::pread(fd, start, sizeof start, 0) != static_cast<ssize_t>(sizeof start)) return false;
  if (start[0] < 0x20 || (start[0] == kRecordFileHeaderSize && start[1] == 0 && start[2] == 0 && start[3] == 0)) {
    return false;
  }
  PdbHeader header;
  std::string error;
  return PdbReader::ParseHeader(start, sizeof start, &header, &error) == kOk;
}

// Files the records of an archive "<category>.ARC" in that category of the record.dat
// beside it, when there is one (see ReadMemoFile).
void NameArchiveCategory(const std::string& path, MemoFile& out) {
  constexpr char kArchiveSuffix[] = ".ARC";
  if (out.kind != MemoFileKind::kRecordFile || out.hasCategories || !EndsWithIgnoringCase(path, kArchiveSuffix)) {
    return;
  }
  const std::size_t slash = path.rfind('/');
  const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
  const std::string name = path.substr(start, path.size() - start - (sizeof kArchiveSuffix - 1));
  const std::string beside = path.substr(0, start) + "record.dat";
  if (name.empty() || beside == path) return;
  MemoFile record;
  // A record.dat read in part may still hold its whole table; a table that did not
  // load names nothing.
  if (ReadMemoFile(beside, record) == kErrOpenFailed || !record.hasCategories || record.categoryResult != kOk) {
    return;
  }
  for (int index = 0; index < kCategoryCount; ++index) {
    const CPCategory* category = record.categories.At(index);
    if (category != nullptr && name == category->FileName()) {
      const InfoBlock& appInfo = *record.contents.appInfo;
      if (out.categories.Load(appInfo.Data(), appInfo.Used()) != kOk) return;
      out.hasCategories = true;
      out.archiveCategory = index;
      return;
    }
  }
}

}  // namespace

ExchangeMemo MemoFileExchangeMemo(const MemoFile& file, std::size_t i, bool* lossy) {
  const CPCategoryTable* table = file.hasCategories ? &file.categories : nullptr;
  ExchangeMemo memo = MakeExchangeMemo(*file.records[i], file.memos[i], table, lossy);
  if (file.archiveCategory >= 0) memo.category = ExchangeCategoryName(table, file.archiveCategory, lossy);
  return memo;
}

Result ReadMemoFile(const std::string& path, MemoFile& out) {
  const int fd = FileSystem::Default()->OpenRegular(path);
  if (fd < 0) {
    out.openError = OpenFault(errno);
    return kErrOpenFailed;
  }
  const bool recordFile = !LooksLikePalmDatabase(path, fd);
  if (recordFile) {
    out.readResult = ReadRecordFile(fd, out.contents, [&out](std::unique_ptr<CPRecord> record) {
      try {
        out.records.push_back(std::move(record));
      } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
      }
      return kOk;
    });
    out.headerRead = out.contents.header != nullptr && out.readResult != kErrReadHeader;
  }
  ::close(fd);
  if (!recordFile) out.readResult = ReadPalmDatabase(path, out);

  const InfoBlock* appInfo = out.contents.appInfo.get();
  if (appInfo && appInfo->Used() >= kCategoryTableSize) {
    out.hasCategories = true;
    out.categoryResult = out.categories.Load(appInfo->Data(), appInfo->Used());
  }
  if (out.readResult == kOk) NameArchiveCategory(path, out);
  return out.readResult != kOk ? out.readResult : out.categoryResult;
}

}  // namespace tallimor
