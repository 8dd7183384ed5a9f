// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The Sync Manager operations over the attached emulated handheld. One process-wide
// state (the attached handheld, the open databases by handle, the databases to
// remove when the connection closes, the fault injector) serves the HotSync
// command and the conduit it loads, which is why this is a shared library.
#include "hotsync/handheld/SyncManager.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "hotsync/pdb/PdbReader.h"
#include "store/ByteOrder.h"

namespace tallimor {
namespace {

struct OpenDatabase {
  std::string name;
  std::unique_ptr<HandheldDatabase> db;
  std::uint8_t mode = 0;
  std::size_t modifiedCursor = 0;   // next position SyncReadNextModifiedRec looks at
  std::size_t categoryCursor = 0;   // next position SyncReadNextRecInCategory looks at
  int cursorCategory = -1;          // the category categoryCursor walks
};

struct State {
  std::unique_ptr<Handheld> handheld;
  FaultInjector faults;
  bool connected = false;
  std::uint32_t connection = 0;
  std::uint32_t connectionsOpened = 0;
  std::map<std::uint8_t, OpenDatabase> open;
  std::set<std::string> pendingRemovals;   // deleted this run; files go at SyncCloseConduit
  std::string detail;
};

State& TheState() {
  static State state;
  return state;
}

std::uint32_t NowPalm() { return PalmTimeFromUnix(static_cast<std::int64_t>(std::time(nullptr))); }

// Every operation starts here: it counts the call, lets an armed fault strike, and
// checks that a handheld is attached (and the connection open, when needed).
Result Enter(State& s, bool needConnection) {
  s.detail.clear();
  const Result fault = s.faults.OnCall();
  if (fault != kSyncErrNone) {
    s.detail = SyncIsCommsError(fault) ? "injected communications fault" : "injected storage fault";
    return fault;
  }
  if (!s.handheld) return kSyncErrNotConnected;
  if (needConnection && !s.connected) return kSyncErrNotConnected;
  return kSyncErrNone;
}

std::uint8_t SyncAttributesOf(const PdbRecord& r) {
  std::uint8_t attributes = r.attributes & (kPdbRecDelete | kPdbRecDirty | kPdbRecBusy | kPdbRecSecret);
  if (r.archived()) attributes |= kSyncRecAttrArchived | kSyncRecAttrDeleted;
  return attributes;
}

// Copies bytes to a caller's buffer; the size is reported even when they do not fit.
Result Deliver(const std::vector<std::uint8_t>& data, RawRecordInfo* raw) {
  raw->recordSize = static_cast<std::uint32_t>(data.size());
  if (data.size() > raw->bufferSize) return kSyncErrBufferTooSmall;
  if (data.empty()) return kSyncErrNone;
  if (raw->data == nullptr) return kSyncErrBadArgument;
  std::memcpy(raw->data, data.data(), data.size());
  return kSyncErrNone;
}

Result DeliverRecord(const PdbRecord& r, std::size_t index, RawRecordInfo* raw) {
  raw->recordId = r.uniqueId;
  raw->recordIndex = static_cast<std::uint16_t>(index);
  raw->attributes = SyncAttributesOf(r);
  raw->category = static_cast<std::int16_t>(r.category());
  return Deliver(r.data, raw);
}

Result DeliverResource(const PdbResource& r, std::size_t index, RawRecordInfo* raw) {
  raw->recordId = r.type;
  raw->recordIndex = static_cast<std::uint16_t>(index);
  raw->attributes = 0;
  raw->category = static_cast<std::int16_t>(r.id);
  return Deliver(r.data, raw);
}

// What an operation needs of the database it names.
enum class Access {
  kAny,           // any open database
  kWrite,         // opened for writing
  kRecords,       // a record database
  kWriteRecords,  // a record database opened for writing
};

Result Lookup(State& s, std::uint8_t handle, Access access, OpenDatabase** out) {
  const auto found = s.open.find(handle);
  if (found == s.open.end()) return kSyncErrBadHandle;
  OpenDatabase& open = found->second;
  const bool write = access == Access::kWrite || access == Access::kWriteRecords;
  const bool records = access == Access::kRecords || access == Access::kWriteRecords;
  if (write && !(open.mode & kSyncModeWrite)) return kSyncErrReadOnly;
  if (records && open.db->isResourceDatabase()) return kSyncErrWrongDatabaseKind;
  *out = &open;
  return kSyncErrNone;
}

// The start of an operation on an open database named by its handle.
Result Begin(std::uint8_t handle, Access access, OpenDatabase** out) {
  State& s = TheState();
  const Result r = Enter(s, true);
  return r != kSyncErrNone ? r : Lookup(s, handle, access, out);
}

// The same for an operation whose argument carries the handle (and may be null).
template <typename Argument>
Result Begin(Argument* argument, Access access, OpenDatabase** out) {
  State& s = TheState();
  const Result r = Enter(s, true);
  if (r != kSyncErrNone) return r;
  if (argument == nullptr) return kSyncErrBadArgument;
  return Lookup(s, argument->handle, access, out);
}

// Delivers the next record from *cursor on that `matches`, and moves the cursor
// past it; a record that does not fit the caller's buffer stays next, so that the
// caller may retry with more room. kSyncErrNotFound when none is left.
template <typename Matches>
Result ReadNextMatching(const HandheldDatabase& db, std::size_t* cursor, Matches matches, RawRecordInfo* raw) {
  for (std::size_t i = *cursor; i < db.count(); ++i) {
    const PdbRecord& candidate = *db.RecordAt(i);
    if (!matches(candidate)) continue;
    const Result r = DeliverRecord(candidate, i, raw);
    *cursor = r == kSyncErrNone ? i + 1 : i;
    return r;
  }
  *cursor = db.count();
  return kSyncErrNotFound;
}

// A name from a caller: NUL-terminated within 32 bytes and usable as a file name.
bool NameFrom(const char* text, std::string* name) {
  if (text == nullptr) return false;
  const void* nul = std::memchr(text, 0, 32);
  if (nul == nullptr) return false;
  *name = std::string(text, static_cast<const char*>(nul));
  return Handheld::IsValidDatabaseName(*name);
}

bool IsOpenByName(const State& s, const std::string& name) {
  for (const auto& [handle, open] : s.open) {
    if (open.name == name) return true;
  }
  return false;
}

bool Exists(const State& s, const std::string& name) {
  return !s.pendingRemovals.count(name) && (IsOpenByName(s, name) || s.handheld->DatabaseExists(name));
}

Result DataFrom(const RawRecordInfo& raw, std::vector<std::uint8_t>* data) {
  if (raw.recordSize > kSyncMaxRecordSize) return kSyncErrTooLarge;
  if (raw.recordSize != 0 && raw.data == nullptr) return kSyncErrBadArgument;
  data->assign(raw.data, raw.data + raw.recordSize);
  return kSyncErrNone;
}

Result ReadBlock(std::uint8_t handle, DbBlockInfo* block, bool sortInfo) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(handle, Access::kAny, &open);
  if (r != kSyncErrNone) return r;
  if (block == nullptr) return kSyncErrBadArgument;
  const auto& stored = sortInfo ? open->db->sortInfo() : open->db->appInfo();
  block->bytesRead = 0;
  if (!stored || stored->empty()) return kSyncErrNotFound;
  block->bytesRead = static_cast<std::uint16_t>(stored->size());
  if (stored->size() > block->bufferSize) return kSyncErrBufferTooSmall;
  if (block->data == nullptr) return kSyncErrBadArgument;
  std::memcpy(block->data, stored->data(), stored->size());
  return kSyncErrNone;
}

Result WriteBlock(std::uint8_t handle, DbBlockInfo* block, bool sortInfo) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(handle, Access::kWrite, &open);
  if (r != kSyncErrNone) return r;
  if (block == nullptr) return kSyncErrBadArgument;
  if (block->bufferSize > kSyncMaxRecordSize) return kSyncErrTooLarge;
  if (block->bufferSize != 0 && block->data == nullptr) return kSyncErrBadArgument;
  std::vector<std::uint8_t> bytes(block->data, block->data + block->bufferSize);
  return sortInfo ? open->db->SetSortInfo(std::move(bytes)) : open->db->SetAppInfo(std::move(bytes));
}

