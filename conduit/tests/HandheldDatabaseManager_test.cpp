// Tests of the handheld database manager against an emulated handheld attached to
// the Sync Manager library: opening by sync type, loading and walking records,
// record and category changes as they reach the .pdb file, the app info block, and
// the result and log entry of every failure, forced with the library's faults.
#include "conduit/HandheldDatabaseManager.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
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

namespace tallimor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using LogLine = std::pair<std::int32_t, std::string>;  // activity, text

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

constexpr std::uint32_t kCreator = FourCc("Tlmr");
constexpr std::uint32_t kType = FourCc("DATA");
const LogLine kHeader{-1, "-- Generic Conduit"};

struct Category {
  int index;
  const char* name;
  std::uint8_t id;
};

// The stored category table, laid out by hand: changed-categories word (most
// significant byte first), 16 names of 16 bytes, 16 ids, last id, a zero byte.
Bytes CategoryBlock(const std::vector<Category>& categories, std::uint16_t changed,
                    std::uint8_t lastId) {
  Bytes block(276, 0);
  block[0] = static_cast<std::uint8_t>(changed >> 8);
  block[1] = static_cast<std::uint8_t>(changed);
  for (const Category& c : categories) {
    std::memcpy(block.data() + 2 + 16 * c.index, c.name, std::strlen(c.name));
    block[258 + c.index] = c.id;
  }
  block[274] = lastId;
  return block;
}

const std::vector<Category> kCategories = {{0, "Unfiled", 0}, {1, "Business", 1}, {3, "Personal", 3}};

Bytes StartingAppInfo() {
  Bytes block = CategoryBlock(kCategories, 0, 3);
  const Bytes tail = Text("APPDATA!");
  block.insert(block.end(), tail.begin(), tail.end());
  return block;
}

// The memo database the tests start from (attribute byte: flags | category).
PdbFile StartingDatabase() {
  PdbFile file;
  file.header.name = "MemoDB";
  file.header.type = kType;
  file.header.creator = kCreator;
  file.header.uniqueIdSeed = 0x200;
  file.appInfo = StartingAppInfo();
  file.records = {
      {0x00, 0x101, Text("clean unfiled")},
      {0x43, 0x102, Text("dirty in three")},
      {0x13, 0x103, Text("private in three")},
      {0xC0, 0x104, {}},                // deleted and dirty
      {0x88, 0x105, Text("archived")},  // archived
      {0x41, 0x106, Text("dirty in one")},
  };
  return file;
}

class HandheldManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tallimor-hhmgr-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    ASSERT_EQ(Handheld::Create(HandheldDir(), {"Taro", 7}, nullptr), kSyncErrNone);
    WriteDatabase(StartingDatabase());
    ASSERT_EQ(SyncAttachHandheld(HandheldDir().c_str()), kSyncErrNone) << SyncLastErrorDetail();
    ASSERT_EQ(SyncOpenConduit(&connection_), kSyncErrNone);
    fs::create_directories(dir_ + "/user");
    hotsyncLog_ = std::make_unique<HotSyncLog>(dir_ + "/user");
    ASSERT_EQ(hotsyncLog_->BeginRun(), kOk);
  }
  void TearDown() override {
    SyncDetachHandheld();
    hotsyncLog_.reset();
    fs::remove_all(dir_);
  }

  std::string HandheldDir() const { return dir_ + "/handheld"; }
  std::string DbPath(const std::string& name = "MemoDB") const { return HandheldDir() + "/" + name + ".pdb"; }
  void WriteDatabase(const PdbFile& file) {
    ASSERT_EQ(PdbWriter::WriteFile(DbPath(file.header.name), file, nullptr), kOk);
  }
  PdbFile OnDisk(const std::string& name = "MemoDB") const {
    PdbFile file;
    std::string error;
    EXPECT_EQ(PdbReader::ReadFile(DbPath(name), &file, &error), kOk) << error;
    return file;
  }
  std::unique_ptr<HandheldDatabaseManager> Manager(std::int32_t syncType, const char* name = "MemoDB",
                                                   std::uint32_t capabilities = kCapCategories | kCapAppInfo) {
    return std::make_unique<HandheldDatabaseManager>(&log_, capabilities, name, kCreator, kType, 0x0008, 3, 0,
                                                     syncType);
  }
  // A manager of MemoDB, opened for the sync type.
  std::unique_ptr<HandheldDatabaseManager> Opened(std::int32_t syncType,
                                                  std::uint32_t capabilities = kCapCategories | kCapAppInfo) {
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
  // The ids of a walk: the first step, then the next ones until the end.
  template <typename First>
  std::vector<std::uint32_t> Walk(HandheldDatabaseManager& manager, First first) {
    std::vector<std::uint32_t> ids;
    CPRecord record;
    Result r = first(record);
    for (; r == kOk; r = manager.NextRecord(record)) ids.push_back(record.Id());
    EXPECT_EQ(r, kErrNoMatch);
    return ids;
  }
  static Bytes DataOf(const CPRecord& record) {
    return record.Data() ? Bytes(record.Data(), record.Data() + record.DataLength()) : Bytes();
  }

  std::string dir_;
  std::uint32_t connection_ = 0;
  std::unique_ptr<HotSyncLog> hotsyncLog_;
  SyncLog log_{"Generic Conduit"};
};

