// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the handheld database manager against an emulated handheld attached to
// the Sync Manager library: opening by sync type, loading and walking records,
// changes as they reach the .pdb file, the app info block, and the result and log
// entry of every failure, forced with the library's fault injection.
#include "conduit/HandheldDatabaseManager.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "conduit/SyncLog.h"
#include "hotsync/handheld/SyncManager.h"
#include "hotsync/log/HotSyncLog.h"
#include "hotsync/pdb/PdbReader.h"
#include "hotsync/pdb/PdbWriter.h"
#include "store/CPCategoryTable.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Ids = std::vector<std::uint32_t>;
using LogLine = std::pair<std::int32_t, std::string>;  // activity, text

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Concat(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

constexpr std::uint32_t kCreator = FourCc("Tlmr");
constexpr std::uint32_t kType = FourCc("DATA");
constexpr std::uint32_t kCaps = kCapCategories | kCapAppInfo;
const LogLine kHeader{-1, "-- Generic Conduit"};

struct Category {
  int index;
  const char* name;
  std::uint8_t id;
};
const std::vector<Category> kCategories = {{0, "Unfiled", 0}, {1, "Business", 1}, {3, "Personal", 3}};

// The stored category table laid out by hand: changed-categories word (most
// significant byte first), 16 names of 16 bytes, 16 ids, last id, a zero byte.
Bytes CategoryBlock(const std::vector<Category>& categories, std::uint8_t lastId) {
  Bytes block(276, 0);
  for (const Category& c : categories) {
    std::memcpy(block.data() + 2 + 16 * c.index, c.name, std::strlen(c.name));
    block[258 + c.index] = c.id;
  }
  block[274] = lastId;
  return block;
}

// The database the tests start from (attribute byte: flags | category).
PdbFile StartingDatabase(const std::string& name = "MemoDB") {
  PdbFile file;
  file.header.name = name;
  file.header.type = kType;
  file.header.creator = kCreator;
  file.appInfo = Concat(CategoryBlock(kCategories, 3), Text("APPDATA!"));
  file.records = {
      {0x00, 0x101, Text("clean unfiled")},    {0x43, 0x102, Text("dirty in three")},
      {0x13, 0x103, Text("private in three")}, {0xC0, 0x104, {}},  // deleted and dirty
      {0x88, 0x105, Text("archived")},         {0x41, 0x106, Text("dirty in one")},
  };
  return file;
}

class HandheldManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    ASSERT_EQ(Handheld::Create(dir_ + "/handheld", {"Taro", 7}, nullptr), kSyncErrNone);
    WriteDatabase(StartingDatabase());
    ASSERT_EQ(SyncAttachHandheld((dir_ + "/handheld").c_str()), kSyncErrNone) << SyncLastErrorDetail();
    std::uint32_t connection = 0;
    ASSERT_EQ(SyncOpenConduit(&connection), kSyncErrNone);
    hotsyncLog_ = std::make_unique<HotSyncLog>(dir_);
    ASSERT_EQ(hotsyncLog_->BeginRun(), kOk);
  }
  void TearDown() override {
    SyncDetachHandheld();
    hotsyncLog_.reset();
  }

  std::string DbPath(const std::string& name) const { return dir_ + "/handheld/" + name + ".pdb"; }
  void WriteDatabase(const PdbFile& file) {
    ASSERT_EQ(PdbWriter::WriteFile(DbPath(file.header.name), file, nullptr), kOk);
  }
  PdbFile OnDisk() const {
    PdbFile file;
    EXPECT_EQ(PdbReader::ReadFile(DbPath("MemoDB"), &file, nullptr), kOk);
    return file;
  }
  std::unique_ptr<HandheldDatabaseManager> Manager(std::int32_t syncType, const char* name = "MemoDB",
                                                   std::uint32_t capabilities = kCaps) {
    return std::make_unique<HandheldDatabaseManager>(&log_, capabilities, name, kCreator, kType, 0x0008, 3, 0,
                                                     syncType);
  }
  std::unique_ptr<HandheldDatabaseManager> Opened(std::int32_t syncType, std::uint32_t capabilities = kCaps) {
    auto manager = Manager(syncType, "MemoDB", capabilities);
    EXPECT_EQ(manager->OpenForSyncType(), kOk);
    return manager;
  }
  // Fails the Sync Manager call `ahead` calls from now.
  static void FailCall(std::uint32_t ahead, SyncFaultKind kind = SyncFaultKind::kStorage) {
    SyncSetFault(SyncCallCount() + ahead, kind);
  }
  std::vector<LogLine> LogLines() const {
    std::vector<LogEntry> entries;
    EXPECT_EQ(hotsyncLog_->RunEntries(&entries), kOk);
    std::vector<LogLine> lines;
    for (const LogEntry& e : entries) lines.emplace_back(e.activity, e.text);
    return lines;
  }
  // The ids of a walk: `first`, then NextRecord until the end.
  static Ids Walk(CPDatabase& db, const std::function<Result(CPRecord&)>& first) {
    Ids ids;
    CPRecord record;
    Result r = first(record);
    for (; r == kOk; r = db.NextRecord(record)) ids.push_back(record.Id());
    EXPECT_EQ(r, kErrNoMatch);
    return ids;
  }
  static Bytes DataOf(const CPRecord& record) {
    return record.Data() ? Bytes(record.Data(), record.Data() + record.DataLength()) : Bytes();
  }
  static CPRecord MakeRecord(std::uint32_t id, std::int32_t category, const std::string& text) {
    CPRecord record;
    record.SetId(id);
    record.SetCategory(category);
    EXPECT_EQ(record.SetData(static_cast<std::uint32_t>(text.size()), Text(text).data()), kOk);
    return record;
  }

  tallimor::testing::TempDir temp_{"hhmgr"};  // removed after the test
  std::string dir_;
  std::unique_ptr<HotSyncLog> hotsyncLog_;
  SyncLog log_{"Generic Conduit"};
};

