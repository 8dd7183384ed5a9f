// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// HandheldDatabaseManager: each database manager operation as Sync Manager calls
// on one open handheld database. Records come in through one raw record image and
// one record buffer; the app info block is cached in one block buffer between the
// category table being built and being stored back.
#include "conduit/HandheldDatabaseManager.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "conduit/SyncLog.h"
#include "hotsync/plugin/SyncTypes.h"
#include "hotsync/handheld/SyncManager.h"
#include "store/CPCategoryTable.h"

namespace tallimor {
namespace {


// A handheld record position: the raw record carries 16 bits of it.
constexpr std::int32_t kMaxRecordPosition = 0xFFFF;

bool IsCategoryIndex(std::int32_t index) { return index >= 0 && index < kCategoryCount; }

// A record the handheld reports with any status: deleted, modified or archived.
bool HasStatusAttributes(const RawRecordInfo& raw) {
  return (raw.attributes & (kRawAttrDeleted | kRawAttrDirty | kRawAttrArchived)) != 0;
}

}  // namespace

HandheldDatabaseManager::HandheldDatabaseManager(SyncLog* log, std::uint32_t capabilityFlags,
                                                 const char* name, std::uint32_t creator,
                                                 std::uint32_t type, std::uint16_t flags,
                                                 std::uint16_t version, std::uint32_t cardNumber,
                                                 std::int32_t syncType)
    : CPDatabase(capabilityFlags, syncType),
      log_(log),
      creator_(creator),
      type_(type),
      flags_(flags),
      version_(version),
      cardNumber_(cardNumber) {
  nameRefused_ = name != nullptr && SetName(name) == kErrTooLong;
}

HandheldDatabaseManager::~HandheldDatabaseManager() = default;

Result HandheldDatabaseManager::RequireOpen() const { return IsOpen() ? kOk : kErrNotOpen; }

// ---------------------------------------------------------------- opening and closing

Result HandheldDatabaseManager::Open(std::int32_t mode) {
  if (nameRefused_) return kErrTooLong;
  if (IsOpen()) return kErrAlreadyOpen;
  const int card = static_cast<std::uint8_t>(cardNumber_);
  std::uint8_t how = 0;
  switch (mode) {
    case kHandheldOpenRead:
      how = kSyncModeRead;
      break;
    case kHandheldOpenWrite:
      how = kSyncModeWrite;
      break;
    case kHandheldOpenReadWrite:
      how = kSyncModeReadWrite;
      break;
    case kHandheldOpenCreate: {
      // Whether there was a database to delete does not matter; the create decides.
      SyncDeleteDB(name_, card);
      DbCreateInfo info;
      std::memset(&info, 0, sizeof info);
      info.creator = creator_;
      info.flags = flags_;
      info.cardNumber = static_cast<std::uint8_t>(card);
      std::memcpy(info.name, name_, sizeof info.name);
      info.type = type_;
      info.version = version_;
      const Result created = SyncCreateDB(&info);
      if (created != kSyncErrNone) {
        if (log_ != nullptr) {
          char description[SyncLog::kFormatSize] = {};
          log_->describeDatabase(description, sizeof description, name_, creator_, type_, flags_,
                                 version_);
          log_->logCreateFailed(created, description, SyncLog::kHandheld);
        }
        return created;
      }
      handle_ = info.handle;
      appInfoRead_ = false;
      return kOk;
    }
    default:
      return kErrOpenFailed;
  }
  std::uint8_t handle = 0;
  const Result opened = SyncOpenDB(name_, card, &handle, how);
  if (opened == kSyncErrNotFound) return kErrHandheldDbMissing;
  if (opened != kSyncErrNone) return opened;
  handle_ = handle;
  appInfoRead_ = false;
  return kOk;
}

Result HandheldDatabaseManager::OpenForSyncType() {
  switch (SyncType()) {
    case kSyncFast:
    case kSyncSlow:
    case kSyncHandheldToDesktop:
    case kSyncHandheldToDesktopKeepFlags:
      return Open(kHandheldOpenReadWrite);
    case kSyncDesktopToHandheld:
    case kSyncDesktopToHandheld4:
    case kSyncDesktopToHandheld7:
      return Open(kHandheldOpenCreate);
    case kSyncDoNothing:
      return kOk;
    default:
      return kErrUnknownSyncType;
  }
}

Result HandheldDatabaseManager::Close(bool keepFlags) {
  if (!IsOpen()) return kErrNotOpen;
  Result reset = kOk;
  if (commitMark_ != 0) {
    reset = SyncWriteDBBackupDate(handle_, commitMark_);
    // Without its stamp the commit could not be told from a HotSync that never
    // reached the handheld: the database is let go unchanged instead.
    if (reset != kSyncErrNone) {
      if (log_ != nullptr) log_->logCloseFailed(reset, SyncLog::kHandheld);
      handle_ = 0;
      return reset;
    }
  }
  if (!keepFlags) {
    reset = SyncResetSyncFlags(handle_);
    if (reset != kSyncErrNone && log_ != nullptr) log_->logResetFlagsFailed(reset, SyncLog::kHandheld);
  }
  const Result closed = SyncCloseDB(handle_);
  if (closed != kSyncErrNone && log_ != nullptr) log_->logCloseFailed(closed, SyncLog::kHandheld);
  // The handle is given up even when the close failed: nothing more can be done
  // with it, and a second close would only fail again.
  handle_ = 0;
  return reset != kOk ? reset : closed;
}

Result HandheldDatabaseManager::FinishSync() {
  switch (SyncType()) {
    case kSyncFast:
    case kSyncSlow:
    case kSyncHandheldToDesktop:
    case kSyncDesktopToHandheld:
    case kSyncDesktopToHandheld4:
    case kSyncDesktopToHandheld7:
      return Close(false);
    case kSyncHandheldToDesktopKeepFlags:
      return Close(true);
    default:
      return kOk;
  }
}

Result HandheldDatabaseManager::ReadCommitMark(const char* name, std::uint32_t* mark) {
  if (name == nullptr || mark == nullptr) return kErrNullArgument;
  DbDescriptor descriptor;
  for (std::uint16_t index = 0;; ++index) {
    const Result read = SyncReadDBList(index, &descriptor);
    if (read == kSyncErrNotFound) return kErrHandheldDbMissing;
    if (read != kSyncErrNone) return read;
    if (std::strncmp(descriptor.name, name, sizeof descriptor.name) == 0) {
      *mark = descriptor.backupDate;
      return kOk;
    }
    if (index == 0xFFFF) return kErrHandheldDbMissing;
  }
}

// ---------------------------------------------------------------- description

Result HandheldDatabaseManager::DatabaseName(char* buffer, std::uint32_t& capacity) const {
  if (buffer == nullptr) return kErrNullArgument;
  const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(name_));
  if (capacity <= length) {
    capacity = length + 1;
    return kErrBufferTooSmall;
  }
  std::memcpy(buffer, name_, length + 1);
  return kOk;
}