using HandheldOpen = HandheldManagerTest;
using HandheldClose = HandheldManagerTest;
using HandheldReadForSync = HandheldManagerTest;
using HandheldRecordWalks = HandheldManagerTest;
using HandheldRecordById = HandheldManagerTest;
using HandheldRecordChanges = HandheldManagerTest;
using HandheldCategories = HandheldManagerTest;
using HandheldRecordIds = HandheldManagerTest;
using HandheldAppInfo = HandheldManagerTest;

// ---------------------------------------------------------------- opening

TEST_F(HandheldOpen, SyncTypesOpenReadWriteDoNothingOrRefuse) {
  for (std::int32_t type : {0, 1, 2, 5}) {
    auto manager = Manager(type);
    ASSERT_EQ(manager->OpenForSyncType(), kOk) << type;
    EXPECT_TRUE(manager->IsOpen());
    CPRecord record = CPRecord();
    record.SetId(0x101);
    EXPECT_EQ(manager->ModifyRecordById(record), kOk) << "opened for writing, type " << type;
    EXPECT_EQ(manager->Close(true), kOk);
  }
  auto idle = Manager(6);
  EXPECT_EQ(idle->OpenForSyncType(), kOk);
  EXPECT_FALSE(idle->IsOpen());
  EXPECT_EQ(Manager(8)->OpenForSyncType(), kErrUnknownSyncType);
  EXPECT_EQ(Manager(-1)->OpenForSyncType(), kErrUnknownSyncType);
  auto reader = Manager(0);
  ASSERT_EQ(reader->Open(kHandheldOpenRead), kOk);
  EXPECT_EQ(reader->Open(kHandheldOpenRead), kErrAlreadyOpen);
  CPRecord record;
  EXPECT_EQ(reader->AddRecord(record), kSyncErrReadOnly);
  EXPECT_EQ(reader->Close(true), kOk);
  EXPECT_EQ(reader->Open(9), kErrOpenFailed);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(HandheldOpen, MissingDatabaseIsReportedAsMissing) {
  for (std::int32_t type : {0, 1, 2, 5}) EXPECT_EQ(Manager(type, "Nothing")->OpenForSyncType(), kErrHandheldDbMissing);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(HandheldOpen, OverwriteTypesDeleteTheDatabaseAndCreateItAnew) {
  for (std::int32_t type : {3, 4, 7}) {
    WriteDatabase(StartingDatabase());
    auto manager = Manager(type);
    ASSERT_EQ(manager->OpenForSyncType(), kOk) << type;
    std::int32_t count = -1;
    ASSERT_EQ(manager->RecordCount(count), kOk);
    EXPECT_EQ(count, 0);
    ASSERT_EQ(manager->FinishSync(), kOk);
    const PdbFile file = OnDisk();
    EXPECT_EQ(file.header.name, "MemoDB");
    EXPECT_EQ(file.header.creator, kCreator);
    EXPECT_EQ(file.header.type, kType);
    EXPECT_EQ(file.header.attributes, 0x0008);
    EXPECT_EQ(file.header.version, 3);
    EXPECT_TRUE(file.records.empty());
    EXPECT_FALSE(file.appInfo.has_value());
  }
  // Nothing to delete: the create goes ahead all the same.
  auto fresh = Manager(3, "Fresh");
  EXPECT_EQ(fresh->OpenForSyncType(), kOk);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(HandheldOpen, FailedCreateIsLoggedWithTheDatabaseDescription) {
  // A failed delete does not stop the create, which then finds the old database.
  FailCall(1);
  EXPECT_EQ(Manager(3)->OpenForSyncType(), kSyncErrExists);
  auto manager = Manager(3);
  FailCall(2);  // the delete, then the create
  EXPECT_EQ(manager->OpenForSyncType(), kSyncErrStorage);
  EXPECT_FALSE(manager->IsOpen());
  log_.setLongDescription(true);
  FailCall(2);
  EXPECT_EQ(Manager(7)->OpenForSyncType(), kSyncErrStorage);
  // "%4d" and "%5d" are field widths to wsprintfA.
  const std::string longForm = "DB Name MemoDB, Creator ID 546c6d72, Type " + std::to_string(kType) +
                               ", Flags    8, Version     3";
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{
                            kHeader,
                            {-1, " -- Failed to create HH Database: DB Name MemoDB, Creator ID 546c6d72, Error 16388"},
                            {-1, " -- Failed to create HH Database: DB Name MemoDB, Creator ID 546c6d72, Error 16394"},
                            {-1, " -- Failed to create HH Database: " + longForm + ", Error 16394"},
                        }));
  EXPECT_EQ(OnDisk().records.size(), 6u) << "the old database is still on the handheld";
}

TEST_F(HandheldOpen, DescriptionIsFixedWhileOpenAndNamesAreBounded) {
  const std::string longName(32, 'n');
  auto refused = Manager(0, longName.c_str());
  EXPECT_EQ(refused->OpenForSyncType(), kErrTooLong);
  EXPECT_EQ(refused->SetName(longName.c_str()), kErrTooLong);
  EXPECT_EQ(refused->SetName(nullptr), kErrNullArgument);
  ASSERT_EQ(refused->SetName("MemoDB"), kOk);
  ASSERT_EQ(refused->OpenForSyncType(), kOk);

  EXPECT_EQ(refused->SetName("Other"), kErrAlreadyOpen);
  EXPECT_EQ(refused->SetCreatorId(1), kErrAlreadyOpen);
  EXPECT_EQ(refused->SetType(1), kErrAlreadyOpen);
  EXPECT_EQ(refused->SetFlags(1), kErrAlreadyOpen);
  EXPECT_EQ(refused->SetVersion(1), kErrAlreadyOpen);
  EXPECT_EQ(refused->CreatorId(), kCreator);
  EXPECT_EQ(refused->Type(), kType);
  EXPECT_EQ(refused->Flags(), 0x0008);
  EXPECT_EQ(refused->Version(), 3);

  char name[8] = {};
  std::uint32_t capacity = 6;  // "MemoDB" needs 7 with its NUL
  EXPECT_EQ(refused->DatabaseName(name, capacity), kErrBufferTooSmall);
  EXPECT_EQ(capacity, 7u);
  EXPECT_EQ(refused->DatabaseName(nullptr, capacity), kErrNullArgument);
  ASSERT_EQ(refused->DatabaseName(name, capacity), kOk);
  EXPECT_STREQ(name, "MemoDB");

  const std::string longest(31, 'x');
  EXPECT_EQ(Manager(0, longest.c_str())->OpenForSyncType(), kErrHandheldDbMissing);
}

// ---------------------------------------------------------------- closing

TEST_F(HandheldClose, FinishSyncResetsFlagsExceptForType5) {
  auto keeping = Opened(5);
  ASSERT_EQ(keeping->FinishSync(), kOk);
  EXPECT_FALSE(keeping->IsOpen());
  EXPECT_EQ(OnDisk().records.size(), 6u);
  EXPECT_EQ(OnDisk().records[1].attributes, 0x43) << "modified flag left as it was";
  EXPECT_EQ(keeping->Close(false), kErrNotOpen);
  EXPECT_EQ(Manager(6)->FinishSync(), kOk);

  auto resetting = Opened(0);
  ASSERT_EQ(resetting->FinishSync(), kOk);
  const PdbFile file = OnDisk();
  ASSERT_EQ(file.records.size(), 4u) << "deleted and archived records go with the flags";
  for (const PdbRecord& r : file.records) EXPECT_FALSE(r.dirty()) << r.uniqueId;
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(HandheldClose, FailedFlagResetIsLoggedAndTheDatabaseStillCloses) {
  auto manager = Opened(0);
  FailCall(1);
  EXPECT_EQ(manager->Close(false), kSyncErrStorage);
  EXPECT_FALSE(manager->IsOpen());
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{{18, "Could not clear Palm organizer's status flags. Error Code 400a"}}));
  EXPECT_EQ(OnDisk().records.size(), 6u);
  auto reopened = Manager(0);
  EXPECT_EQ(reopened->OpenForSyncType(), kOk) << "the handle was released";
}