using HandheldDatabaseManagerOpenClose = HandheldManagerTest;
using HandheldDatabaseManagerReadForSync = HandheldManagerTest;
using HandheldDatabaseManagerRecords = HandheldManagerTest;
using HandheldDatabaseManagerAppInfo = HandheldManagerTest;

TEST_F(HandheldDatabaseManagerOpenClose, SyncTypesOpenTheDatabaseForWritingDoNothingOrRefuse) {
  CPRecord record = MakeRecord(0x101, 0, "x");
  for (std::int32_t type : {0, 1, 2, 5}) {
    EXPECT_EQ(Manager(type, "Nothing")->OpenForSyncType(), kErrHandheldDbMissing);
    auto manager = Manager(type);
    ASSERT_EQ(manager->OpenForSyncType(), kOk) << type;
    EXPECT_EQ(manager->OpenForSyncType(), kErrAlreadyOpen);
    EXPECT_EQ(manager->ModifyRecordById(record), kOk) << type;
    EXPECT_EQ(manager->Close(true), kOk);
  }
  auto idle = Manager(6);
  EXPECT_EQ(idle->OpenForSyncType(), kOk);
  EXPECT_FALSE(idle->IsOpen());
  EXPECT_EQ(idle->FinishSync(), kOk);
  EXPECT_EQ(idle->Close(false), kErrNotOpen);
  EXPECT_EQ(Manager(8)->OpenForSyncType(), kErrUnknownSyncType);
  EXPECT_EQ(Manager(-1)->OpenForSyncType(), kErrUnknownSyncType);
  auto reader = Manager(0);
  ASSERT_EQ(reader->Open(kHandheldOpenRead), kOk);
  EXPECT_EQ(reader->AddRecord(record), kSyncErrReadOnly);
  EXPECT_EQ(reader->Close(true), kOk);
  EXPECT_EQ(reader->Open(4), kErrOpenFailed);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(HandheldDatabaseManagerOpenClose, OverwriteTypesDeleteTheDatabaseAndCreateItAnew) {
  for (std::int32_t type : {3, 4, 7}) {
    WriteDatabase(StartingDatabase());
    auto manager = Opened(type);
    std::int32_t count = -1;
    ASSERT_EQ(manager->RecordCount(count), kOk);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(manager->FinishSync(), kOk);
    const PdbFile file = OnDisk();
    EXPECT_EQ(file.header.creator, kCreator);
    EXPECT_EQ(file.header.type, kType);
    EXPECT_EQ(file.header.attributes, 0x0008);
    EXPECT_EQ(file.header.version, 3);
    EXPECT_TRUE(file.records.empty());
    EXPECT_FALSE(file.appInfo.has_value());
  }
  EXPECT_EQ(Manager(3, "Fresh")->OpenForSyncType(), kOk) << "nothing to delete";
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(HandheldDatabaseManagerOpenClose, FailedCreateIsLoggedWithTheDatabaseDescription) {
  FailCall(1);  // a failed delete does not stop the create, which finds the old database
  EXPECT_EQ(Manager(3)->OpenForSyncType(), kSyncErrExists);
  FailCall(2);  // the delete, then the create
  EXPECT_EQ(Manager(3)->OpenForSyncType(), kSyncErrStorage);
  log_.setLongDescription(true);
  FailCall(2);
  EXPECT_EQ(Manager(7)->OpenForSyncType(), kSyncErrStorage);
  const std::string text = " -- Failed to create HH Database: DB Name MemoDB, Creator ID 546c6d72";
  // "%4d" and "%5d" are field widths to wsprintfA.
  const std::string longText = text + ", Type " + std::to_string(kType) + ", Flags    8, Version     3";
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{kHeader,
                                              {-1, text + ", Error 16388"},
                                              {-1, text + ", Error 16394"},
                                              {-1, longText + ", Error 16394"}}));
}