std::uint32_t HandheldDatabaseManager::CreatorId() const { return creator_; }
std::uint32_t HandheldDatabaseManager::Type() const { return type_; }
std::uint16_t HandheldDatabaseManager::Flags() const { return flags_; }
std::uint16_t HandheldDatabaseManager::Version() const { return version_; }

Result HandheldDatabaseManager::SetName(const char* name) {
  if (IsOpen()) return kErrAlreadyOpen;
  if (name == nullptr) return kErrNullArgument;
  const std::size_t length = strnlen(name, sizeof name_);
  if (length > kMaxNameLength) return kErrTooLong;
  std::memset(name_, 0, sizeof name_);
  std::memcpy(name_, name, length);
  nameRefused_ = false;
  return kOk;
}

Result HandheldDatabaseManager::SetCreatorId(std::uint32_t creator) {
  if (IsOpen()) return kErrAlreadyOpen;
  creator_ = creator;
  return kOk;
}

Result HandheldDatabaseManager::SetType(std::uint32_t type) {
  if (IsOpen()) return kErrAlreadyOpen;
  type_ = type;
  return kOk;
}

Result HandheldDatabaseManager::SetFlags(std::uint16_t flags) {
  if (IsOpen()) return kErrAlreadyOpen;
  flags_ = flags;
  return kOk;
}