TEST_F(HandheldClose, FailedCloseIsLoggedAndTheHandleGivenUp) {
  auto manager = Opened(0);
  FailCall(2);  // the reset, then the close
  EXPECT_EQ(manager->Close(false), kSyncErrStorage);
  EXPECT_FALSE(manager->IsOpen());
  EXPECT_EQ(manager->Close(false), kErrNotOpen);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{{22, " -- Could not close remote database. Error Code 400a"}}));
}

TEST_F(HandheldClose, LostLinkFailsBothStepsAndReportsTheReset) {
  auto manager = Opened(1);
  FailCall(1, SyncFaultKind::kCommunications);
  EXPECT_EQ(manager->FinishSync(), kSyncErrCommLost);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{
                            {18, "Could not clear Palm organizer's status flags. Error Code 2001"},
                            {22, " -- Could not close remote database. Error Code 2001"},
                        }));
}

// ---------------------------------------------------------------- loading records

TEST_F(HandheldReadForSync, FastSyncLoadsTheModifiedRecordsAtTheirIndexes) {
  auto manager = Opened(0);
  ASSERT_EQ(manager->ReadForSync(), kOk);
  EXPECT_TRUE(manager->RecordsLoaded());
  EXPECT_EQ(manager->Capacity(), 12) << "twice the count";
  EXPECT_EQ(manager->StoredRecordCount(), 4);
  EXPECT_EQ(manager->HighWaterMark(), 6);
  EXPECT_EQ(manager->RecordAt(0), nullptr);
  EXPECT_EQ(manager->RecordAt(2), nullptr);
  const CPRecord* dirty = manager->RecordAt(1);
  ASSERT_NE(dirty, nullptr);
  EXPECT_EQ(dirty->Id(), 0x102u);
  EXPECT_EQ(dirty->Index(), 1);
  EXPECT_EQ(dirty->Category(), 3);
  EXPECT_EQ(dirty->Status(), kStatusModified);
  EXPECT_EQ(DataOf(*dirty), Text("dirty in three"));
  EXPECT_EQ(manager->RecordAt(3)->Status(), kStatusDeleted | kStatusModified) << "attributes 0xC0";
  EXPECT_EQ(manager->RecordAt(4)->Status(), kStatusDeleted | kStatusArchived);
  EXPECT_EQ(DataOf(*manager->RecordAt(4)), Text("archived"));
  EXPECT_EQ(manager->RecordAt(5)->Id(), 0x106u);
}