void DiscardRun(State& s) {
  s.open.clear();
  s.pendingRemovals.clear();
  s.connected = false;
}

}  // namespace

// --- Attaching ---------------------------------------------------------------

Result SyncAttachHandheld(const char* directory) {
  State& s = TheState();
  s.detail.clear();
  if (s.handheld) return kSyncErrAlreadyConnected;
  if (directory == nullptr) return kSyncErrBadArgument;
  std::uint32_t call = 0;
  SyncFaultKind kind = SyncFaultKind::kNone;
  const char* setting = std::getenv(FaultInjector::kEnvironmentVariable);
  std::string why;
  if (setting != nullptr && FaultInjector::Parse(setting, &call, &kind, &why) != kSyncErrNone) {
    s.detail = std::string(FaultInjector::kEnvironmentVariable) + ": " + why;
    return kSyncErrBadArgument;
  }
  std::unique_ptr<Handheld> handheld;
  const Result opened = Handheld::Open(directory, &handheld, &s.detail);
  if (opened != kSyncErrNone) return opened;
  // Held for the whole HotSync, so that no other program changes the handheld
  // between the conduit's reading and its writing.
  const Result locked = handheld->Lock("hotsync", &s.detail);
  if (locked != kSyncErrNone) return locked;
  s.handheld = std::move(handheld);
  DiscardRun(s);
  s.faults.Arm(call, kind);
  s.faults.ResetCount();
  return kSyncErrNone;
}