Result HandheldDatabaseManager::SetVersion(std::uint16_t version) {
  if (IsOpen()) return kErrAlreadyOpen;
  version_ = version;
  return kOk;
}

// ---------------------------------------------------------------- loading records

Result HandheldDatabaseManager::RecordCount(std::int32_t& count) {
  const Result open = RequireOpen();
  if (open != kOk) return open;
  std::uint16_t handheldCount = 0;
  const Result counted = SyncGetDBRecordCount(handle_, &handheldCount);
  if (counted != kSyncErrNone) return counted;
  recordCount_ = handheldCount;
  count = recordCount_;
  return kOk;
}

Result HandheldDatabaseManager::ReadForSync() {
  switch (SyncType()) {
    case kSyncFast:
      return ReadModifiedRecords();
    case kSyncSlow:
    case kSyncHandheldToDesktop:
    case kSyncHandheldToDesktopKeepFlags:
      return ReadAllRecords();
    default:
      return kOk;
  }
}

Result HandheldDatabaseManager::PrepareTable(std::int32_t count) {
  // Twice the count leaves room for the slots that writes at new indexes take.
  const Result allocated = AllocateSlots(2 * count);
  if (allocated != kOk) return allocated;
  recordsLoaded_ = true;
  return kOk;
}

Result HandheldDatabaseManager::PrepareRead(std::uint32_t id, std::uint16_t index,
                                            std::int16_t category) {
  const Result buffer = EnsureRecordBuffer();
  if (buffer != kOk) return buffer;
  raw_ = RawRecordInfo{};
  raw_.handle = handle_;
  raw_.recordId = id;
  raw_.recordIndex = index;
  raw_.category = category;
  raw_.bufferSize = static_cast<std::uint16_t>(kBufferSize);
  raw_.data = recordBuffer_.get();
  return kOk;
}

void HandheldDatabaseManager::LogReadFailed(Result error, std::int32_t index) {
  if (log_ == nullptr) return;
  CPRecord asked;
  asked.SetIndex(index);
  log_->logReadFailed(error, asked, SyncLog::kHandheld);
}

Result HandheldDatabaseManager::LoadRecords(HandheldWalk walk) {
  Result result = RequireOpen();
  std::int32_t count = 0;
  if (result == kOk) result = RecordCount(count);
  if (result == kOk) result = PrepareTable(count);
  if (result != kOk) return result;
  SetIterationPosition(0);
  CPRecord record;
  for (;;) {
    result = NextFromHandheld(walk, false, record);
    if (result == kErrNoMatch) return kOk;
    if (result != kOk) return result;
    if (record.DataLength() != raw_.recordSize) return kErrOutOfMemory;
    if ((result = StoreRecordCopy(record)) != kOk) return result;
  }
}

Result HandheldDatabaseManager::ReadModifiedRecords() { return LoadRecords(HandheldWalk::kModified); }

Result HandheldDatabaseManager::ReadAllRecords() { return LoadRecords(HandheldWalk::kByIndex); }

Result HandheldDatabaseManager::EnsureRecordBuffer() {
  if (!recordBuffer_) {
    recordBuffer_.reset(new (std::nothrow) std::uint8_t[kBufferSize]);
    if (!recordBuffer_) return kErrOutOfMemory;
  }
  return kOk;
}

void HandheldDatabaseManager::ReleaseRecordBuffer() {
  raw_ = RawRecordInfo{};
  recordBuffer_.reset();
}