TEST_F(HandheldReadForSync, SlowAndOverwritingSyncsLoadEveryRecord) {
  for (std::int32_t type : {1, 2, 5}) {
    auto manager = Opened(type);
    ASSERT_EQ(manager->ReadForSync(), kOk);
    ASSERT_EQ(manager->StoredRecordCount(), 6) << type;
    const CPRecord* secret = manager->RecordAt(2);
    EXPECT_TRUE(secret->IsPrivate());
    EXPECT_TRUE(secret->HasNoStatus());
    EXPECT_EQ(secret->Category(), 3);
    EXPECT_EQ(DataOf(*secret), Text("private in three"));
    EXPECT_EQ(manager->RecordAt(0)->StateCode(), kStateNoStatus);
    EXPECT_EQ(manager->Close(true), kOk);
  }
}

TEST_F(HandheldReadForSync, OverwritingTheHandheldReadsNothingFromIt) {
  for (std::int32_t type : {3, 4, 6, 7}) {
    auto manager = Opened(type);
    const std::uint32_t calls = SyncCallCount();
    EXPECT_EQ(manager->ReadForSync(), kOk);
    EXPECT_EQ(SyncCallCount(), calls) << type;
    EXPECT_FALSE(manager->RecordsLoaded());
    EXPECT_EQ(manager->StoredRecordCount(), 0);
    EXPECT_EQ(manager->FinishSync(), kOk);
  }
}

TEST_F(HandheldReadForSync, FailedReadOfRecordNEndsTheLoadAndIsLogged) {
  auto slow = Opened(1);
  FailCall(4);  // the count, then records 0, 1 and 2
  EXPECT_EQ(slow->ReadForSync(), kSyncErrStorage);
  EXPECT_EQ(slow->StoredRecordCount(), 2);
  auto fast = Manager(0);
  ASSERT_EQ(slow->Close(true), kOk);
  ASSERT_EQ(fast->OpenForSyncType(), kOk);
  FailCall(4);  // the count, the walk's restart, the records at 1 and 3
  EXPECT_EQ(fast->ReadForSync(), kSyncErrStorage);
  EXPECT_EQ(fast->StoredRecordCount(), 1);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{
                            kHeader,
                            {8, " -- HH failed to read record: Record Index 2, Error 16394"},
                            {8, " -- HH failed to read record: Record Index 2, Error 16394"},
                        }));
}

// ---------------------------------------------------------------- walks

TEST_F(HandheldRecordWalks, LoadedWalksFollowTheHandheldOrder) {
  auto fast = Opened(0);
  ASSERT_EQ(fast->ReadForSync(), kOk);
  auto& f = *fast;
  EXPECT_EQ(Walk(f, [&](CPRecord& r) { return f.FirstChangedRecord(r); }),
            (std::vector<std::uint32_t>{0x102, 0x104, 0x105, 0x106}));
  ASSERT_EQ(fast->Close(true), kOk);

  auto slow = Opened(1);
  ASSERT_EQ(slow->ReadForSync(), kOk);
  auto& s = *slow;
  EXPECT_EQ(Walk(s, [&](CPRecord& r) { return s.FirstRecord(r); }),
            (std::vector<std::uint32_t>{0x101, 0x102, 0x103, 0x104, 0x105, 0x106}));
  EXPECT_EQ(Walk(s, [&](CPRecord& r) { return s.FirstRecordInCategory(3, r); }),
            (std::vector<std::uint32_t>{0x102, 0x103}));
  EXPECT_EQ(Walk(s, [&](CPRecord& r) { return s.FirstChangedRecordInCategory(3, r); }),
            (std::vector<std::uint32_t>{0x102}));
  EXPECT_EQ(slow->Sort(kSortById), kErrNotSupported);
}