void SyncDetachHandheld() {
  State& s = TheState();
  DiscardRun(s);
  s.handheld.reset();
  s.faults.Disarm();
  s.faults.ResetCount();
}

const Handheld* SyncAttachedHandheld() { return TheState().handheld.get(); }

void SyncSetFault(std::uint32_t call, SyncFaultKind kind) { TheState().faults.Arm(call, kind); }

void SyncClearFault() { TheState().faults.Disarm(); }

std::uint32_t SyncCallCount() { return TheState().faults.calls(); }

const char* SyncLastErrorDetail() { return TheState().detail.c_str(); }

// --- The HotSync command's queries ----------------------------------------------

Result SyncReadUserId(HandheldIdentity* identity) {
  State& s = TheState();
  const Result r = Enter(s, false);
  if (r != kSyncErrNone) return r;
  if (identity == nullptr) return kSyncErrBadArgument;
  *identity = s.handheld->identity();
  return kSyncErrNone;
}

Result SyncWriteUserId(const HandheldIdentity& identity) {
  State& s = TheState();
  const Result r = Enter(s, false);
  if (r != kSyncErrNone) return r;
  return s.handheld->SetIdentity(identity, &s.detail);
}

Result SyncReadDBList(std::uint16_t index, DbDescriptor* descriptor) {
  State& s = TheState();
  const Result r = Enter(s, false);
  if (r != kSyncErrNone) return r;
  if (descriptor == nullptr) return kSyncErrBadArgument;
  std::vector<std::string> names;
  for (const std::string& name : s.handheld->DatabaseNames()) {
    if (!s.pendingRemovals.count(name)) names.push_back(name);
  }
  if (index >= names.size()) return kSyncErrNotFound;
  const std::string& name = names[index];
  PdbHeader header;
  if (PdbReader::ReadHeader(s.handheld->DatabasePath(name), &header, &s.detail) != kOk) {
    return kSyncErrCorruptDatabase;
  }
  std::memset(descriptor, 0, sizeof *descriptor);
  descriptor->flags = header.attributes;
  descriptor->type = header.type;
  std::memcpy(descriptor->name, name.data(), name.size());
  descriptor->creator = header.creator;
  descriptor->version = header.version;
  descriptor->modificationNumber = header.modificationNumber;
  descriptor->creationDate = header.creationDate;
  descriptor->modificationDate = header.modificationDate;
  descriptor->backupDate = header.backupDate;
  return kSyncErrNone;
}

// --- The conduit's operations -------------------------------------------------

Result SyncReadSystemInfo(SyncSystemInfo* info) {
  State& s = TheState();
  const Result r = Enter(s, false);
  if (r != kSyncErrNone) return r;
  if (info == nullptr) return kSyncErrBadArgument;
  std::memset(info, 0, sizeof *info);
  info->romVersion = 0x05000000;  // 5.0, release
  static constexpr char kProduct[] = "Tallimor";
  info->productIdLength = sizeof info->productId;
  std::memcpy(info->productId, kProduct, sizeof info->productId);
  return kSyncErrNone;
}