TEST_F(HandheldDatabaseManagerOpenClose, NameIsBoundedAndTheDescriptionFixedWhileOpen) {
  const std::string tooLong(32, 'n');
  auto manager = Manager(0, tooLong.c_str());
  EXPECT_EQ(manager->OpenForSyncType(), kErrTooLong);
  EXPECT_EQ(manager->SetName(tooLong.c_str()), kErrTooLong);
  ASSERT_EQ(manager->SetName("MemoDB"), kOk);
  ASSERT_EQ(manager->OpenForSyncType(), kOk);
  EXPECT_EQ(manager->SetName("Other"), kErrAlreadyOpen);
  EXPECT_EQ(manager->SetCreatorId(1), kErrAlreadyOpen);
  EXPECT_EQ(manager->SetType(1), kErrAlreadyOpen);
  EXPECT_EQ(manager->SetFlags(1), kErrAlreadyOpen);
  EXPECT_EQ(manager->SetVersion(1), kErrAlreadyOpen);
  char name[8] = {};
  std::uint32_t capacity = 6;  // "MemoDB" needs 7 with its NUL
  EXPECT_EQ(manager->DatabaseName(name, capacity), kErrBufferTooSmall);
  EXPECT_EQ(capacity, 7u);
  ASSERT_EQ(manager->DatabaseName(name, capacity), kOk);
  EXPECT_STREQ(name, "MemoDB");
  EXPECT_EQ(Manager(0, std::string(31, 'x').c_str())->OpenForSyncType(), kErrHandheldDbMissing);
}

TEST_F(HandheldDatabaseManagerOpenClose, FinishSyncResetsTheFlagsExceptForType5) {
  ASSERT_EQ(Opened(5)->FinishSync(), kOk);
  EXPECT_EQ(OnDisk().records[1].attributes, 0x43) << "modified flag left as it was";
  ASSERT_EQ(Opened(0)->FinishSync(), kOk);
  const PdbFile file = OnDisk();
  ASSERT_EQ(file.records.size(), 4u) << "deleted and archived records go with the flags";
  for (const PdbRecord& r : file.records) EXPECT_FALSE(r.dirty()) << r.uniqueId;
}

TEST_F(HandheldDatabaseManagerOpenClose, FailedResetAndCloseAreLoggedAndTheHandleGivenUp) {
  auto manager = Opened(0);
  FailCall(1);
  EXPECT_EQ(manager->Close(false), kSyncErrStorage);
  EXPECT_FALSE(manager->IsOpen());
  ASSERT_EQ(manager->OpenForSyncType(), kOk) << "the failed reset did not keep the database open";
  FailCall(2);  // the reset, then the close
  EXPECT_EQ(manager->Close(false), kSyncErrStorage);
  EXPECT_EQ(manager->Close(false), kErrNotOpen);
  auto other = Manager(0, "Other");
  WriteDatabase(StartingDatabase("Other"));
  ASSERT_EQ(other->OpenForSyncType(), kOk);
  FailCall(1, SyncFaultKind::kCommunications);  // every later call fails too
  EXPECT_EQ(other->FinishSync(), kSyncErrCommLost) << "the reset's error";
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{
                            {18, "Could not clear Palm organizer's status flags. Error Code 400a"},
                            {22, " -- Could not close remote database. Error Code 400a"},
                            {18, "Could not clear Palm organizer's status flags. Error Code 2001"},
                            {22, " -- Could not close remote database. Error Code 2001"},
                        }));
}

