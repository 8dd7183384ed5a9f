// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPDesktopDatabase: opening the desktop record file by sync type, reading it once,
// the record and block operations the synchronizer uses, and writing the file back
// over the shared format code. Every write replaces the file whole, so the file on
// disk is always either the one read or the complete new one.
#include "conduit/CPDesktopDatabase.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "conduit/SyncLog.h"
#include "store/CPCategoryTable.h"
#include "store/FileSystem.h"

namespace tallimor {
namespace {

constexpr std::int32_t kLastCategoryIndex = kCategoryCount - 1;

bool IsCategoryIndex(std::int32_t index) { return index >= 0 && index <= kLastCategoryIndex; }

// The Sync Manager's view of a block: name, used length, reserved word and data.
Result GetBlock(const InfoBlock* block, Result missing, DbBlockInfo& info) {
  if (block == nullptr) return missing;
  const std::uint32_t used = block->Used();
  if (info.bufferSize < used) {
    info.bytesRead = static_cast<std::uint16_t>(std::min<std::uint32_t>(used, UINT16_MAX));
    return kErrBufferTooSmall;
  }
  if (info.data == nullptr) return kErrNullArgument;
  const std::string name = block->Name();
  std::memset(info.name, 0, sizeof info.name);
  std::memcpy(info.name, name.data(), std::min(name.size(), sizeof info.name - 1));
  info.bytesRead = static_cast<std::uint16_t>(used);
  info.reserved = block->Reserved();
  if (used > 0) std::memcpy(info.data, block->Data(), used);
  return kOk;
}

// A block holding exactly the given bytes: capacity = used = info.bytesRead.
Result SetBlock(const DbBlockInfo& info, std::unique_ptr<InfoBlock>& block) {
  if (info.bytesRead > 0 && info.data == nullptr) return kErrNullArgument;
  // The name field need not be NUL-terminated; SetName reads at most 31 bytes.
  std::unique_ptr<InfoBlock> fresh = InfoBlock::Create(info.bytesRead, info.name);
  if (!fresh) return kErrOutOfMemory;
  if (info.bytesRead > 0) std::memcpy(fresh->Data(), info.data, info.bytesRead);
  fresh->SetUsed(info.bytesRead);
  fresh->SetReserved(info.reserved);
  block = std::move(fresh);
  return kOk;
}

// Copies everything readable from `from` to `to`. kErrReadFailed / kErrWrite.
Result CopyDescriptor(int from, int to) {
  std::vector<std::uint8_t> buffer(kRecordBufferSize);
  for (;;) {
    const ssize_t got = ::read(from, buffer.data(), buffer.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return kErrReadFailed;
    if (got == 0) return kOk;
    if (FileSystem::Default()->WriteAll(to, buffer.data(), static_cast<std::size_t>(got)) != kOk) {
      return kErrWrite;
    }
  }
}

}  // namespace

CPDesktopDatabase::CPDesktopDatabase() : CPDatabase(0, kSyncDoNothing) {}

CPDesktopDatabase::CPDesktopDatabase(SyncLog* log, std::uint32_t capabilityFlags,
                                     const char* databaseName, const char* fileName,
                                     const char* directory, std::int32_t syncType)
    : CPDatabase(capabilityFlags, syncType),
      log_(log),
      path_(ComposePath(directory, fileName)),
      name_(databaseName != nullptr ? std::string(databaseName, strnlen(databaseName, kDatabaseNameSize - 1))
                                    : std::string()) {}

CPDesktopDatabase::~CPDesktopDatabase() { CPDesktopDatabase::CloseHandle(); }

std::string CPDesktopDatabase::ComposePath(const char* directory, const char* fileName) {
  const std::string file = fileName != nullptr ? fileName : "";
  if (directory == nullptr || *directory == '\0') return file;
  std::string path = directory;
  if (path.back() != '/') path += '/';
  path += file.empty() ? kDefaultFileName : file;
  return path;
}

std::string CPDesktopDatabase::WithExtension(const std::string& path, const char* extension) {
  const std::size_t dot = path.rfind('.');
  const std::size_t slash = path.rfind('/');
  const bool inFileName = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (inFileName ? path.substr(0, dot) : path) + (extension != nullptr ? extension : "");
}

bool CPDesktopDatabase::PathExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

// ---------------------------------------------------------------- opening

Result CPDesktopDatabase::Open(std::int32_t mode) {
  CloseHandle();
  LockedFile::Mode how;
  switch (mode) {
    case kOpenRead:
      how = LockedFile::Mode::kReadExisting;
      break;
    case kOpenWrite:
      how = LockedFile::Mode::kReadWriteExisting;
      break;
    case kOpenReadWrite:
    case kOpenCreate:
      how = LockedFile::Mode::kReadWriteOrCreate;
      break;
    default:
      return kErrOpenFailed;
  }
  const bool existed = PathExists(path_);
  if (file_.Open(path_, how) != kOk) return kErrOpenFailed;
  writable_ = mode != kOpenRead;
  emptyOnWrite_ = mode == kOpenCreate;
  createdByOpen_ = !existed;
  return kOk;
}

Result CPDesktopDatabase::OpenForSyncType() {
  switch (SyncType()) {
    case kSyncFast:
    case kSyncSlow:
      if (firstPhase_) {
        const Result opened = OpenWaitingForHolder(kOpenRead);
        // Only a file that is not there is missing: one that another program holds
        // is not, and taking it for missing would overwrite it with the handheld's.
        if (opened == kErrOpenFailed && !PathExists(path_)) return kErrDesktopFileMissing;
        return opened;
      }
      dirty_ = true;
      return Open(kOpenCreate);
    case kSyncHandheldToDesktop:
    case kSyncHandheldToDesktopKeepFlags:
      dirty_ = true;
      return OpenWaitingForHolder(kOpenCreate);
    case kSyncDesktopToHandheld:
      if (firstPhase_) return OpenWaitingForHolder(kOpenRead);
      dirty_ = true;
      return Open(kOpenCreate);
    case kSyncDesktopToHandheld4:
    case kSyncDesktopToHandheld7:
      return Open(kOpenRead);
    case kSyncDoNothing:
      return kOk;
    default:
      return kErrUnknownSyncType;
  }
}

Result CPDesktopDatabase::OpenWaitingForHolder(std::int32_t mode) {
  // A desktop program saves in a moment; it is given that moment before the HotSync
  // gives up on a file that another program holds.
  constexpr int kAttempts = 150;
  constexpr std::chrono::milliseconds kPause(20);
  Result opened = Open(mode);
  for (int attempt = 1; opened == kErrOpenFailed && attempt < kAttempts && PathExists(path_); ++attempt) {
    std::this_thread::sleep_for(kPause);
    opened = Open(mode);
  }
  return opened;
}

Result CPDesktopDatabase::Close(bool) {
  const Result result = CloseHandle();
  if (result != kOk && log_ != nullptr) log_->logCloseFailed(result, SyncLog::kDesktop);
  return result;
}

Result CPDesktopDatabase::CloseHandle() {
  // A file that Open made for a write that never came would pass for an empty
  // database next time (a fast synchronization would then find the desktop
  // "present" but without the handheld's unchanged records); take it away again.
  if (createdByOpen_ && file_.IsOpen()) {
    struct stat st {};
    if (::fstat(file_.Descriptor(), &st) == 0 && st.st_size == 0) FileSystem::Default()->Remove(path_);
  }
  file_.Close();
  writable_ = false;
  emptyOnWrite_ = false;
  createdByOpen_ = false;
  return kOk;
}

// ---------------------------------------------------------------- records

Result CPDesktopDatabase::RecordCount(std::int32_t& count) {
  count = StoredRecordCount();
  return kOk;
}

Result CPDesktopDatabase::GetRecordById(std::uint32_t id, CPRecord& record) {
  const std::int32_t slot = FindSlotById(id);
  if (EditRecordAt(slot, [](CPRecord& stored) { stored.SetPendingMark(false); }) != kOk) {
    return kErrNoMatch;
  }
  return record.Assign(*RecordAt(slot));
}

template <typename Select, typename Change>
bool CPDesktopDatabase::ChangeRecords(Select select, Change change) {
  bool any = false;
  for (std::int32_t slot = 0; slot < HighWaterMark(); ++slot) {
    const CPRecord* stored = RecordAt(slot);
    if (stored == nullptr || !select(*stored)) continue;
    EditRecordAt(slot, change);
    any = true;
  }
  return any;
}

template <typename Select>
void CPDesktopDatabase::RemoveRecords(Select select) {
  for (std::int32_t slot = 0; slot < HighWaterMark(); ++slot) {
    const CPRecord* stored = RecordAt(slot);
    if (stored != nullptr && select(*stored)) TakeRecordAt(slot);
  }
}

Result CPDesktopDatabase::DeleteRecordsOfCategory(std::int32_t index, bool move) {
  if (!IsCategoryIndex(index)) return kErrRecordCategoryIndex;
  if (move) return ChangeCategory(index, 0);
  RemoveRecords([index](const CPRecord& r) { return r.Category() == index; });
  dirty_ = true;
  return kOk;
}

Result CPDesktopDatabase::ChangeCategory(std::int32_t from, std::int32_t to) {
  if (!IsCategoryIndex(from) || !IsCategoryIndex(to)) return kErrRecordCategoryIndex;
  ChangeRecords([from](const CPRecord& r) { return r.Category() == from; },
                [to](CPRecord& r) {
                  r.SetCategory(to);
                  r.SetModified(true);
                });
  dirty_ = true;
  return kOk;
}

Result CPDesktopDatabase::AddRecord(CPRecord& record) {
  const Result result = CPDatabase::AddRecord(record);
  if (result == kOk) dirty_ = true;
  return result;
}

Result CPDesktopDatabase::ReplaceAt(std::int32_t slot, const CPRecord& record) {
  Result copied = kOk;
  const Result found = EditRecordAt(slot, [&](CPRecord& stored) {
    copied = stored.Assign(record);
    stored.SetIndex(slot);
    stored.ClearStatusAndMarks();
  });
  if (found != kOk) return found;
  dirty_ = true;
  return copied;
}

Result CPDesktopDatabase::ModifyRecordById(CPRecord& record) {
  return ReplaceAt(FindSlotById(record.Id()), record);
}

Result CPDesktopDatabase::DeleteRecord(CPRecord& record) {
  const std::int32_t slot = record.Id() != 0 ? FindSlotById(record.Id()) : record.Index();
  if (!TakeRecordAt(slot)) return kErrRecordNotFound;
  dirty_ = true;
  return kOk;
}

Result CPDesktopDatabase::ModifyRecordAtIndex(std::int32_t index, CPRecord& record) {
  return ReplaceAt(index, record);
}

Result CPDesktopDatabase::FindFirstNewRecord(CPRecord& record) {
  for (std::int32_t slot = 0; slot < HighWaterMark(); ++slot) {
    const CPRecord* stored = RecordAt(slot);
    if (stored != nullptr && stored->IsNew()) return record.Assign(*stored);
  }
  return kErrNoMatch;
}

Result CPDesktopDatabase::PurgeDeletedRecords() {
  RemoveRecords([](const CPRecord& r) { return r.IsDeleted(); });
  dirty_ = true;
  return kOk;
}

Result CPDesktopDatabase::RemapCategories(const std::int32_t* table) {
  if (table == nullptr) return kErrNullArgument;
  for (std::int32_t i = 0; i < kCategoryCount; ++i) {
    if (table[i] != -1 && !IsCategoryIndex(table[i])) return kErrRecordCategoryIndex;
  }
  ChangeRecords(
      [table](const CPRecord& r) { return IsCategoryIndex(r.Category()) && table[r.Category()] != -1; },
      [table](CPRecord& r) {
        r.SetCategory(table[r.Category()]);
        r.SetModified(true);
      });
  dirty_ = true;
  return kOk;
}

void CPDesktopDatabase::ClearAllStatus() {
  if (ChangeRecords([](const CPRecord& r) { return r.HasAnyStatus(); },
                    [](CPRecord& r) { r.ClearStatusAndMarks(); })) {
    dirty_ = true;
  }
}

Result CPDesktopDatabase::NextRecordAny(CPRecord& record) {
  return ScanNext(RecordFilter::kAny, record);
}

Result CPDesktopDatabase::NextRecordWithStatus(CPRecord& record) {
  return ScanNext(RecordFilter::kAnyStatus, record);
}

Result CPDesktopDatabase::NextPendingRecord(CPRecord& record) {
  return ScanNext(RecordFilter::kPending, record);
}

Result CPDesktopDatabase::NextRecordInCategory(CPRecord& record) {
  return ScanNext(RecordFilter::kInCategory, record);
}

Result CPDesktopDatabase::NextChangedRecordInCategory(CPRecord& record) {
  return ScanNext(RecordFilter::kChangedInCategory, record);
}

Result CPDesktopDatabase::AddRecordFromImage(const std::uint8_t* image, std::uint32_t length) {
  CPRecord record;
  const Result result = RecordFromImage(image, length, record);
  if (result != kOk) return result;
  return AddReadRecord(record);
}

Result CPDesktopDatabase::AddReadRecord(CPRecord& record) {
  // A slow synchronization walks, after the handheld's records, the desktop records
  // that no handheld record claimed; GetRecordById takes the mark off the claimed.
  if (SyncType() == kSyncSlow) record.SetPendingMark(true);
  return AddRecord(record);
}

Result CPDesktopDatabase::RecordFromImage(const std::uint8_t* image, std::uint32_t length,
                                          CPRecord& record) {
  return DecodeRecordImage(image, length, record);
}

Result CPDesktopDatabase::RecordToImage(const CPRecord& record, std::uint8_t* buffer,
                                        std::uint32_t capacity, std::uint32_t& length,
                                        bool leaveFlagsZero) {
  return EncodeRecordImage(record,
                           leaveFlagsZero ? StoredFlagsPolicy::kZero : StoredFlagsPolicy::kFromRecord,
                           buffer, capacity, length);
}

// ---------------------------------------------------------------- synchronization

bool CPDesktopDatabase::TakeFirstRead() {
  if (readDone_) return false;
  readDone_ = true;
  return true;
}

Result CPDesktopDatabase::ReadForSync() {
  if (!TakeFirstRead()) return kOk;
  switch (SyncType()) {
    case kSyncFast:
    case kSyncSlow: {
      const Result result = ReadFile();
      return result == kErrFileNotOpen ? kErrDesktopFileMissing : result;
    }
    case kSyncDesktopToHandheld:
    case kSyncDesktopToHandheld4:
    case kSyncDesktopToHandheld7:
      return ReadFile();
    default:
      return kOk;  // the desktop side starts empty
  }
}

Result CPDesktopDatabase::FinishSync() {
  firstPhase_ = false;
  ClearAllStatus();
  Result result = kOk;
  switch (SyncType()) {
    case kSyncFast:
    case kSyncSlow:
    case kSyncHandheldToDesktop:
    case kSyncDesktopToHandheld:
    case kSyncHandheldToDesktopKeepFlags:
      result = WriteFile();
      break;
    default:
      break;
  }
  CloseHandle();
  if (result != kOk && log_ != nullptr) log_->logSaveFailed(result);
  return result;
}

// ---------------------------------------------------------------- the file

bool CPDesktopDatabase::IsDirty() const { return dirty_; }
void CPDesktopDatabase::SetDirty(bool dirty) { dirty_ = dirty; }

Result CPDesktopDatabase::ReadFile() {
  dirty_ = false;
  if (path_.empty()) return kErrNoFileName;
  if (!file_.IsOpen()) return kErrFileNotOpen;
  Result result = kOk;
  if (emptyOnWrite_) {
    // Opened to be emptied: it reads as the empty file it is about to become.
    appInfo_.reset();
    sortInfo_.reset();
    result = MakeDefaultHeader();
  } else {
    RecordFileContents contents;
    result = ReadRecordFile(file_.Descriptor(), contents,
                            [this](std::unique_ptr<CPRecord> record) { return AddReadRecord(*record); });
    header_ = std::move(contents.header);
    appInfo_ = std::move(contents.appInfo);
    sortInfo_ = std::move(contents.sortInfo);
  }
  // The file stays open, and so locked, until it is written or the manager goes:
  // no other program may replace it between this read and the HotSync's write.
  if (result != kOk) CloseHandle();
  dirty_ = false;
  return result;
}

Result CPDesktopDatabase::ReplaceContents(const std::function<Result(int fd)>& write) {
  const Result result = file_.Replace(write);
  if (result == kOk) {
    createdByOpen_ = false;
    return kOk;
  }
  return result == kErrOutOfMemory || result == kErrFileChanged ? result : kErrWrite;
}

Result CPDesktopDatabase::WriteFile() {
  const CPCategoryTable* table = CategoryTable();
  if (!dirty_ && !(table != nullptr && table->IsDirty())) return kOk;
  // The file held since it was read is replaced as it is; otherwise it is opened now.
  const bool held = file_.IsOpen() && !firstPhase_;
  if (!held && (OpenForSyncType() != kOk || !file_.IsOpen() || !writable_)) {
    CloseHandle();
    return kErrWrite;
  }
  Result result = kOk;
  if (!header_) {
    // Nothing to describe the database: an emptied file stays empty.
    if (emptyOnWrite_) result = ReplaceContents([](int) { return kOk; });
    CloseHandle();
    return result;
  }
  // No status is left once a synchronization has finished, but the private flag is
  // kept: written as 0 it would make every private memo public at the next HotSync
  // that copies the desktop's version, and unequal to its handheld counterpart.
  result = ReplaceContents([&](int fd) { return WriteContents(fd, StoredFlagsPolicy::kPrivateOnly); });
  CloseHandle();
  if (result == kOk) dirty_ = false;
  return result;
}

Result CPDesktopDatabase::WriteContents(int fd, StoredFlagsPolicy policy) {
  std::int32_t next = 0;
  const RecordSource source = [this, &next]() -> const CPRecord* {
    while (next < HighWaterMark()) {
      const CPRecord* record = RecordAt(next++);
      if (record != nullptr) return record;
    }
    return nullptr;
  };
  return WriteRecordFile(fd, *header_, appInfo_.get(), sortInfo_.get(), StoredRecordCount(), source,
                         policy);
}

Result CPDesktopDatabase::WriteCopy(const std::string& path, StoredFlagsPolicy policy) {
  if (!header_) return kErrWrite;
  const bool existed = PathExists(path);
  if (!existed) return WriteNewFile(path, policy);
  LockedFile copy;
  if (copy.Open(path, LockedFile::Mode::kReadWriteOrCreate) != kOk) return kErrWrite;
  const Result written = copy.Replace([&](int fd) { return WriteContents(fd, policy); });
  copy.Close();
  if (written != kOk && !existed) FileSystem::Default()->Remove(path);
  return written == kOk ? kOk : (written == kErrOutOfMemory ? kErrOutOfMemory : kErrWrite);
}

Result CPDesktopDatabase::WriteOver(CPDesktopDatabase& target, StoredFlagsPolicy policy) {
  if (!header_) return kErrWrite;
  if (!target.file_.IsOpen()) return kErrFileNotOpen;
  const Result written = target.ReplaceContents([&](int fd) { return WriteContents(fd, policy); });
  target.CloseHandle();
  return written;
}

Result CPDesktopDatabase::WriteNewFile(const std::string& path, StoredFlagsPolicy policy) {
  // Written whole beside its name and then renamed into place, so that a writer killed
  // half way leaves no empty or partial file under the name (only a temporary, which
  // the next writer clears away), and held locked until it stands there.
  FileSystem::ReplaceOptions options;
  options.separator = ".";
  options.mode = 0600;
  options.lockRequired = true;
  const Result result =
      FileSystem::Default()->ReplaceWith(path, [&](int fd) { return WriteContents(fd, policy); }, options, nullptr);
  return result == kErrOutOfMemory ? kErrOutOfMemory : (result == kOk ? kOk : kErrWrite);
}

void CPDesktopDatabase::SetCommitMark(std::uint32_t mark) {
  if (!header_) return;
  header_->backupDate = mark;
  dirty_ = true;
}

bool CPDesktopDatabase::CopyFile(const std::string& source, const std::string& destination,
                                 bool failIfExists) {
  return CopyWhole(source, destination, failIfExists);
}

bool CPDesktopDatabase::CopyWhole(const std::string& source, const std::string& destination,
                                  bool failIfExists) {
  LockedFile from;
  if (from.Open(source, LockedFile::Mode::kReadExisting) != kOk) return false;
  const bool existed = PathExists(destination);
  if (existed && failIfExists) return false;
  LockedFile to;
  if (to.Open(destination, LockedFile::Mode::kReadWriteOrCreate) != kOk) return false;
  const Result copied = to.Replace([&](int fd) { return CopyDescriptor(from.Descriptor(), fd); });
  // An empty stand-in made only to be replaced must not outlive a failed copy.
  if (copied != kOk && !existed) FileSystem::Default()->Remove(destination);
  return copied == kOk;
}

Result CPDesktopDatabase::MakeDefaultHeader() {
  header_.reset(new (std::nothrow) RecordFileHeader);
  return header_ ? kOk : kErrOutOfMemory;
}

void CPDesktopDatabase::ReleaseAll() {
  CloseHandle();
  DestroyAllRecords();
  header_.reset();
  appInfo_.reset();
  sortInfo_.reset();
}

// ---------------------------------------------------------------- blocks

Result CPDesktopDatabase::GetSortInfo(DbBlockInfo& info) {
  return GetBlock(sortInfo_.get(), kErrNoSortInfo, info);
}

Result CPDesktopDatabase::SetSortInfo(const DbBlockInfo& info) {
  const Result result = SetBlock(info, sortInfo_);
  if (result == kOk) dirty_ = true;
  return result;
}

Result CPDesktopDatabase::GetAppInfo(DbBlockInfo& info) {
  return GetBlock(appInfo_.get(), kErrNoAppInfo, info);
}

Result CPDesktopDatabase::SetAppInfo(const DbBlockInfo& info) {
  const Result result = SetBlock(info, appInfo_);
  if (result == kOk) dirty_ = true;
  return result;
}

std::uint32_t CPDesktopDatabase::ApplicationDataOffset() const {
  return UsesCategories() ? kCategoryTableSize : 0;
}

Result CPDesktopDatabase::HasApplicationData(bool& has) {
  has = appInfo_ != nullptr && appInfo_->Used() > ApplicationDataOffset();
  return kOk;
}

Result CPDesktopDatabase::EnsureAppInfoCapacity(std::uint32_t length) {
  if (!appInfo_) {
    appInfo_ = InfoBlock::Create(length, nullptr);
    return appInfo_ ? kOk : kErrOutOfMemory;
  }
  if (appInfo_->Capacity() >= length) return kOk;
  return appInfo_->Resize(length);
}

Result CPDesktopDatabase::SetApplicationData(std::uint32_t length, const std::uint8_t* bytes) {
  if (length > 0 && bytes == nullptr) return kErrNullArgument;
  const std::uint32_t offset = ApplicationDataOffset();
  // The block must still fit the buffers the app info crosses to the handheld in.
  if (length > kRecordBufferSize - offset) return kErrTooLong;
  const Result grown = EnsureAppInfoCapacity(offset + length);
  if (grown != kOk) return grown;
  std::memset(appInfo_->Data() + offset, 0, appInfo_->Capacity() - offset);
  if (length > 0) std::memcpy(appInfo_->Data() + offset, bytes, length);
  appInfo_->SetUsed(offset + length);
  dirty_ = true;
  return kOk;
}

std::uint8_t* CPDesktopDatabase::ApplicationData() {
  const std::uint32_t offset = ApplicationDataOffset();
  if (!appInfo_ || appInfo_->Capacity() <= offset) return nullptr;
  return appInfo_->Data() + offset;
}

Result CPDesktopDatabase::ApplicationDataLength(std::uint32_t& length) {
  const std::uint32_t offset = ApplicationDataOffset();
  length = appInfo_ && appInfo_->Used() > offset ? appInfo_->Used() - offset : 0;
  return kOk;
}

Result CPDesktopDatabase::SetDatabaseInfo(const char* name, std::uint16_t flags, std::uint32_t type,
                                          std::uint32_t creator, std::uint16_t version,
                                          std::uint32_t modificationNumber,
                                          std::uint32_t creationDate,
                                          std::uint32_t modificationDate,
                                          std::uint32_t backupDate) {
  std::unique_ptr<RecordFileHeader> header(new (std::nothrow) RecordFileHeader);
  if (!header) return kErrOutOfMemory;
  header->version = 1;
  if (name != nullptr) std::memcpy(header->name, name, strnlen(name, kDatabaseNameSize - 1));
  header->flags = flags;
  header->type = type;
  header->creator = creator;
  header->dbVersion = version;
  header->modNumber = modificationNumber;
  header->createDate = creationDate;
  header->modDate = modificationDate;
  header->backupDate = backupDate;
  header_ = std::move(header);
  dirty_ = true;
  return kOk;
}

// ---------------------------------------------------------------- categories

Result CPDesktopDatabase::LoadCategories() {
  if (!UsesAppInfo()) return kOk;
  const Result read = ReadForSync();
  if (read != kOk) return read;
  return BuildCategoryTable();
}

Result CPDesktopDatabase::StoreCategories() { return StoreCategoryTable(); }

Result CPDesktopDatabase::BuildCategoryTable() {
  if (!UsesCategories()) return kOk;
  SetCategoryTable(nullptr);
  if (!appInfo_ || appInfo_->Used() == 0) return kErrNoAppInfoForCategories;
  std::unique_ptr<CPCategoryTable> table(new (std::nothrow) CPCategoryTable);
  if (!table) return kErrOutOfMemory;
  const Result result = table->Load(appInfo_->Data(), appInfo_->Used());
  if (result == kErrCategoryTableShort) return result;
  SetCategoryTable(std::move(table));
  return result;
}

Result CPDesktopDatabase::StoreCategoryTable() {
  const CPCategoryTable* table = CategoryTable();
  if (!UsesCategories() || table == nullptr || !table->IsDirty()) return kOk;
  dirty_ = true;
  if (!appInfo_) {
    appInfo_ = InfoBlock::Create(kCategoryTableSize, name_.c_str());
    if (!appInfo_) return kErrOutOfMemory;
  } else if (appInfo_->Capacity() < kCategoryTableSize) {
    const Result grown = appInfo_->Resize(kCategoryTableSize);
    if (grown != kOk) return grown;
  }
  std::uint32_t size = appInfo_->Capacity();
  const Result result = table->Store(appInfo_->Data(), size);
  if (result != kOk) return result;
  // The changed-categories word stays as the table wrote it (0): the handheld has
  // taken the changes over by now.
  if (appInfo_->Used() < size) appInfo_->SetUsed(size);
  return kOk;
}

}  // namespace tallimor