Result SyncOpenConduit(std::uint32_t* connection) {
  State& s = TheState();
  const Result r = Enter(s, false);
  if (r != kSyncErrNone) return r;
  if (connection == nullptr) return kSyncErrBadArgument;
  if (s.connected) return kSyncErrAlreadyConnected;
  s.connected = true;
  s.connection = ++s.connectionsOpened;
  *connection = s.connection;
  return kSyncErrNone;
}

Result SyncDeleteDB(const char* nameText, int /*cardNumber*/) {
  State& s = TheState();
  const Result r = Enter(s, true);
  if (r != kSyncErrNone) return r;
  std::string name;
  if (!NameFrom(nameText, &name)) return kSyncErrBadArgument;
  if (IsOpenByName(s, name)) return kSyncErrDatabaseOpen;
  if (!Exists(s, name)) return kSyncErrNotFound;
  s.pendingRemovals.insert(name);
  return kSyncErrNone;
}

Result SyncCreateDB(DbCreateInfo* info) {
  State& s = TheState();
  const Result r = Enter(s, true);
  if (r != kSyncErrNone) return r;
  if (info == nullptr) return kSyncErrBadArgument;
  std::string name;
  if (!NameFrom(info->name, &name)) return kSyncErrBadArgument;
  if (Exists(s, name)) return kSyncErrExists;
  std::uint8_t handle = 1;
  while (s.open.count(handle) && handle < 255) ++handle;
  if (s.open.count(handle)) return kSyncErrTooManyOpen;

  PdbHeader header;
  header.name = name;
  header.attributes = static_cast<std::uint16_t>(info->flags & 0xFFFF);
  header.version = info->version;
  header.type = info->type;
  header.creator = info->creator;
  header.creationDate = header.modificationDate = NowPalm();
  OpenDatabase open;
  open.name = name;
  open.db = std::make_unique<HandheldDatabase>(std::move(header));
  open.mode = kSyncModeReadWrite;
  s.open.emplace(handle, std::move(open));
  // The new file will replace the old one at close, atomically, so the old one
  // must not be removed separately.
  s.pendingRemovals.erase(name);
  info->handle = handle;
  return kSyncErrNone;
}

Result SyncOpenDB(const char* nameText, int /*cardNumber*/, std::uint8_t* handle, std::uint8_t mode) {
  State& s = TheState();
  const Result r = Enter(s, true);
  if (r != kSyncErrNone) return r;
  std::string name;
  if (handle == nullptr || !NameFrom(nameText, &name) || (mode & kSyncModeReadWrite) == 0) return kSyncErrBadArgument;
  if (s.pendingRemovals.count(name)) return kSyncErrNotFound;
  if (IsOpenByName(s, name)) return kSyncErrDatabaseOpen;
  std::uint8_t free = 1;
  while (s.open.count(free) && free < 255) ++free;
  if (s.open.count(free)) return kSyncErrTooManyOpen;
  OpenDatabase open;
  const Result loaded = s.handheld->LoadDatabase(name, &open.db, &s.detail);
  if (loaded != kSyncErrNone) return loaded;
  open.name = name;
  open.mode = mode;
  s.open.emplace(free, std::move(open));
  *handle = free;
  return kSyncErrNone;
}

Result SyncGetDBRecordCount(std::uint8_t handle, std::uint16_t* count) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(handle, Access::kAny, &open);
  if (r != kSyncErrNone) return r;
  if (count == nullptr) return kSyncErrBadArgument;
  *count = static_cast<std::uint16_t>(open->db->count());
  return kSyncErrNone;
}

Result SyncReadDBAppInfoBlock(std::uint8_t handle, DbBlockInfo* block) { return ReadBlock(handle, block, false); }

Result SyncReadDBSortInfoBlock(std::uint8_t handle, DbBlockInfo* block) { return ReadBlock(handle, block, true); }