TEST_F(HandheldDatabaseManagerReadForSync, FastLoadsTheModifiedRecordsSlowLoadsAllOverwritingLoadsNone) {
  auto fast = Opened(0);
  ASSERT_EQ(fast->ReadForSync(), kOk);
  EXPECT_EQ(fast->Capacity(), 12) << "twice the count";
  EXPECT_EQ(fast->StoredRecordCount(), 4);
  EXPECT_EQ(fast->RecordAt(0), nullptr);
  const CPRecord* dirty = fast->RecordAt(1);
  ASSERT_NE(dirty, nullptr);
  EXPECT_EQ(dirty->Id(), 0x102u);
  EXPECT_EQ(dirty->Category(), 3);
  EXPECT_EQ(dirty->Status(), kStatusModified);
  EXPECT_EQ(DataOf(*dirty), Text("dirty in three"));
  EXPECT_EQ(fast->RecordAt(3)->Status(), kStatusDeleted | kStatusModified) << "attributes 0xC0";
  EXPECT_EQ(fast->RecordAt(4)->Status(), kStatusDeleted | kStatusArchived);
  ASSERT_EQ(fast->Close(true), kOk);

  for (std::int32_t type : {1, 2, 5}) {
    auto manager = Opened(type);
    ASSERT_EQ(manager->ReadForSync(), kOk);
    ASSERT_EQ(manager->StoredRecordCount(), 6) << type;
    EXPECT_TRUE(manager->RecordAt(2)->IsPrivate());
    EXPECT_EQ(manager->RecordAt(2)->StateCode(), kStateNoStatus);
    ASSERT_EQ(manager->Close(true), kOk);
  }
  for (std::int32_t type : {3, 4, 6, 7}) {
    auto manager = Opened(type);
    const std::uint32_t calls = SyncCallCount();
    EXPECT_EQ(manager->ReadForSync(), kOk);
    EXPECT_EQ(SyncCallCount(), calls) << "nothing read from the handheld, type " << type;
    EXPECT_FALSE(manager->RecordsLoaded());
    EXPECT_EQ(manager->FinishSync(), kOk);
  }
}

TEST_F(HandheldDatabaseManagerReadForSync, FailedReadOfRecordNEndsTheLoadAndIsLogged) {
  auto slow = Opened(1);
  FailCall(4);  // the count, then records 0, 1 and 2
  EXPECT_EQ(slow->ReadForSync(), kSyncErrStorage);
  EXPECT_EQ(slow->StoredRecordCount(), 2);
  ASSERT_EQ(slow->Close(true), kOk);
  auto fast = Opened(0);
  FailCall(4);  // the count, the restart of the walk, the records at 1 and 3
  EXPECT_EQ(fast->ReadForSync(), kSyncErrStorage);
  EXPECT_EQ(fast->StoredRecordCount(), 1);
  const LogLine failed{8, " -- HH failed to read record: Record Index 2, Error 16394"};
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{kHeader, failed, failed}));
}

TEST_F(HandheldDatabaseManagerRecords, WalksGoOverLoadedRecordsOrStraightToTheHandheld) {
  auto slow = Opened(1);
  ASSERT_EQ(slow->ReadForSync(), kOk);
  auto manager = Manager(2, "Other");
  WriteDatabase(StartingDatabase("Other"));
  ASSERT_EQ(manager->Open(kHandheldOpenRead), kOk);
  for (HandheldDatabaseManager* m : {slow.get(), manager.get()}) {
    EXPECT_EQ(Walk(*m, [&](CPRecord& r) { return m->FirstRecord(r); }),
              (Ids{0x101, 0x102, 0x103, 0x104, 0x105, 0x106}));
    EXPECT_EQ(Walk(*m, [&](CPRecord& r) { return m->FirstChangedRecord(r); }), (Ids{0x102, 0x104, 0x105, 0x106}));
    for (int pass = 0; pass < 2; ++pass) {  // a new walk starts from the first record again
      EXPECT_EQ(Walk(*m, [&](CPRecord& r) { return m->FirstRecordInCategory(3, r); }), (Ids{0x102, 0x103}));
    }
    EXPECT_EQ(Walk(*m, [&](CPRecord& r) { return m->FirstChangedRecordInCategory(3, r); }), (Ids{0x102}));
  }
  EXPECT_FALSE(manager->RecordsLoaded());
  EXPECT_EQ(manager->Sort(kSortById), kErrNotSupported);
  CPRecord record;
  ASSERT_EQ(manager->FirstRecord(record), kOk);
  FailCall(1);
  EXPECT_EQ(manager->NextRecord(record), kSyncErrStorage);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{kHeader, {8, " -- HH failed to read record: Record Index 1, Error 16394"}}));
}