TEST_F(HandheldRecordWalks, WalksWithoutLoadedRecordsReadTheHandheld) {
  auto manager = Manager(2);
  ASSERT_EQ(manager->Open(kHandheldOpenRead), kOk);
  auto& m = *manager;
  EXPECT_EQ(Walk(m, [&](CPRecord& r) { return m.FirstRecord(r); }),
            (std::vector<std::uint32_t>{0x101, 0x102, 0x103, 0x104, 0x105, 0x106}));
  EXPECT_EQ(Walk(m, [&](CPRecord& r) { return m.FirstChangedRecord(r); }),
            (std::vector<std::uint32_t>{0x102, 0x104, 0x105, 0x106}));
  // Twice: a walk from the start restarts the handheld's own walk.
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(Walk(m, [&](CPRecord& r) { return m.FirstRecordInCategory(3, r); }),
              (std::vector<std::uint32_t>{0x102, 0x103}));
  }
  EXPECT_EQ(Walk(m, [&](CPRecord& r) { return m.FirstChangedRecordInCategory(3, r); }),
            (std::vector<std::uint32_t>{0x102}));
  CPRecord record;
  ASSERT_EQ(manager->FirstRecordInCategory(1, record), kOk);
  EXPECT_EQ(record.Id(), 0x106u);
  EXPECT_EQ(record.Status(), kStatusModified);
  EXPECT_FALSE(manager->RecordsLoaded());
  EXPECT_EQ(manager->StoredRecordCount(), 0);

  ASSERT_EQ(manager->FirstRecord(record), kOk);
  FailCall(1);
  EXPECT_EQ(manager->NextRecord(record), kSyncErrStorage);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{kHeader, {8, " -- HH failed to read record: Record Index 1, Error 16394"}}));
  ASSERT_EQ(manager->Close(true), kOk);
  EXPECT_EQ(manager->FirstRecord(record), kErrNotOpen);
}

// ---------------------------------------------------------------- by id

TEST_F(HandheldRecordById, FoundRecordsComeFromTheHandheld) {
  auto manager = Opened(0);
  CPRecord record;
  ASSERT_EQ(manager->GetRecordById(0x103, record), kOk);
  EXPECT_EQ(record.Id(), 0x103u);
  EXPECT_EQ(record.Index(), 2);
  EXPECT_EQ(record.Category(), 3);
  EXPECT_TRUE(record.IsPrivate());
  EXPECT_EQ(DataOf(record), Text("private in three"));
  EXPECT_EQ(record.Handle(), manager->Handle());
}

TEST_F(HandheldRecordById, NotFoundClearsTheRecordAndIsNoFailure) {
  auto manager = Opened(0);
  CPRecord record;
  record.SetCategory(5);
  ASSERT_EQ(record.SetData(3, reinterpret_cast<const std::uint8_t*>("old")), kOk);
  EXPECT_EQ(manager->GetRecordById(0x999, record), kSyncErrNotFound);
  EXPECT_EQ(record.Id(), 0x999u);
  EXPECT_EQ(record.DataLength(), 0u);
  EXPECT_EQ(record.Category(), 0);
  EXPECT_TRUE(LogLines().empty());
  EXPECT_EQ(manager->GetRecordByIdLogged(0x999, record, true), kSyncErrNotFound);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{kHeader, {8, " -- HH failed to read record: Record ID 2457, Error 16387"}}));
}

TEST_F(HandheldRecordById, FailedReadIsLoggedWhenAsked) {
  auto manager = Opened(0);
  CPRecord record;
  FailCall(1);
  EXPECT_EQ(manager->GetRecordByIdLogged(0x101, record, false), kSyncErrStorage);
  EXPECT_EQ(record.Id(), 0x101u);
  EXPECT_TRUE(LogLines().empty());
  FailCall(1);
  EXPECT_EQ(manager->GetRecordById(0x101, record), kSyncErrStorage);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{kHeader, {8, " -- HH failed to read record: Record ID 257, Error 16394"}}));
  ASSERT_EQ(manager->Close(true), kOk);
  EXPECT_EQ(manager->GetRecordByIdLogged(0x101, record, false), kErrNotOpen);
}

// ---------------------------------------------------------------- changes

TEST_F(HandheldRecordChanges, AddClearsTheStatusAndTakesTheHandheldsIdAndIndex) {
  auto manager = Opened(1);
  CPRecord record;
  record.SetId(0);
  record.SetCategory(2);
  record.SetPrivate(true);
  record.SetModified(true);
  record.SetNew(true);
  ASSERT_EQ(record.SetData(4, reinterpret_cast<const std::uint8_t*>("memo")), kOk);
  ASSERT_EQ(manager->AddRecord(record), kOk);
  EXPECT_NE(record.Id(), 0u);
  EXPECT_EQ(record.Index(), 6);
  EXPECT_TRUE(record.HasNoStatus());
  CPRecord unnumbered;  // id -1: the handheld numbers it too
  ASSERT_EQ(manager->AddCleanRecord(unnumbered), kOk);
  EXPECT_EQ(unnumbered.Index(), 7);
  ASSERT_EQ(manager->Close(true), kOk);
  const PdbFile file = OnDisk();
  ASSERT_EQ(file.records.size(), 8u);
  EXPECT_EQ(file.records[6].uniqueId, record.Id());
  EXPECT_EQ(file.records[6].attributes, 0x10 | 2) << "private, category 2, not dirty";
  EXPECT_EQ(file.records[6].data, Text("memo"));
  EXPECT_EQ(file.records[7].uniqueId, unnumbered.Id());
}