Result SyncReadNextModifiedRec(RawRecordInfo* record) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(record, Access::kRecords, &open);
  if (r != kSyncErrNone) return r;
  auto modified = [](const PdbRecord& c) { return c.dirty() || c.deleted() || c.archived(); };
  return ReadNextMatching(*open->db, &open->modifiedCursor, modified, record);
}

Result SyncReadRecordByIndex(RawRecordInfo* record) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(record, Access::kAny, &open);
  if (r != kSyncErrNone) return r;
  const std::size_t index = record->recordIndex;
  if (open->db->isResourceDatabase()) {
    const PdbResource* resource = open->db->ResourceAt(index);
    return resource ? DeliverResource(*resource, index, record) : kSyncErrNotFound;
  }
  const PdbRecord* found = open->db->RecordAt(index);
  return found ? DeliverRecord(*found, index, record) : kSyncErrNotFound;
}

Result SyncReadRecordById(RawRecordInfo* record) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(record, Access::kRecords, &open);
  if (r != kSyncErrNone) return r;
  const auto index = open->db->IndexOfId(record->recordId);
  if (!index) return kSyncErrNotFound;
  return DeliverRecord(*open->db->RecordAt(*index), *index, record);
}

Result SyncReadNextRecInCategory(RawRecordInfo* record) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(record, Access::kRecords, &open);
  if (r != kSyncErrNone) return r;
  if (record->category < 0 || record->category > 15) return kSyncErrBadArgument;
  if (open->cursorCategory != record->category) {
    open->cursorCategory = record->category;
    open->categoryCursor = 0;
  }
  const int category = open->cursorCategory;
  auto inCategory = [category](const PdbRecord& c) { return c.hasCategory() && c.category() == category; };
  return ReadNextMatching(*open->db, &open->categoryCursor, inCategory, record);
}

Result SyncResetRecordIndex(std::uint8_t handle) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(handle, Access::kAny, &open);
  if (r != kSyncErrNone) return r;
  open->modifiedCursor = 0;
  open->categoryCursor = 0;
  open->cursorCategory = -1;
  return kSyncErrNone;
}

Result SyncWriteRec(RawRecordInfo* record) {
  OpenDatabase* open = nullptr;
  Result r = Begin(record, Access::kWriteRecords, &open);
  if (r != kSyncErrNone) return r;
  const bool archived = (record->attributes & kSyncRecAttrArchived) != 0;
  const bool deleted = archived || (record->attributes & kSyncRecAttrDeleted) != 0;
  // A deleted record keeps no category, so only a live one needs a valid one.
  if (!deleted && (record->category < 0 || record->category > 15)) return kSyncErrBadArgument;
  PdbRecord written;
  if ((r = DataFrom(*record, &written.data)) != kSyncErrNone) return r;
  written.uniqueId = record->recordId;
  written.attributes = PdbRecord::MakeAttributes(deleted, (record->attributes & kSyncRecAttrDirty) != 0, false,
                                                 (record->attributes & kSyncRecAttrSecret) != 0, archived,
                                                 record->category);
  std::uint32_t id = 0;
  std::size_t index = 0;
  if ((r = open->db->WriteRecord(std::move(written), &id, &index)) != kSyncErrNone) return r;
  record->recordId = id;
  record->recordIndex = static_cast<std::uint16_t>(index);
  return kSyncErrNone;
}

Result SyncWriteResourceRec(RawRecordInfo* record) {
  OpenDatabase* open = nullptr;
  Result r = Begin(record, Access::kWrite, &open);
  if (r != kSyncErrNone) return r;
  PdbResource resource;
  resource.type = record->recordId;
  resource.id = static_cast<std::uint16_t>(record->category);
  if ((r = DataFrom(*record, &resource.data)) != kSyncErrNone) return r;
  std::size_t index = 0;
  if ((r = open->db->WriteResource(std::move(resource), &index)) != kSyncErrNone) return r;
  record->recordIndex = static_cast<std::uint16_t>(index);
  return kSyncErrNone;
}

Result SyncDeleteRec(RawRecordInfo* record) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(record, Access::kWriteRecords, &open);
  return r != kSyncErrNone ? r : open->db->DeleteRecord(record->recordId);
}

Result SyncDeleteResourceRec(RawRecordInfo* record) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(record, Access::kWrite, &open);
  return r != kSyncErrNone ? r : open->db->DeleteResource(record->recordId, static_cast<std::uint16_t>(record->category));
}