Result HandheldDatabaseManager::StoreRecordCopy(const CPRecord& record) {
  if (Capacity() == 0) return kErrNoRecordList;
  const std::int32_t index = record.Index();
  if (index < 0 || index >= Capacity()) return kErrBadCategoryIndex;
  std::unique_ptr<CPRecord> copy = MakeStoredCopy(record);
  if (!copy || copy->DataLength() != record.DataLength()) return kErrOutOfMemory;
  return PutRecordAt(index, std::move(copy));
}

// ---------------------------------------------------------------- reading single records

Result HandheldDatabaseManager::GetRecordByIdLogged(std::uint32_t id, CPRecord& record,
                                                    bool logFailure) {
  Result result = EnsureRecordBuffer();
  if (result != kOk) return result;
  result = RequireOpen();
  if (result == kOk) result = PrepareRead(id, 0, 0);
  if (result == kOk) result = SyncReadRecordById(&raw_);
  if (result == kSyncErrNone) return record.FromRawRecord(raw_);
  record.Reset();
  record.SetId(id);
  if (logFailure && log_ != nullptr) log_->logReadFailed(result, record, SyncLog::kHandheld);
  return result;
}

Result HandheldDatabaseManager::GetRecordById(std::uint32_t id, CPRecord& record) {
  const Result result = GetRecordByIdLogged(id, record, false);
  // "Not found" tells the synchronizer that the record is new to the handheld.
  if (result != kOk && result != kSyncErrNotFound && log_ != nullptr) {
    log_->logReadFailed(result, record, SyncLog::kHandheld);
  }
  return result;
}

// ---------------------------------------------------------------- record walks

Result HandheldDatabaseManager::NextFromHandheld(HandheldWalk walk, bool needsStatus, CPRecord& record) {
  Result result = RequireOpen();
  if (result != kOk) return result;
  for (;;) {
    const std::int32_t position = IterationPosition();
    if (position > kMaxRecordPosition) return kErrNoMatch;
    // A walk from the start restarts the handheld's own walks, which an earlier
    // walk may have left anywhere.
    if (walk != HandheldWalk::kByIndex && position == 0) {
      result = SyncResetRecordIndex(handle_);
      if (result != kSyncErrNone) return result;
    }
    if ((result = PrepareRead(0, static_cast<std::uint16_t>(position), 0)) != kOk) return result;
    switch (walk) {
      case HandheldWalk::kByIndex:
        result = SyncReadRecordByIndex(&raw_);
        break;
      case HandheldWalk::kModified:
        result = SyncReadNextModifiedRec(&raw_);
        break;
      case HandheldWalk::kInCategory:
        raw_.category = static_cast<std::int16_t>(CategoryFilter());
        result = SyncReadNextRecInCategory(&raw_);
        break;
    }
    if (result == kSyncErrNotFound) return kErrNoMatch;
    if (result != kSyncErrNone) {
      LogReadFailed(result, position);
      return result;
    }
    SetIterationPosition(raw_.recordIndex + 1);
    if (!needsStatus || HasStatusAttributes(raw_)) return record.FromRawRecord(raw_);
  }
}

Result HandheldDatabaseManager::NextRecordAny(CPRecord& record) {
  if (recordsLoaded_) return ScanNext(RecordFilter::kAny, record);
  return NextFromHandheld(HandheldWalk::kByIndex, false, record);
}

Result HandheldDatabaseManager::NextRecordWithStatus(CPRecord& record) {
  if (recordsLoaded_) return ScanNext(RecordFilter::kAnyStatus, record);
  return NextFromHandheld(HandheldWalk::kModified, false, record);
}

Result HandheldDatabaseManager::NextRecordInCategory(CPRecord& record) {
  if (recordsLoaded_) return ScanNext(RecordFilter::kInCategory, record);
  return NextFromHandheld(HandheldWalk::kInCategory, false, record);
}

Result HandheldDatabaseManager::NextChangedRecordInCategory(CPRecord& record) {
  if (recordsLoaded_) return ScanNext(RecordFilter::kChangedInCategory, record);
  return NextFromHandheld(HandheldWalk::kInCategory, true, record);
}