TEST_F(HandheldRecordChanges, ModifyWritesTheRecordAsItIs) {
  auto manager = Opened(1);
  ASSERT_EQ(manager->ReadForSync(), kOk);
  CPRecord record;
  ASSERT_EQ(manager->GetRecordById(0x101, record), kOk);
  ASSERT_EQ(record.SetData(3, reinterpret_cast<const std::uint8_t*>("new")), kOk);
  record.SetModified(true);
  ASSERT_EQ(manager->ModifyRecordById(record), kOk);
  EXPECT_EQ(record.Index(), 0);

  CPRecord desktop;  // the desktop's version of the record at handheld index 2
  desktop.SetId(0x103);
  desktop.SetIndex(40);
  desktop.SetCategory(4);
  ASSERT_EQ(desktop.SetData(7, reinterpret_cast<const std::uint8_t*>("desktop")), kOk);
  EXPECT_EQ(manager->ModifyRecordAtIndex(-1, desktop), kErrRecordNotFound);
  ASSERT_EQ(manager->ModifyRecordAtIndex(2, desktop), kOk);
  EXPECT_EQ(desktop.Index(), 2);
  const CPRecord* kept = manager->RecordAt(2);
  ASSERT_NE(kept, nullptr);
  EXPECT_EQ(DataOf(*kept), Text("desktop"));
  EXPECT_EQ(kept->Category(), 4);

  ASSERT_EQ(manager->Close(true), kOk);
  const PdbFile file = OnDisk();
  EXPECT_EQ(file.records[0].attributes, 0x40) << "dirty, unfiled";
  EXPECT_EQ(file.records[0].data, Text("new"));
  EXPECT_EQ(file.records[2].attributes, 4);
  EXPECT_EQ(file.records[2].data, Text("desktop"));
}

TEST_F(HandheldRecordChanges, RecordCopiesGoOnlyWhereTheTableHasSlots) {
  auto manager = Opened(1);
  CPRecord record;
  record.SetIndex(0);
  EXPECT_EQ(manager->StoreRecordCopy(record), kErrNoRecordList);
  ASSERT_EQ(manager->ReadForSync(), kOk);
  record.SetIndex(12);
  EXPECT_EQ(manager->StoreRecordCopy(record), kErrBadCategoryIndex);
  record.SetIndex(11);
  EXPECT_EQ(manager->StoreRecordCopy(record), kOk);
  EXPECT_EQ(manager->StoredRecordCount(), 7);
}

TEST_F(HandheldRecordChanges, DeleteAndPurge) {
  auto manager = Opened(1);
  CPRecord record;
  record.SetId(0x101);
  ASSERT_EQ(manager->DeleteRecord(record), kOk);
  EXPECT_EQ(manager->DeleteRecord(record), kSyncErrNotFound);
  ASSERT_EQ(manager->PurgeDeletedRecords(), kOk);
  std::int32_t count = 0;
  ASSERT_EQ(manager->RecordCount(count), kOk);
  EXPECT_EQ(count, 3);
  ASSERT_EQ(manager->Close(true), kOk);
  const PdbFile file = OnDisk();
  ASSERT_EQ(file.records.size(), 3u);
  EXPECT_EQ(file.records[0].uniqueId, 0x102u);
  EXPECT_EQ(file.records[2].uniqueId, 0x106u);
  EXPECT_TRUE(LogLines().empty());
}

TEST_F(HandheldRecordChanges, FailedPurgeIsLoggedAndReturned) {
  auto manager = Opened(0);
  FailCall(1);
  EXPECT_EQ(manager->PurgeDeletedRecords(), kSyncErrStorage);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{{10, "Could not purge the deleted records on Palm organizer. 400a"}}));
  ASSERT_EQ(manager->Close(true), kOk);
  EXPECT_EQ(OnDisk().records.size(), 6u);
}

// ---------------------------------------------------------------- categories

TEST_F(HandheldCategories, MoveToUnfiledPurgeAndChange) {
  auto manager = Opened(1);
  for (std::int32_t bad : {-1, 16}) {
    EXPECT_EQ(manager->DeleteRecordsOfCategory(bad, true), kErrRecordCategoryIndex);
    EXPECT_EQ(manager->ChangeCategory(bad, 0), kErrRecordCategoryIndex);
    EXPECT_EQ(manager->ChangeCategory(0, bad), kErrRecordCategoryIndex);
  }
  ASSERT_EQ(manager->ChangeCategory(3, 5), kOk);
  ASSERT_EQ(manager->DeleteRecordsOfCategory(5, true), kOk);
  ASSERT_EQ(manager->DeleteRecordsOfCategory(1, false), kOk);
  ASSERT_EQ(manager->Close(true), kOk);
  const PdbFile file = OnDisk();
  ASSERT_EQ(file.records.size(), 5u);
  EXPECT_EQ(file.records[1].attributes, 0x40) << "dirty, moved from 3 through 5 to Unfiled";
  EXPECT_EQ(file.records[2].attributes, 0x10);
  for (const PdbRecord& r : file.records) EXPECT_NE(r.uniqueId, 0x106u);
}