TEST_F(HandheldDatabaseManagerRecords, GetByIdReadsTheHandheldAndLogsRealFailures) {
  auto manager = Opened(0);
  CPRecord record;
  ASSERT_EQ(manager->GetRecordById(0x103, record), kOk);
  EXPECT_EQ(record.Index(), 2);
  EXPECT_EQ(record.Category(), 3);
  EXPECT_TRUE(record.IsPrivate());
  EXPECT_EQ(DataOf(record), Text("private in three"));
  // Not found is the answer for a record new to the handheld, not a failure.
  EXPECT_EQ(manager->GetRecordById(0x999, record), kSyncErrNotFound);
  EXPECT_EQ(record.Id(), 0x999u);
  EXPECT_EQ(record.DataLength(), 0u);
  EXPECT_EQ(record.Category(), 0);
  EXPECT_TRUE(LogLines().empty());
  FailCall(1);
  EXPECT_EQ(manager->GetRecordByIdLogged(0x101, record, false), kSyncErrStorage);
  EXPECT_TRUE(LogLines().empty());
  FailCall(1);
  EXPECT_EQ(manager->GetRecordById(0x101, record), kSyncErrStorage);
  EXPECT_EQ(manager->GetRecordByIdLogged(0x999, record, true), kSyncErrNotFound);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{kHeader,
                                              {8, " -- HH failed to read record: Record ID 257, Error 16394"},
                                              {8, " -- HH failed to read record: Record ID 2457, Error 16387"}}));
}

TEST_F(HandheldDatabaseManagerRecords, AddModifyAndDeleteReachTheHandheld) {
  auto manager = Opened(1);
  ASSERT_EQ(manager->ReadForSync(), kOk);
  CPRecord added = MakeRecord(0, 2, "memo");
  added.SetPrivate(true);
  added.SetStatus(kStatusModified | kStatusNew);
  ASSERT_EQ(manager->AddRecord(added), kOk);
  EXPECT_NE(added.Id(), 0u);
  EXPECT_EQ(added.Index(), 6);
  EXPECT_TRUE(added.HasNoStatus());

  CPRecord changed = MakeRecord(0x101, 0, "new");
  changed.SetModified(true);
  ASSERT_EQ(manager->ModifyRecordById(changed), kOk);
  EXPECT_EQ(changed.Index(), 0);

  CPRecord desktop = MakeRecord(0x103, 4, "desktop");  // replaces the record at index 2
  desktop.SetIndex(40);
  EXPECT_EQ(manager->ModifyRecordAtIndex(-1, desktop), kErrRecordNotFound);
  ASSERT_EQ(manager->ModifyRecordAtIndex(2, desktop), kOk);
  EXPECT_EQ(desktop.Index(), 2);
  EXPECT_EQ(DataOf(*manager->RecordAt(2)), Text("desktop")) << "the loaded copy follows";

  CPRecord gone = MakeRecord(0x106, 0, "");
  ASSERT_EQ(manager->DeleteRecord(gone), kOk);
  EXPECT_EQ(manager->DeleteRecord(gone), kSyncErrNotFound);
  ASSERT_EQ(manager->Close(true), kOk);
  const PdbFile file = OnDisk();
  ASSERT_EQ(file.records.size(), 6u);
  EXPECT_EQ(file.records[0].attributes, 0x40) << "dirty, unfiled";
  EXPECT_EQ(file.records[0].data, Text("new"));
  EXPECT_EQ(file.records[2].attributes, 4) << "category 4, no longer private";
  EXPECT_EQ(file.records[2].data, Text("desktop"));
  EXPECT_EQ(file.records[5].uniqueId, added.Id());
  EXPECT_EQ(file.records[5].attributes, 0x10 | 2) << "private, category 2, not dirty";
  EXPECT_EQ(file.records[5].data, Text("memo"));
}