Result SyncChangeCategory(std::uint8_t handle, std::uint8_t from, std::uint8_t to) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(handle, Access::kWriteRecords, &open);
  if (r != kSyncErrNone) return r;
  if (from > 15 || to > 15) return kSyncErrBadArgument;
  open->db->ChangeCategory(from, to);
  return kSyncErrNone;
}

Result SyncPurgeAllRecsInCategory(std::uint8_t handle, std::uint8_t category) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(handle, Access::kWriteRecords, &open);
  if (r != kSyncErrNone) return r;
  if (category > 15) return kSyncErrBadArgument;
  open->db->PurgeCategory(category);
  return kSyncErrNone;
}

Result SyncWriteDBAppInfoBlock(std::uint8_t handle, DbBlockInfo* block) { return WriteBlock(handle, block, false); }

Result SyncWriteDBSortInfoBlock(std::uint8_t handle, DbBlockInfo* block) { return WriteBlock(handle, block, true); }

Result SyncPurgeDeletedRecs(std::uint8_t handle) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(handle, Access::kWriteRecords, &open);
  if (r != kSyncErrNone) return r;
  open->db->PurgeDeleted();
  return kSyncErrNone;
}

Result SyncReadPositionXMap(PositionMapInfo* map) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(map, Access::kRecords, &open);
  if (r != kSyncErrNone) return r;
  const HandheldDatabase& db = *open->db;
  map->entriesReturned = 0;
  if (map->firstPosition > db.count() || (map->firstPosition == db.count() && db.count() != 0)) {
    return kSyncErrNotFound;
  }
  std::size_t n = db.count() - map->firstPosition;
  n = std::min<std::size_t>(n, map->entriesWanted);
  n = std::min<std::size_t>(n, map->capacity);
  if (n != 0 && map->entries == nullptr) return kSyncErrBadArgument;
  // Walk the table once in order rather than look each position up.
  std::size_t position = 0;
  std::size_t written = 0;
  auto* bytes = reinterpret_cast<std::uint8_t*>(map->entries);
  db.ForEachRecord([&](const PdbRecord& record) {
    if (position++ < map->firstPosition || written >= n) return;
    EncodeFixed32BE(bytes + 4 * written, record.uniqueId);
    ++written;
  });
  map->entriesReturned = static_cast<std::uint16_t>(written);
  return kSyncErrNone;
}

Result SyncWriteDBBackupDate(std::uint8_t handle, std::uint32_t backupDate) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(handle, Access::kWrite, &open);
  if (r != kSyncErrNone) return r;
  open->db->mutableHeader().backupDate = backupDate;
  return kSyncErrNone;
}

Result SyncResetSyncFlags(std::uint8_t handle) {
  OpenDatabase* open = nullptr;
  const Result r = Begin(handle, Access::kWrite, &open);
  if (r != kSyncErrNone) return r;
  open->db->ResetSyncFlags();
  return kSyncErrNone;
}

Result SyncCloseDB(std::uint8_t handle) {
  State& s = TheState();
  Result r = Enter(s, true);
  if (r != kSyncErrNone) return r;
  const auto found = s.open.find(handle);
  if (found == s.open.end()) return kSyncErrBadHandle;
  OpenDatabase open = std::move(found->second);
  s.open.erase(found);
  if (!open.db->changed()) return kSyncErrNone;
  return s.handheld->SaveDatabase(open.name, *open.db, &s.detail);
}

Result SyncCloseConduit(std::uint32_t connection) {
  State& s = TheState();
  const Result r = Enter(s, true);
  if (r != kSyncErrNone) return r;
  if (connection != s.connection) return kSyncErrBadArgument;
  s.open.clear();
  Result result = kSyncErrNone;
  for (const std::string& name : s.pendingRemovals) {
    std::string why;
    const Result removed = s.handheld->RemoveDatabase(name, &why);
    if (removed != kSyncErrNone && removed != kSyncErrNotFound) {
      s.detail = why;
      result = kSyncErrStorage;
    }
  }
  s.pendingRemovals.clear();
  s.connected = false;
  return result;
}

}  // namespace tallimor