// ---------------------------------------------------------------- id lists

TEST_F(HandheldRecordIds, IdsComeInPositionOrderAsNumbers) {
  auto manager = Opened(0);
  std::int32_t count = 5;
  std::vector<std::uint32_t> ids(8, 0xDEADBEEF);
  EXPECT_EQ(manager->ListRecordIds(ids.data(), count), kErrBufferTooSmall);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(manager->ListRecordIds(nullptr, count), kErrNullArgument);
  count = 8;
  ASSERT_EQ(manager->ListRecordIds(ids.data(), count), kOk);
  EXPECT_EQ(count, 6);
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{0x101, 0x102, 0x103, 0x104, 0x105, 0x106, 0xDEADBEEF, 0xDEADBEEF}));
}

TEST_F(HandheldRecordIds, EntriesDeliveredMostSignificantByteFirstAreSwapped) {
  auto manager = Manager(0);
  const std::uint8_t delivered[2][4] = {{0x02, 0x01, 0x00, 0x00}, {0x00, 0x12, 0x34, 0x56}};
  std::uint32_t entries[2];
  std::memcpy(entries, delivered, sizeof entries);
  manager->SwapIdList(entries, 2);
  EXPECT_EQ(entries[0], 0x02010000u);
  EXPECT_EQ(entries[1], 0x00123456u);
  EXPECT_EQ(manager->SwapBytes32(0x00000102u), 0x02010000u);
  EXPECT_EQ(manager->SwapBytes32(0x11223344u), 0x44332211u);
}

TEST_F(HandheldRecordIds, AFullHandheldListsEveryIdAndFindsTheLast) {
  PdbFile file = StartingDatabase();
  file.records.clear();
  for (std::uint32_t i = 0; i < 65535; ++i) file.records.push_back({0, 0x10000 + i, {std::uint8_t(i)}});
  WriteDatabase(file);
  auto manager = Opened(0);
  std::vector<std::uint32_t> ids(70000);
  std::int32_t count = 70000;
  ASSERT_EQ(manager->ListRecordIds(ids.data(), count), kOk);
  ASSERT_EQ(count, 65535);
  for (std::uint32_t i = 0; i < 65535; i += 4097) EXPECT_EQ(ids[i], 0x10000 + i);
  EXPECT_EQ(ids[65534], 0x10000u + 65534);
  CPRecord last;
  ASSERT_EQ(manager->GetRecordById(0x10000 + 65534, last), kOk);
  EXPECT_EQ(last.Index(), 65534);
}

// ---------------------------------------------------------------- app info

TEST_F(HandheldAppInfo, CategoriesAndApplicationDataComeFromTheBlock) {
  auto manager = Opened(0);
  bool has = true;
  ASSERT_EQ(manager->HasApplicationData(has), kOk);
  EXPECT_FALSE(has) << "nothing before the block is read";
  ASSERT_EQ(manager->LoadCategories(), kOk);
  const CPCategoryTable* table = manager->CategoryTable();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->Count(), 3);
  EXPECT_STREQ(table->At(3)->Name(), "Personal");
  EXPECT_EQ(table->At(1)->Id(), 1);
  ASSERT_EQ(manager->HasApplicationData(has), kOk);
  EXPECT_TRUE(has);
  std::uint32_t length = 0;
  ASSERT_EQ(manager->ApplicationDataLength(length), kOk);
  EXPECT_EQ(length, 8u);
  std::uint8_t data[8] = {};
  std::uint32_t size = 7;
  EXPECT_EQ(manager->GetApplicationData(data, size), kErrBufferTooSmall);
  EXPECT_EQ(size, 8u);
  EXPECT_EQ(manager->GetApplicationData(nullptr, size), kErrNullArgument);
  ASSERT_EQ(manager->GetApplicationData(data, size), kOk);
  EXPECT_EQ(Bytes(data, data + 8), Text("APPDATA!"));
  EXPECT_EQ(Bytes(manager->ApplicationData(), manager->ApplicationData() + 8), Text("APPDATA!"));

  // Nothing changed: nothing is written.
  const std::uint32_t calls = SyncCallCount();
  ASSERT_EQ(manager->StoreCategories(), kOk);
  EXPECT_EQ(SyncCallCount(), calls);
}