TEST_F(HandheldDatabaseManagerRecords, PurgeAndCategoryChanges) {
  auto manager = Opened(1);
  FailCall(1);
  EXPECT_EQ(manager->PurgeDeletedRecords(), kSyncErrStorage);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{{10, "Could not purge the deleted records on Palm organizer. 400a"}}));
  ASSERT_EQ(manager->PurgeDeletedRecords(), kOk);
  for (std::int32_t bad : {-1, 16}) {
    EXPECT_EQ(manager->DeleteRecordsOfCategory(bad, true), kErrRecordCategoryIndex);
    EXPECT_EQ(manager->ChangeCategory(bad, 0), kErrRecordCategoryIndex);
    EXPECT_EQ(manager->ChangeCategory(0, bad), kErrRecordCategoryIndex);
  }
  ASSERT_EQ(manager->ChangeCategory(3, 5), kOk);
  ASSERT_EQ(manager->DeleteRecordsOfCategory(5, true), kOk);   // to Unfiled
  ASSERT_EQ(manager->DeleteRecordsOfCategory(1, false), kOk);  // purged
  std::int32_t count = 0;
  ASSERT_EQ(manager->RecordCount(count), kOk);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(manager->Close(true), kOk);
  const PdbFile file = OnDisk();
  ASSERT_EQ(file.records.size(), 3u);
  EXPECT_EQ(file.records[1].attributes, 0x40) << "dirty, moved from 3 through 5 to Unfiled";
  EXPECT_EQ(file.records[2].attributes, 0x10);
}

TEST_F(HandheldDatabaseManagerRecords, IdListsComeInPositionOrderAsNumbers) {
  auto manager = Opened(0);
  Ids ids(8, 0xDEADBEEF);
  std::int32_t count = 5;
  EXPECT_EQ(manager->ListRecordIds(ids.data(), count), kErrBufferTooSmall);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(manager->ListRecordIds(nullptr, count), kErrNullArgument);
  count = 8;
  ASSERT_EQ(manager->ListRecordIds(ids.data(), count), kOk);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(ids, (Ids{0x101, 0x102, 0x103, 0x104, 0x105, 0x106, 0xDEADBEEF, 0xDEADBEEF}));
  // An entry delivered as the bytes 02 01 00 00 (0x00000102 read on this host).
  const std::uint8_t delivered[4] = {0x02, 0x01, 0x00, 0x00};
  std::uint32_t entry = 0;
  std::memcpy(&entry, delivered, 4);
  manager->SwapIdList(&entry, 1);
  EXPECT_EQ(entry, 0x02010000u);
  EXPECT_EQ(manager->SwapBytes32(0x11223344u), 0x44332211u);
}

TEST_F(HandheldDatabaseManagerRecords, AFullHandheldListsEveryIdAndFindsTheLast) {
  PdbFile file = StartingDatabase();
  file.records.clear();
  for (std::uint32_t i = 0; i < 65535; ++i) file.records.push_back({0, 0x10000 + i, {std::uint8_t(i)}});
  WriteDatabase(file);
  auto manager = Opened(0);
  Ids ids(70000);
  std::int32_t count = 70000;
  ASSERT_EQ(manager->ListRecordIds(ids.data(), count), kOk);
  ASSERT_EQ(count, 65535);
  for (std::uint32_t i = 0; i < 65535; i += 4099) EXPECT_EQ(ids[i], 0x10000 + i);
  EXPECT_EQ(ids[65534], 0x10000u + 65534);
  CPRecord last;
  ASSERT_EQ(manager->GetRecordById(0x10000 + 65534, last), kOk);
  EXPECT_EQ(last.Index(), 65534);
}