// ---------------------------------------------------------------- changing records

Result HandheldDatabaseManager::WriteRecord(CPRecord& record) {
  Result result = RequireOpen();
  if (result == kOk) result = PrepareRead(0, 0, 0);
  if (result == kOk) result = record.ToRawRecord(raw_);
  if (result != kOk) return result;
  raw_.handle = handle_;
  result = IsRecordDatabase() ? SyncWriteRec(&raw_) : SyncWriteResourceRec(&raw_);
  if (result != kSyncErrNone) return result;
  record.SetId(raw_.recordId);
  record.SetIndex(raw_.recordIndex);
  return kOk;
}

Result HandheldDatabaseManager::AddRecord(CPRecord& record) {
  record.ClearStatus();
  return WriteRecord(record);
}

Result HandheldDatabaseManager::ModifyRecordById(CPRecord& record) { return WriteRecord(record); }

Result HandheldDatabaseManager::ModifyRecordAtIndex(std::int32_t index, CPRecord& record) {
  if (index == -1) return kErrRecordNotFound;
  record.SetIndex(index);
  Result result = WriteRecord(record);
  if (result != kOk) return result;
  record.SetIndex(index);
  // The loaded records mirror the handheld; without them there is nothing to keep
  // in step, and the write has succeeded.
  if (!recordsLoaded_) return kOk;
  if (index >= Capacity() && (result = GrowSlots(index + 1)) != kOk) return result;
  return StoreRecordCopy(record);
}

Result HandheldDatabaseManager::DeleteRecord(CPRecord& record) {
  const Result open = RequireOpen();
  if (open != kOk) return open;
  // Only the id (for resources: type and id) names what goes; no data is needed.
  RawRecordInfo raw;
  raw.handle = handle_;
  raw.recordId = record.Id();
  raw.recordIndex = static_cast<std::uint16_t>(record.Index());
  raw.category = static_cast<std::int16_t>(record.Category());
  return IsRecordDatabase() ? SyncDeleteRec(&raw) : SyncDeleteResourceRec(&raw);
}

Result HandheldDatabaseManager::PurgeDeletedRecords() {
  const Result open = RequireOpen();
  if (open != kOk) return open;
  const Result purged = SyncPurgeDeletedRecs(handle_);
  if (purged != kSyncErrNone && log_ != nullptr) log_->logPurgeFailed(purged, SyncLog::kHandheld);
  return purged;
}

Result HandheldDatabaseManager::DeleteRecordsOfCategory(std::int32_t index, bool move) {
  if (!IsCategoryIndex(index)) return kErrRecordCategoryIndex;
  const Result open = RequireOpen();
  if (open != kOk) return open;
  const auto category = static_cast<std::uint8_t>(index);
  return move ? SyncChangeCategory(handle_, category, 0) : SyncPurgeAllRecsInCategory(handle_, category);
}

Result HandheldDatabaseManager::ChangeCategory(std::int32_t from, std::int32_t to) {
  if (!IsCategoryIndex(from) || !IsCategoryIndex(to)) return kErrRecordCategoryIndex;
  const Result open = RequireOpen();
  if (open != kOk) return open;
  return SyncChangeCategory(handle_, static_cast<std::uint8_t>(from), static_cast<std::uint8_t>(to));
}

Result HandheldDatabaseManager::Sort(std::int32_t) { return kErrNotSupported; }

Result HandheldDatabaseManager::ListRecordIds(std::uint32_t* ids, std::int32_t& count) {
  std::int32_t needed = 0;
  if (const Result room = CheckIdListRoom(ids, count, needed); room != kOk) return room;
  PositionMapInfo map;
  map.handle = handle_;
  map.firstPosition = 0;
  map.entriesWanted = static_cast<std::uint16_t>(needed);
  map.capacity = static_cast<std::uint16_t>(std::min(count, kMaxRecordPosition));
  map.entries = ids;
  const Result read = SyncReadPositionXMap(&map);
  if (read != kSyncErrNone) return read;
  count = map.entriesReturned;
  SwapIdList(ids, count);
  return kOk;
}