TEST_F(HandheldAppInfo, ChangedCategoriesAreWrittenBeforeTheApplicationData) {
  auto manager = Opened(0);
  ASSERT_EQ(manager->LoadCategories(), kOk);
  CPCategory travel;
  travel.SetIndex(5);
  travel.SetId(9);
  ASSERT_EQ(travel.SetName("Travel"), kOk);
  ASSERT_EQ(manager->CategoryTable()->AddAndMarkDirty(travel), kOk);
  ASSERT_EQ(manager->StoreCategories(), kOk);
  EXPECT_EQ(manager->AppInfoLength(), 0u) << "the block buffer is released once written";
  EXPECT_FALSE(manager->CategoryTable()->IsDirty());
  ASSERT_EQ(manager->Close(true), kOk);
  std::vector<Category> expected = kCategories;
  expected.push_back({5, "Travel", 9});
  // The handheld's last unique id stays; the changed-categories word is cleared.
  Bytes block = CategoryBlock(expected, 0, 3);
  const Bytes tail = Text("APPDATA!");
  block.insert(block.end(), tail.begin(), tail.end());
  EXPECT_EQ(OnDisk().appInfo, block);
}

TEST_F(HandheldAppInfo, NewApplicationDataReplacesTheOldAfterTheTable) {
  auto manager = Opened(0);
  const Bytes huge(65520 - 276 + 1, 1);
  EXPECT_EQ(manager->SetApplicationData(static_cast<std::uint32_t>(huge.size()), huge.data()), kErrTooLong);
  EXPECT_EQ(manager->SetApplicationData(1, nullptr), kErrNullArgument);
  const Bytes fresh = Text("NEW");
  ASSERT_EQ(manager->SetApplicationData(3, fresh.data()), kOk);
  std::uint32_t length = 0;
  ASSERT_EQ(manager->ApplicationDataLength(length), kOk);
  EXPECT_EQ(length, 3u);
  ASSERT_EQ(manager->StoreCategories(), kOk);
  ASSERT_EQ(manager->Close(true), kOk);
  Bytes block = CategoryBlock(kCategories, 0, 3);
  block.insert(block.end(), fresh.begin(), fresh.end());
  EXPECT_EQ(OnDisk().appInfo, block) << "the table read from the handheld is kept";
}

TEST_F(HandheldAppInfo, BlocksCrossWhole) {
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
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 284), StartingAppInfo());
  EXPECT_EQ(manager->ReadBlock(info, true), kSyncErrNotFound) << "no sort info";

  ASSERT_EQ(manager->LoadCategories(), kOk);
  const Bytes written = Text("a whole new block");
  DbBlockInfo replacement;
  replacement.data = const_cast<std::uint8_t*>(written.data());
  replacement.bufferSize = 65520;  // a caller's capacity; the block is bytesRead long
  replacement.bytesRead = static_cast<std::uint16_t>(written.size());
  ASSERT_EQ(manager->SetAppInfo(replacement), kOk);
  EXPECT_EQ(manager->AppInfoLength(), 0u);
  replacement.data = nullptr;
  EXPECT_EQ(manager->SetAppInfo(replacement), kErrNullArgument);
  ASSERT_EQ(manager->Close(true), kOk);
  EXPECT_EQ(OnDisk().appInfo, written);
}

TEST_F(HandheldAppInfo, CategoryTablesNeedCategoriesAndAWholeTable) {
  for (const auto& [capabilities, expected] : {std::pair{kCapAppInfo, kErrNoCategorySupport}, std::pair{0u, kOk}}) {
    auto manager = Opened(0, capabilities);
    EXPECT_EQ(manager->LoadCategories(), expected) << capabilities;
    EXPECT_EQ(manager->CategoryTable(), nullptr);
    ASSERT_EQ(manager->Close(true), kOk);
  }

  PdbFile file = StartingDatabase();
  file.header.name = "NoBlock";
  file.appInfo.reset();
  WriteDatabase(file);
  auto bare = Manager(0, "NoBlock");
  ASSERT_EQ(bare->OpenForSyncType(), kOk);
  EXPECT_EQ(bare->LoadCategories(), kErrNoAppInfoForCategories);

  file.header.name = "ShortBlock";
  file.appInfo = Bytes(275, 0);
  WriteDatabase(file);
  auto shortBlock = Manager(0, "ShortBlock");
  ASSERT_EQ(shortBlock->OpenForSyncType(), kOk);
  EXPECT_EQ(shortBlock->LoadCategories(), kErrCategoryTableShort);
}

TEST_F(HandheldAppInfo, WithoutCategoriesTheWholeBlockIsApplicationData) {
  auto manager = Opened(0, kCapAppInfo);
  const Bytes data = Text("plain");
  ASSERT_EQ(manager->SetApplicationData(5, data.data()), kOk);
  std::uint32_t length = 0;
  ASSERT_EQ(manager->ApplicationDataLength(length), kOk);
  EXPECT_EQ(length, 5u);
  ASSERT_EQ(manager->StoreCategories(), kOk);
  ASSERT_EQ(manager->Close(true), kOk);
  EXPECT_EQ(OnDisk().appInfo, data);
}

}  // namespace
}  // namespace tallimor