TEST_F(HandheldDatabaseManagerAppInfo, CategoriesAndApplicationDataRoundTripThroughTheBlock) {
  auto manager = Opened(0);
  bool has = true;
  ASSERT_EQ(manager->HasApplicationData(has), kOk);
  EXPECT_FALSE(has) << "nothing before the block is read";
  ASSERT_EQ(manager->LoadCategories(), kOk);
  CPCategoryTable* table = manager->CategoryTable();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->Count(), 3);
  EXPECT_STREQ(table->At(3)->Name(), "Personal");
  std::uint8_t data[8] = {};
  std::uint32_t size = 7;
  EXPECT_EQ(manager->GetApplicationData(data, size), kErrBufferTooSmall);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(manager->GetApplicationData(nullptr, size), kErrNullArgument);
  ASSERT_EQ(manager->GetApplicationData(data, size), kOk);
  EXPECT_EQ(Bytes(data, data + 8), Text("APPDATA!"));

  const std::uint32_t calls = SyncCallCount();
  ASSERT_EQ(manager->StoreCategories(), kOk);
  EXPECT_EQ(SyncCallCount(), calls) << "nothing changed, nothing written";

  CPCategory travel;
  travel.SetIndex(5);
  travel.SetId(9);
  ASSERT_EQ(travel.SetName("Travel"), kOk);
  ASSERT_EQ(table->AddAndMarkDirty(travel), kOk);
  const Bytes huge(65520 - 276 + 1, 1);
  EXPECT_EQ(manager->SetApplicationData(static_cast<std::uint32_t>(huge.size()), huge.data()), kErrTooLong);
  EXPECT_EQ(manager->SetApplicationData(1, nullptr), kErrNullArgument);
  ASSERT_EQ(manager->SetApplicationData(3, Text("NEW").data()), kOk);
  ASSERT_EQ(manager->StoreCategories(), kOk);
  EXPECT_EQ(manager->AppInfoLength(), 0u) << "the block buffer is released once written";
  EXPECT_FALSE(table->IsDirty());
  ASSERT_EQ(manager->Close(true), kOk);
  std::vector<Category> expected = kCategories;
  expected.push_back({5, "Travel", 9});
  // The handheld's last unique id (3) stays in the block.
  EXPECT_EQ(OnDisk().appInfo, Concat(CategoryBlock(expected, 3), Text("NEW")));
}

TEST_F(HandheldDatabaseManagerAppInfo, BlocksCrossWholeAndTablesNeedOne) {
  auto manager = Opened(2);
  Bytes buffer(65520);
  DbBlockInfo info;
  info.data = buffer.data();
  info.bufferSize = 100;
  EXPECT_EQ(manager->GetAppInfo(info), kErrBufferTooSmall);
  EXPECT_EQ(info.bytesRead, 284);
  info.bufferSize = 65520;
  ASSERT_EQ(manager->GetAppInfo(info), kOk);
  EXPECT_STREQ(info.name, "MemoDB");
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 284), StartingDatabase().appInfo);
  EXPECT_EQ(manager->ReadBlock(info, true), kSyncErrNotFound) << "no sort info";
  const Bytes written = Text("a whole new block");
  DbBlockInfo replacement;
  replacement.data = const_cast<std::uint8_t*>(written.data());
  replacement.bufferSize = 65520;  // the caller's capacity; the block is bytesRead long
  replacement.bytesRead = static_cast<std::uint16_t>(written.size());
  ASSERT_EQ(manager->SetAppInfo(replacement), kOk);
  EXPECT_EQ(manager->LoadCategories(), kErrCategoryTableShort) << "the block is read again";
  ASSERT_EQ(manager->Close(true), kOk);
  EXPECT_EQ(OnDisk().appInfo, written);

  auto plain = Opened(0, kCapAppInfo);
  EXPECT_EQ(plain->LoadCategories(), kErrNoCategorySupport);
  ASSERT_EQ(plain->SetApplicationData(5, Text("plain").data()), kOk);
  ASSERT_EQ(plain->StoreCategories(), kOk);
  ASSERT_EQ(plain->Close(true), kOk);
  EXPECT_EQ(OnDisk().appInfo, Text("plain")) << "without categories the block is all application data";

  PdbFile bare = StartingDatabase("NoBlock");
  bare.appInfo.reset();
  WriteDatabase(bare);
  auto none = Manager(0, "NoBlock");
  ASSERT_EQ(none->OpenForSyncType(), kOk);
  EXPECT_EQ(none->LoadCategories(), kErrNoAppInfoForCategories);
}

}  // namespace
}  // namespace tallimor