void HandheldDatabaseManager::SwapIdList(std::uint32_t* ids, std::int32_t count) const {
  // The map holds each id most significant byte first; only a little-endian host
  // has to turn it round to read it as a number.
  if constexpr (std::endian::native == std::endian::little) {
    for (std::int32_t i = 0; ids != nullptr && i < count; ++i) ids[i] = SwapBytes32(ids[i]);
  }
}

std::uint32_t HandheldDatabaseManager::SwapBytes32(std::uint32_t value) const {
  return (value >> 24) | ((value >> 8) & 0x0000FF00u) | ((value << 8) & 0x00FF0000u) | (value << 24);
}

// ---------------------------------------------------------------- app info block

Result HandheldDatabaseManager::ReadBlock(DbBlockInfo& info, bool sortInfo) {
  const Result open = RequireOpen();
  if (open != kOk) return open;
  if (info.bufferSize > 0 && info.data == nullptr) return kErrNullArgument;
  std::memcpy(info.name, name_, sizeof info.name);
  const Result read =
      sortInfo ? SyncReadDBSortInfoBlock(handle_, &info) : SyncReadDBAppInfoBlock(handle_, &info);
  // Both managers answer a short buffer alike, with the size needed in bytesRead.
  return read == kSyncErrBufferTooSmall ? kErrBufferTooSmall : read;
}

Result HandheldDatabaseManager::GetAppInfo(DbBlockInfo& info) { return ReadBlock(info, false); }

Result HandheldDatabaseManager::SetAppInfo(const DbBlockInfo& info) {
  const Result open = RequireOpen();
  if (open != kOk) return open;
  if (info.bytesRead > 0 && info.data == nullptr) return kErrNullArgument;
  // The Sync Manager writes bufferSize bytes; the block holds bytesRead of them.
  DbBlockInfo block = info;
  block.bufferSize = info.bytesRead;
  const Result written = SyncWriteDBAppInfoBlock(handle_, &block);
  if (written != kSyncErrNone) return written;
  ReleaseAppInfoBuffer();
  return kOk;
}

Result HandheldDatabaseManager::EnsureAppInfoBuffer() {
  if (!appInfo_) {
    appInfo_.reset(new (std::nothrow) std::uint8_t[kBufferSize]());
    if (!appInfo_) return kErrOutOfMemory;
    appInfoLength_ = 0;
  }
  return kOk;
}

void HandheldDatabaseManager::ReleaseAppInfoBuffer() {
  appInfo_.reset();
  appInfoLength_ = 0;
  appInfoRead_ = false;
  appDataChanged_ = false;
}

Result HandheldDatabaseManager::ReadAppInfo() {
  const Result buffer = EnsureAppInfoBuffer();
  if (buffer != kOk) return buffer;
  std::memset(appInfo_.get(), 0, kBufferSize);
  appInfoLength_ = 0;
  DbBlockInfo info;
  info.bufferSize = static_cast<std::uint16_t>(kBufferSize);
  info.data = appInfo_.get();
  const Result read = ReadBlock(info, false);
  if (read != kOk) {
    ReleaseAppInfoBuffer();
    return read;
  }
  appInfoLength_ = info.bytesRead;
  appInfoRead_ = true;
  return kOk;
}

Result HandheldDatabaseManager::EnsureAppInfoRead() {
  if (appInfoRead_) return kOk;
  const Result read = ReadAppInfo();
  if (read != kSyncErrNotFound) return read;
  // A database without a block: an empty one takes its place.
  const Result buffer = EnsureAppInfoBuffer();
  if (buffer != kOk) return buffer;
  appInfoRead_ = true;
  return kOk;
}

std::uint32_t HandheldDatabaseManager::ApplicationDataOffset() const {
  return UsesCategories() ? kCategoryTableSize : 0;
}

Result HandheldDatabaseManager::HasApplicationData(bool& has) {
  has = appInfoLength_ > ApplicationDataOffset();
  return kOk;
}

Result HandheldDatabaseManager::ApplicationDataLength(std::uint32_t& length) {
  const std::uint32_t offset = ApplicationDataOffset();
  length = appInfoLength_ > offset ? appInfoLength_ - offset : 0;
  return kOk;
}

std::uint8_t* HandheldDatabaseManager::ApplicationData() {
  return appInfo_ ? appInfo_.get() + ApplicationDataOffset() : nullptr;
}

Result HandheldDatabaseManager::SetApplicationData(std::uint32_t length, const std::uint8_t* bytes) {
  if (length > 0 && bytes == nullptr) return kErrNullArgument;
  const std::uint32_t offset = ApplicationDataOffset();
  if (length > kBufferSize - offset) return kErrTooLong;
  // The block is read first so that the category table before the data survives.
  const Result read = EnsureAppInfoRead();
  if (read != kOk) return read;
  std::memset(appInfo_.get() + offset, 0, kBufferSize - offset);
  if (length > 0) std::memcpy(appInfo_.get() + offset, bytes, length);
  appInfoLength_ = offset + length;
  appDataChanged_ = true;
  return kOk;
}

// ---------------------------------------------------------------- categories

Result HandheldDatabaseManager::LoadCategories() {
  return UsesAppInfo() ? BuildCategoryTable() : kOk;
}

Result HandheldDatabaseManager::BuildCategoryTable() {
  if (!UsesCategories()) return kErrNoCategorySupport;
  SetCategoryTable(nullptr);
  const Result read = EnsureAppInfoRead();
  if (read != kOk) return read;
  if (appInfoLength_ == 0) return kErrNoAppInfoForCategories;
  std::unique_ptr<CPCategoryTable> table(new (std::nothrow) CPCategoryTable);
  if (!table) return kErrOutOfMemory;
  const Result loaded = table->Load(appInfo_.get(), appInfoLength_);
  if (loaded == kErrCategoryTableShort) return loaded;
  SetCategoryTable(std::move(table));
  return loaded;
}

Result HandheldDatabaseManager::StoreCategoryTable() {
  const CPCategoryTable* table = CategoryTable();
  if (table == nullptr || !table->IsDirty()) return kOk;
  // The application data after the table must come from the handheld's block.
  const Result read = EnsureAppInfoRead();
  if (read != kOk) return read;
  // The stored form carries a last unique id of 0, but the handheld numbers the
  // categories it creates from its own last id, so the block keeps that byte.
  const bool hadTable = appInfoLength_ >= kCategoryTableSize;
  const std::uint8_t lastId = appInfo_[kCategoryTableLastIdOffset];
  std::uint32_t size = kBufferSize;
  const Result stored = table->Store(appInfo_.get(), size);
  if (stored != kOk) return stored;
  if (hadTable) appInfo_[kCategoryTableLastIdOffset] = lastId;
  appInfoLength_ = std::max(appInfoLength_, kCategoryTableSize);
  return kOk;
}

Result HandheldDatabaseManager::StoreCategories() {
  if (!UsesAppInfo()) return kOk;
  CPCategoryTable* table = UsesCategories() ? CategoryTable() : nullptr;
  const bool tableChanged = table != nullptr && table->IsDirty();
  if (!tableChanged && !appDataChanged_) return kOk;
  Result result = RequireOpen();
  if (result == kOk && tableChanged) result = StoreCategoryTable();
  if (result != kOk) return result;
  DbBlockInfo block;
  std::memcpy(block.name, name_, sizeof block.name);
  block.bufferSize = static_cast<std::uint16_t>(appInfoLength_);
  block.data = appInfo_.get();
  result = SyncWriteDBAppInfoBlock(handle_, &block);
  if (result != kSyncErrNone) return result;
  if (table != nullptr) table->SetDirty(false);
  ReleaseAppInfoBuffer();
  return kOk;
}

}  // namespace tallimor
