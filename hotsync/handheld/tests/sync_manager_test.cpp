// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the Sync Manager library as a conduit uses it: connection and database
// lifetime, record reads and writes with their attributes, purges, the position
// map, app info, what reaches the files and when, fault injection at every call,
// and the scale of a full handheld.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "hotsync/handheld/SyncManager.h"
#include "hotsync/pdb/PdbReader.h"
#include "hotsync/pdb/PdbWriter.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

// The memo database the tests start from, written independently of the library.
PdbFile StartingDatabase() {
  PdbFile file;
  file.header.name = "TallimorDB";
  file.header.type = FourCc("DATA");
  file.header.creator = FourCc("Tlmr");
  file.header.uniqueIdSeed = 0x100;
  file.appInfo = Bytes(280, 0xA5);
  file.records = {
      {0x00, 0x000101, Text("clean unfiled")},
      {0x43, 0x000102, Text("dirty in three")},
      {0x13, 0x000103, Text("private in three")},
      {0xC0, 0x000104, {}},                       // deleted and dirty
      {0x88, 0x000105, Text("archived")},         // archived
      {0x25, 0x000106, Text("busy")},             // busy: no category, not modified
      {0x51, 0x000107, Text("dirty private in one")},
  };
  return file;
}

class SyncManagerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    ASSERT_EQ(Handheld::Create(dir_, {"Taro", 4242}, nullptr), kSyncErrNone);
    ASSERT_EQ(PdbWriter::WriteFile(DbPath(), StartingDatabase(), nullptr), kOk);
    ASSERT_EQ(SyncAttachHandheld(dir_.c_str()), kSyncErrNone) << SyncLastErrorDetail();
  }
  void TearDown() override {
    SyncDetachHandheld();
  }
  std::string DbPath(const std::string& name = "TallimorDB") const { return dir_ + "/" + name + ".pdb"; }
  PdbFile OnDisk(const std::string& name = "TallimorDB") const {
    PdbFile file;
    std::string error;
    EXPECT_EQ(PdbReader::ReadFile(DbPath(name), &file, &error), kOk) << error;
    return file;
  }
  void Connect() { ASSERT_EQ(SyncOpenConduit(&connection_), kSyncErrNone); }
  std::uint8_t Open(std::uint8_t mode = kSyncModeReadWrite) {
    std::uint8_t handle = 0;
    EXPECT_EQ(SyncOpenDB("TallimorDB", 0, &handle, mode), kSyncErrNone);
    return handle;
  }
  // A raw record with a buffer of the Sync Manager's size.
  RawRecordInfo Raw(std::uint8_t handle) {
    RawRecordInfo raw;
    raw.handle = handle;
    raw.bufferSize = static_cast<std::uint16_t>(kSyncMaxRecordSize);
    raw.data = buffer_.data();
    return raw;
  }
  Bytes DataOf(const RawRecordInfo& raw) const { return Bytes(raw.data, raw.data + raw.recordSize); }

  tallimor::testing::TempDir temp_{"sync"};  // removed after the test
  std::string dir_;
  std::uint32_t connection_ = 0;
  Bytes buffer_ = Bytes(kSyncMaxRecordSize);
};

// --- Connection -------------------------------------------------------------------

TEST(SyncAttach, NothingWorksWithoutAHandheld) {
  SyncSystemInfo info;
  EXPECT_EQ(SyncReadSystemInfo(&info), kSyncErrNotConnected);
  std::uint32_t connection = 0;
  EXPECT_EQ(SyncOpenConduit(&connection), kSyncErrNotConnected);
  EXPECT_EQ(SyncAttachHandheld("/nonexistent/handheld"), kSyncErrNotFound);
  EXPECT_NE(std::string(SyncLastErrorDetail()).find("handheld.ini"), std::string::npos);
}

TEST_F(SyncManagerTest, ConnectionGatesDatabaseOperations) {
  std::uint8_t handle = 0;
  EXPECT_EQ(SyncOpenDB("TallimorDB", 0, &handle, kSyncModeRead), kSyncErrNotConnected);
  SyncSystemInfo info;
  ASSERT_EQ(SyncReadSystemInfo(&info), kSyncErrNone);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.productId), info.productIdLength), "Tallimor");
  HandheldIdentity identity;
  ASSERT_EQ(SyncReadUserId(&identity), kSyncErrNone);
  EXPECT_EQ(identity.userName, "Taro");
  EXPECT_EQ(identity.userId, 4242u);
  Connect();
  std::uint32_t second = 0;
  EXPECT_EQ(SyncOpenConduit(&second), kSyncErrAlreadyConnected);
  EXPECT_EQ(SyncCloseConduit(connection_ + 1), kSyncErrBadArgument);
  EXPECT_EQ(SyncCloseConduit(connection_), kSyncErrNone);
  EXPECT_EQ(SyncOpenDB("TallimorDB", 0, &handle, kSyncModeRead), kSyncErrNotConnected);
  EXPECT_EQ(SyncAttachHandheld(dir_.c_str()), kSyncErrAlreadyConnected);
}

TEST_F(SyncManagerTest, UserIdWrittenOnFirstHotSyncIsStored) {
  ASSERT_EQ(SyncWriteUserId({"Taro", 99}), kSyncErrNone);
  std::unique_ptr<Handheld> reopened;
  ASSERT_EQ(Handheld::Open(dir_, &reopened, nullptr), kSyncErrNone);
  EXPECT_EQ(reopened->identity().userId, 99u);
}

TEST_F(SyncManagerTest, DatabaseListDescribesEachDatabase) {
  DbDescriptor descriptor;
  ASSERT_EQ(SyncReadDBList(0, &descriptor), kSyncErrNone);
  EXPECT_STREQ(descriptor.name, "TallimorDB");
  // Packed fields are copied out before comparing: references to them may be misaligned.
  const std::uint32_t creator = descriptor.creator, type = descriptor.type;
  EXPECT_EQ(creator, FourCc("Tlmr"));
  EXPECT_EQ(type, FourCc("DATA"));
  EXPECT_EQ(SyncReadDBList(1, &descriptor), kSyncErrNotFound);
  EXPECT_EQ(offsetof(DbDescriptor, creator), 42u);
  EXPECT_EQ(offsetof(DbDescriptor, backupDate), 62u);
  EXPECT_EQ(offsetof(DbCreateInfo, name), 10u);
  EXPECT_EQ(offsetof(DbCreateInfo, version), 46u);
}

// --- Opening, creating, deleting ------------------------------------------------------

TEST_F(SyncManagerTest, OpenModesAndMissingOrDamagedDatabases) {
  Connect();
  std::uint8_t handle = 0;
  EXPECT_EQ(SyncOpenDB("NoSuchDB", 0, &handle, kSyncModeRead), kSyncErrNotFound);
  EXPECT_EQ(SyncOpenDB("TallimorDB", 0, &handle, 0x00), kSyncErrBadArgument);
  EXPECT_EQ(SyncOpenDB("../etc", 0, &handle, kSyncModeRead), kSyncErrBadArgument);
  handle = Open(kSyncModeRead);
  EXPECT_EQ(SyncOpenDB("TallimorDB", 0, &handle, kSyncModeRead), kSyncErrDatabaseOpen);
  RawRecordInfo raw = Raw(handle);
  EXPECT_EQ(SyncWriteRec(&raw), kSyncErrReadOnly);
  EXPECT_EQ(SyncResetSyncFlags(handle), kSyncErrReadOnly);
  EXPECT_EQ(SyncPurgeDeletedRecs(handle), kSyncErrReadOnly);
  EXPECT_EQ(SyncCloseDB(handle), kSyncErrNone);
  EXPECT_EQ(SyncCloseDB(handle), kSyncErrBadHandle);

  std::ofstream(DbPath("Broken")) << std::string(100, 'x');
  EXPECT_EQ(SyncOpenDB("Broken", 0, &handle, kSyncModeRead), kSyncErrCorruptDatabase);
  EXPECT_NE(std::string(SyncLastErrorDetail()).find("Broken.pdb"), std::string::npos);
}

TEST_F(SyncManagerTest, CreateGivesAnOpenEmptyDatabaseWrittenAtClose) {
  Connect();
  DbCreateInfo info;
  std::memset(&info, 0, sizeof info);
  info.creator = FourCc("Tlmr");
  info.type = FourCc("DATA");
  info.version = 3;
  std::strcpy(info.name, "NewDB");
  ASSERT_EQ(SyncCreateDB(&info), kSyncErrNone);
  EXPECT_NE(info.handle, 0);
  EXPECT_FALSE(fs::exists(DbPath("NewDB"))) << "nothing reaches the disk before close";
  DbCreateInfo again = info;
  EXPECT_EQ(SyncCreateDB(&again), kSyncErrExists);
  std::strcpy(again.name, "TallimorDB");
  EXPECT_EQ(SyncCreateDB(&again), kSyncErrExists);
  std::uint16_t count = 9;
  ASSERT_EQ(SyncGetDBRecordCount(info.handle, &count), kSyncErrNone);
  EXPECT_EQ(count, 0);
  ASSERT_EQ(SyncCloseDB(info.handle), kSyncErrNone);
  const PdbFile file = OnDisk("NewDB");
  EXPECT_EQ(file.header.name, "NewDB");
  EXPECT_EQ(file.header.version, 3);
  EXPECT_EQ(file.header.creator, FourCc("Tlmr"));
}

TEST_F(SyncManagerTest, DeleteThenCreateReplacesTheFileOnlyAtClose) {
  Connect();
  EXPECT_EQ(SyncDeleteDB("NoSuchDB", 0), kSyncErrNotFound);
  ASSERT_EQ(SyncDeleteDB("TallimorDB", 0), kSyncErrNone);
  std::uint8_t handle = 0;
  EXPECT_EQ(SyncOpenDB("TallimorDB", 0, &handle, kSyncModeRead), kSyncErrNotFound);
  EXPECT_EQ(SyncDeleteDB("TallimorDB", 0), kSyncErrNotFound);
  EXPECT_TRUE(fs::exists(DbPath())) << "the old file stays until it is replaced or the run ends";
  DbCreateInfo info;
  std::memset(&info, 0, sizeof info);
  std::strcpy(info.name, "TallimorDB");
  ASSERT_EQ(SyncCreateDB(&info), kSyncErrNone);
  EXPECT_EQ(OnDisk().records.size(), 7u);
  ASSERT_EQ(SyncCloseDB(info.handle), kSyncErrNone);
  EXPECT_TRUE(OnDisk().records.empty());
  ASSERT_EQ(SyncCloseConduit(connection_), kSyncErrNone);
  EXPECT_TRUE(fs::exists(DbPath())) << "the new database is not removed with the old one";
}

TEST_F(SyncManagerTest, DeletedDatabaseGoesWhenTheRunEndsButNotWhenItIsCutShort) {
  Connect();
  ASSERT_EQ(SyncDeleteDB("TallimorDB", 0), kSyncErrNone);
  SyncDetachHandheld();  // the run is cut short
  EXPECT_TRUE(fs::exists(DbPath()));
  ASSERT_EQ(SyncAttachHandheld(dir_.c_str()), kSyncErrNone);
  Connect();
  ASSERT_EQ(SyncDeleteDB("TallimorDB", 0), kSyncErrNone);
  ASSERT_EQ(SyncCloseConduit(connection_), kSyncErrNone);
  EXPECT_FALSE(fs::exists(DbPath()));
}

TEST_F(SyncManagerTest, ChangesReachTheFileOnlyWhenClosed) {
  Connect();
  const std::uint8_t handle = Open();
  RawRecordInfo raw = Raw(handle);
  const Bytes memo = Text("new memo");
  std::memcpy(raw.data, memo.data(), memo.size());
  raw.recordSize = static_cast<std::uint32_t>(memo.size());
  ASSERT_EQ(SyncWriteRec(&raw), kSyncErrNone);
  EXPECT_EQ(OnDisk().records.size(), 7u);
  ASSERT_EQ(SyncCloseDB(handle), kSyncErrNone);
  const PdbFile after = OnDisk();
  ASSERT_EQ(after.records.size(), 8u);
  EXPECT_EQ(after.records[7].data, memo);
  EXPECT_EQ(after.header.modificationNumber, 1u);

  // A database left open when the connection closes is discarded unchanged.
  const std::uint8_t again = Open();
  ASSERT_EQ(SyncPurgeDeletedRecs(again), kSyncErrNone);
  ASSERT_EQ(SyncCloseConduit(connection_), kSyncErrNone);
  EXPECT_EQ(OnDisk().records.size(), 8u);
}

// --- Reading records ---------------------------------------------------------------

TEST_F(SyncManagerTest, ReadNextModifiedReportsDirtyDeletedAndArchived) {
  Connect();
  const std::uint8_t handle = Open(kSyncModeRead);
  struct Seen {
    std::uint32_t id;
    std::uint16_t index;
    std::uint8_t attributes;
    std::int16_t category;
  };
  std::vector<Seen> seen;
  RawRecordInfo raw = Raw(handle);
  Result result;
  while ((result = SyncReadNextModifiedRec(&raw)) == kSyncErrNone) {
    seen.push_back({raw.recordId, raw.recordIndex, raw.attributes, raw.category});
  }
  EXPECT_EQ(result, kSyncErrNotFound);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].id, 0x102u);
  EXPECT_EQ(seen[0].attributes, 0x40);
  EXPECT_EQ(seen[0].category, 3);
  EXPECT_EQ(seen[1].id, 0x104u);
  EXPECT_EQ(seen[1].attributes, 0xC0);
  EXPECT_EQ(seen[2].id, 0x105u);
  EXPECT_EQ(seen[2].attributes, 0x88) << "archived is reported with deleted";
  EXPECT_EQ(seen[2].index, 4);
  EXPECT_EQ(seen[3].id, 0x107u);
  EXPECT_EQ(seen[3].attributes, 0x50);
  EXPECT_EQ(seen[3].category, 1);
  EXPECT_EQ(SyncReadNextModifiedRec(&raw), kSyncErrNotFound) << "stays at the end";
  ASSERT_EQ(SyncResetRecordIndex(handle), kSyncErrNone);
  ASSERT_EQ(SyncReadNextModifiedRec(&raw), kSyncErrNone);
  EXPECT_EQ(raw.recordId, 0x102u);
}

TEST_F(SyncManagerTest, ReadByIndexAndByIdFillTheRawRecord) {
  Connect();
  const std::uint8_t handle = Open(kSyncModeRead);
  RawRecordInfo raw = Raw(handle);
  raw.conduitField = 0xC0FFEE;
  raw.recordIndex = 2;
  ASSERT_EQ(SyncReadRecordByIndex(&raw), kSyncErrNone);
  EXPECT_EQ(raw.recordId, 0x103u);
  EXPECT_EQ(raw.attributes, 0x10);
  EXPECT_EQ(raw.category, 3);
  EXPECT_EQ(DataOf(raw), Text("private in three"));
  EXPECT_EQ(raw.conduitField, 0xC0FFEEu) << "the caller's field is left alone";
  raw.recordIndex = 7;
  EXPECT_EQ(SyncReadRecordByIndex(&raw), kSyncErrNotFound);

  raw.recordId = 0x106;
  ASSERT_EQ(SyncReadRecordById(&raw), kSyncErrNone);
  EXPECT_EQ(raw.recordIndex, 5);
  EXPECT_EQ(raw.attributes, 0x20) << "busy is reported; its low bits are no category";
  EXPECT_EQ(raw.category, 0);
  raw.recordId = 0x999;
  EXPECT_EQ(SyncReadRecordById(&raw), kSyncErrNotFound);

  std::uint8_t small[4];
  raw.recordId = 0x101;
  raw.data = small;
  raw.bufferSize = sizeof small;
  EXPECT_EQ(SyncReadRecordById(&raw), kSyncErrBufferTooSmall);
  EXPECT_EQ(raw.recordSize, 13u) << "the needed size is reported";
}

TEST_F(SyncManagerTest, ReadNextInCategorySkipsDeletedAndRestartsPerCategory) {
  Connect();
  const std::uint8_t handle = Open(kSyncModeRead);
  RawRecordInfo raw = Raw(handle);
  raw.category = 3;
  ASSERT_EQ(SyncReadNextRecInCategory(&raw), kSyncErrNone);
  EXPECT_EQ(raw.recordId, 0x102u);
  raw.category = 3;
  ASSERT_EQ(SyncReadNextRecInCategory(&raw), kSyncErrNone);
  EXPECT_EQ(raw.recordId, 0x103u);
  raw.category = 3;
  EXPECT_EQ(SyncReadNextRecInCategory(&raw), kSyncErrNotFound);
  raw.category = 0;
  ASSERT_EQ(SyncReadNextRecInCategory(&raw), kSyncErrNone);
  EXPECT_EQ(raw.recordId, 0x101u);
  raw.category = 0;
  EXPECT_EQ(SyncReadNextRecInCategory(&raw), kSyncErrNotFound) << "deleted, archived and busy are not in category 0";
  raw.category = 16;
  EXPECT_EQ(SyncReadNextRecInCategory(&raw), kSyncErrBadArgument);
}

// --- Writing records --------------------------------------------------------------

TEST_F(SyncManagerTest, WriteAssignsIdsAndKeepsTheAttributesGiven) {
  Connect();
  const std::uint8_t handle = Open();
  RawRecordInfo raw = Raw(handle);
  raw.recordId = 0;
  raw.attributes = kSyncRecAttrSecret | kSyncRecAttrDirty | kSyncRecAttrBusy;
  raw.category = 9;
  raw.recordSize = 3;
  std::memcpy(raw.data, "abc", 3);
  ASSERT_EQ(SyncWriteRec(&raw), kSyncErrNone);
  EXPECT_EQ(raw.recordId, 0x100u) << "from the seed";
  EXPECT_EQ(raw.recordIndex, 7);

  RawRecordInfo archived = Raw(handle);
  archived.recordId = 0x101;
  archived.attributes = kSyncRecAttrArchived;
  archived.category = 4;
  archived.recordSize = 1;
  archived.data[0] = 'z';
  ASSERT_EQ(SyncWriteRec(&archived), kSyncErrNone);
  EXPECT_EQ(archived.recordIndex, 0) << "an existing id is replaced in place";

  RawRecordInfo bad = Raw(handle);
  bad.category = 16;
  EXPECT_EQ(SyncWriteRec(&bad), kSyncErrBadArgument);
  bad.category = 0;
  bad.recordSize = 65521;
  EXPECT_EQ(SyncWriteRec(&bad), kSyncErrTooLarge);
  bad.recordSize = 5;
  bad.data = nullptr;
  EXPECT_EQ(SyncWriteRec(&bad), kSyncErrBadArgument);

  ASSERT_EQ(SyncCloseDB(handle), kSyncErrNone);
  const PdbFile file = OnDisk();
  EXPECT_EQ(file.records[7].attributes, 0x59) << "secret | dirty | category 9; busy is not taken";
  EXPECT_EQ(file.records[0].attributes, 0x88) << "archived implies deleted; the category is dropped";
  EXPECT_EQ(file.records[0].data, Text("z"));
  EXPECT_EQ(file.header.uniqueIdSeed, 0x101u);
}

TEST_F(SyncManagerTest, DeleteRecordRemovesItAndReportsAbsentOnes) {
  Connect();
  const std::uint8_t handle = Open();
  RawRecordInfo raw = Raw(handle);
  raw.recordId = 0x103;
  ASSERT_EQ(SyncDeleteRec(&raw), kSyncErrNone);
  EXPECT_EQ(SyncDeleteRec(&raw), kSyncErrNotFound);
  std::uint16_t count = 0;
  ASSERT_EQ(SyncGetDBRecordCount(handle, &count), kSyncErrNone);
  EXPECT_EQ(count, 6);
  raw.recordId = 0x104;
  ASSERT_EQ(SyncReadRecordById(&raw), kSyncErrNone);
  EXPECT_EQ(raw.recordIndex, 2);
}

TEST_F(SyncManagerTest, CategoryMovesPurgesAndReset) {
  Connect();
  const std::uint8_t handle = Open();
  ASSERT_EQ(SyncChangeCategory(handle, 3, 0), kSyncErrNone);
  EXPECT_EQ(SyncChangeCategory(handle, 3, 16), kSyncErrBadArgument);
  ASSERT_EQ(SyncPurgeAllRecsInCategory(handle, 1), kSyncErrNone);
  ASSERT_EQ(SyncResetSyncFlags(handle), kSyncErrNone);
  ASSERT_EQ(SyncCloseDB(handle), kSyncErrNone);
  const PdbFile file = OnDisk();
  ASSERT_EQ(file.records.size(), 4u);
  EXPECT_EQ(file.records[0].attributes, 0x00);
  EXPECT_EQ(file.records[1].attributes, 0x00) << "moved to unfiled, dirty bit cleared";
  EXPECT_EQ(file.records[2].attributes, 0x10);
  EXPECT_EQ(file.records[3].uniqueId, 0x106u) << "busy stays";
}

TEST_F(SyncManagerTest, PurgeDeletedRemovesDeletedAndArchivedOnly) {
  Connect();
  const std::uint8_t handle = Open();
  ASSERT_EQ(SyncPurgeDeletedRecs(handle), kSyncErrNone);
  std::uint16_t count = 0;
  ASSERT_EQ(SyncGetDBRecordCount(handle, &count), kSyncErrNone);
  EXPECT_EQ(count, 5);
  RawRecordInfo raw = Raw(handle);
  ASSERT_EQ(SyncReadNextModifiedRec(&raw), kSyncErrNone);
  EXPECT_EQ(raw.recordId, 0x102u);
  EXPECT_EQ(raw.attributes, 0x40) << "purging leaves the dirty bits for the reset";
}

TEST_F(SyncManagerTest, PositionMapDeliversIdsMostSignificantByteFirst) {
  Connect();
  const std::uint8_t handle = Open(kSyncModeRead);
  std::vector<std::uint32_t> ids(8, 0xDEADBEEF);
  PositionMapInfo map;
  map.handle = handle;
  map.firstPosition = 1;
  map.entriesWanted = 7;
  map.capacity = 3;
  map.entries = ids.data();
  ASSERT_EQ(SyncReadPositionXMap(&map), kSyncErrNone);
  EXPECT_EQ(map.entriesReturned, 3);
  const std::uint8_t expected[12] = {0, 0, 1, 2, 0, 0, 1, 3, 0, 0, 1, 4};
  EXPECT_EQ(std::memcmp(ids.data(), expected, sizeof expected), 0);
  EXPECT_EQ(ids[3], 0xDEADBEEFu) << "nothing beyond the capacity";
  map.firstPosition = 7;
  EXPECT_EQ(SyncReadPositionXMap(&map), kSyncErrNotFound);
}

TEST_F(SyncManagerTest, AppInfoAndSortInfoBlocks) {
  Connect();
  const std::uint8_t handle = Open();
  Bytes block(65520);
  DbBlockInfo info;
  std::strcpy(info.name, "TallimorDB");
  info.data = block.data();
  info.bufferSize = 100;
  EXPECT_EQ(SyncReadDBAppInfoBlock(handle, &info), kSyncErrBufferTooSmall);
  EXPECT_EQ(info.bytesRead, 280);
  info.bufferSize = 65520;
  ASSERT_EQ(SyncReadDBAppInfoBlock(handle, &info), kSyncErrNone);
  EXPECT_EQ(info.bytesRead, 280);
  EXPECT_EQ(block[279], 0xA5);
  EXPECT_EQ(SyncReadDBSortInfoBlock(handle, &info), kSyncErrNotFound);

  std::memset(block.data(), 0x3C, 300);
  info.bufferSize = 300;
  ASSERT_EQ(SyncWriteDBAppInfoBlock(handle, &info), kSyncErrNone);
  const Bytes sort = Text("sort order");
  DbBlockInfo sortInfo;
  sortInfo.data = const_cast<std::uint8_t*>(sort.data());
  sortInfo.bufferSize = static_cast<std::uint16_t>(sort.size());
  ASSERT_EQ(SyncWriteDBSortInfoBlock(handle, &sortInfo), kSyncErrNone);
  info.bufferSize = 65521;
  EXPECT_EQ(SyncWriteDBAppInfoBlock(handle, &info), kSyncErrTooLarge);
  ASSERT_EQ(SyncCloseDB(handle), kSyncErrNone);
  const PdbFile file = OnDisk();
  EXPECT_EQ(file.appInfo, Bytes(300, 0x3C));
  EXPECT_EQ(file.sortInfo, sort);
}

TEST_F(SyncManagerTest, ResourceDatabasesTakeTypeAndIdInTheRawRecord) {
  Connect();
  DbCreateInfo info;
  std::memset(&info, 0, sizeof info);
  std::strcpy(info.name, "Resources");
  info.flags = kSyncDbFlagResource;
  ASSERT_EQ(SyncCreateDB(&info), kSyncErrNone);
  RawRecordInfo raw = Raw(info.handle);
  raw.recordId = FourCc("tSTR");
  raw.category = 1000;
  raw.recordSize = 2;
  std::memcpy(raw.data, "hi", 2);
  ASSERT_EQ(SyncWriteResourceRec(&raw), kSyncErrNone);
  EXPECT_EQ(SyncWriteRec(&raw), kSyncErrWrongDatabaseKind);
  RawRecordInfo read = Raw(info.handle);
  read.recordIndex = 0;
  ASSERT_EQ(SyncReadRecordByIndex(&read), kSyncErrNone);
  EXPECT_EQ(read.recordId, FourCc("tSTR"));
  EXPECT_EQ(read.category, 1000);
  ASSERT_EQ(SyncCloseDB(info.handle), kSyncErrNone);
  const PdbFile file = OnDisk("Resources");
  ASSERT_TRUE(file.isResourceDatabase());
  ASSERT_EQ(file.resources.size(), 1u);
  EXPECT_EQ(file.resources[0].id, 1000);

  std::uint8_t handle = 0;
  ASSERT_EQ(SyncOpenDB("Resources", 0, &handle, kSyncModeReadWrite), kSyncErrNone);
  RawRecordInfo gone = Raw(handle);
  gone.recordId = FourCc("tSTR");
  gone.category = 1000;
  ASSERT_EQ(SyncDeleteResourceRec(&gone), kSyncErrNone);
  EXPECT_EQ(SyncDeleteResourceRec(&gone), kSyncErrNotFound);
}

// --- Fault injection ------------------------------------------------------------------

TEST(SyncFaultSetting, ParsesTheEnvironmentForm) {
  std::uint32_t call = 0;
  SyncFaultKind kind = SyncFaultKind::kNone;
  ASSERT_EQ(FaultInjector::Parse("call=12,kind=comm", &call, &kind, nullptr), kSyncErrNone);
  EXPECT_EQ(call, 12u);
  EXPECT_EQ(kind, SyncFaultKind::kCommunications);
  ASSERT_EQ(FaultInjector::Parse(" kind = storage , call = 3 ", &call, &kind, nullptr), kSyncErrNone);
  EXPECT_EQ(kind, SyncFaultKind::kStorage);
  ASSERT_EQ(FaultInjector::Parse("", &call, &kind, nullptr), kSyncErrNone);
  EXPECT_EQ(kind, SyncFaultKind::kNone);
  std::string error;
  for (const char* bad : {"call=0,kind=comm", "call=x,kind=comm", "call=3", "call=3,kind=disk", "when=3,kind=comm"}) {
    EXPECT_EQ(FaultInjector::Parse(bad, &call, &kind, &error), kSyncErrBadArgument) << bad;
    EXPECT_NE(error.find("expected"), std::string::npos) << bad;
  }
}

TEST_F(SyncManagerTest, StorageFaultFailsOneCallAndDoesNothing) {
  Connect();
  const std::uint8_t handle = Open();
  EXPECT_EQ(SyncCallCount(), 2u);
  SyncSetFault(3, SyncFaultKind::kStorage);
  EXPECT_EQ(SyncPurgeDeletedRecs(handle), kSyncErrStorage);
  std::uint16_t count = 0;
  ASSERT_EQ(SyncGetDBRecordCount(handle, &count), kSyncErrNone);
  EXPECT_EQ(count, 7) << "the failed purge did nothing";
  EXPECT_FALSE(SyncIsCommsError(kSyncErrStorage));
}

TEST_F(SyncManagerTest, CommunicationsFaultCutsTheLinkForGood) {
  Connect();
  const std::uint8_t handle = Open();
  SyncSetFault(3, SyncFaultKind::kCommunications);
  EXPECT_EQ(SyncResetSyncFlags(handle), kSyncErrCommLost);
  EXPECT_TRUE(SyncIsCommsError(kSyncErrCommLost));
  EXPECT_EQ(SyncCloseDB(handle), kSyncErrCommLost);
  EXPECT_EQ(SyncCloseConduit(connection_), kSyncErrCommLost);
  EXPECT_EQ(SyncCallCount(), 5u);
  SyncDetachHandheld();
  EXPECT_EQ(OnDisk().records.size(), 7u);
}

TEST_F(SyncManagerTest, FaultFromTheEnvironmentIsReadAtAttach) {
  SyncDetachHandheld();
  ::setenv(FaultInjector::kEnvironmentVariable, "call=2,kind=comm", 1);
  ASSERT_EQ(SyncAttachHandheld(dir_.c_str()), kSyncErrNone);
  SyncSystemInfo info;
  EXPECT_EQ(SyncReadSystemInfo(&info), kSyncErrNone);
  EXPECT_EQ(SyncOpenConduit(&connection_), kSyncErrCommLost);
  SyncDetachHandheld();
  ::setenv(FaultInjector::kEnvironmentVariable, "call=two", 1);
  EXPECT_EQ(SyncAttachHandheld(dir_.c_str()), kSyncErrBadArgument);
  EXPECT_NE(std::string(SyncLastErrorDetail()).find("TALLIMOR_SYNC_FAULT"), std::string::npos);
  ::unsetenv(FaultInjector::kEnvironmentVariable);
  ASSERT_EQ(SyncAttachHandheld(dir_.c_str()), kSyncErrNone);
}

// One HotSync-like run over the memo database: read the changes, write a record
// back with a fresh id, delete one, purge, reset and close. Returns the first error.
Result SampleRun() {
  std::uint32_t connection = 0;
  SyncSystemInfo info;
  Result r = SyncReadSystemInfo(&info);
  if (r == kSyncErrNone) r = SyncOpenConduit(&connection);
  if (r != kSyncErrNone) return r;
  std::uint8_t handle = 0;
  r = SyncOpenDB("TallimorDB", 0, &handle, kSyncModeReadWrite);
  Bytes buffer(kSyncMaxRecordSize);
  RawRecordInfo raw;
  raw.handle = handle;
  raw.data = buffer.data();
  raw.bufferSize = static_cast<std::uint16_t>(buffer.size());
  while (r == kSyncErrNone) r = SyncReadNextModifiedRec(&raw);
  if (r == kSyncErrNotFound) r = kSyncErrNone;
  if (r == kSyncErrNone) {
    raw.recordId = 0;
    raw.attributes = 0;
    raw.category = 2;
    raw.recordSize = 4;
    std::memcpy(raw.data, "desk", 4);
    r = SyncWriteRec(&raw);
  }
  if (r == kSyncErrNone) {
    raw.recordId = 0x101;
    r = SyncDeleteRec(&raw);
  }
  if (r == kSyncErrNone) r = SyncPurgeDeletedRecs(handle);
  if (r == kSyncErrNone) r = SyncResetSyncFlags(handle);
  if (r == kSyncErrNone) r = SyncCloseDB(handle);
  const Result closed = SyncCloseConduit(connection);
  return r != kSyncErrNone ? r : closed;
}

TEST_F(SyncManagerTest, AFaultAtAnyCallLeavesTheFileAsItWasOrAsItShouldBe) {
  ASSERT_EQ(SyncCallCount(), 0u);
  const Bytes before = [&] {
    std::ifstream in(DbPath(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }();
  ASSERT_EQ(SampleRun(), kSyncErrNone);
  const std::uint32_t calls = SyncCallCount();
  EXPECT_EQ(calls, 14u) << "system info, connect, open, 5 reads, write, delete, purge, reset, close x2";
  const PdbFile expected = OnDisk();
  ASSERT_EQ(expected.records.size(), 5u);

  for (const SyncFaultKind kind : {SyncFaultKind::kCommunications, SyncFaultKind::kStorage}) {
    for (std::uint32_t n = 1; n <= calls; ++n) {
      SyncDetachHandheld();
      {
        std::ofstream out(DbPath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(before.data()), static_cast<std::streamsize>(before.size()));
      }
      ASSERT_EQ(SyncAttachHandheld(dir_.c_str()), kSyncErrNone);
      SyncSetFault(n, kind);
      const Result result = SampleRun();
      EXPECT_NE(result, kSyncErrNone) << "call " << n << " failed, so the run must fail";
      SyncDetachHandheld();
      const PdbFile after = OnDisk();
      const bool asItWas = after.records.size() == 7u;
      const bool asItShouldBe = after.records.size() == expected.records.size();
      EXPECT_TRUE(asItWas || asItShouldBe) << "fault at call " << n << ": " << after.records.size() << " records";
      if (asItShouldBe) {
        for (std::size_t i = 0; i < after.records.size(); ++i) {
          EXPECT_EQ(after.records[i].data, expected.records[i].data) << n;
          EXPECT_EQ(after.records[i].attributes, expected.records[i].attributes) << n;
        }
      }
      for (const auto& entry : fs::directory_iterator(dir_)) {
        EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
      }
    }
  }
}

// --- Scale ------------------------------------------------------------------------------

TEST_F(SyncManagerTest, FullDatabaseOf65535RecordsReadsBackByIdAndMap) {
  Connect();
  DbCreateInfo info;
  std::memset(&info, 0, sizeof info);
  std::strcpy(info.name, "Full");
  ASSERT_EQ(SyncCreateDB(&info), kSyncErrNone);
  RawRecordInfo raw = Raw(info.handle);
  std::vector<std::uint32_t> ids;
  ids.reserve(65535);
  for (std::uint32_t i = 0; i < 65535; ++i) {
    raw.recordId = 0;
    raw.attributes = kSyncRecAttrDirty;
    raw.category = static_cast<std::int16_t>(i % 16);
    raw.recordSize = 4;
    std::memcpy(raw.data, &i, 4);
    ASSERT_EQ(SyncWriteRec(&raw), kSyncErrNone) << i;
    ids.push_back(raw.recordId);
  }
  raw.recordId = 0;
  EXPECT_EQ(SyncWriteRec(&raw), kSyncErrDatabaseFull);
  ASSERT_EQ(SyncCloseDB(info.handle), kSyncErrNone);

  std::uint8_t handle = 0;
  ASSERT_EQ(SyncOpenDB("Full", 0, &handle, kSyncModeReadWrite), kSyncErrNone);
  raw.handle = handle;
  for (std::uint32_t i = 65535; i-- > 0;) {
    raw.recordId = ids[i];
    ASSERT_EQ(SyncReadRecordById(&raw), kSyncErrNone) << i;
    ASSERT_EQ(raw.recordIndex, i);
    std::uint32_t stored = 0;
    std::memcpy(&stored, raw.data, 4);
    ASSERT_EQ(stored, i);
  }
  // Deleting every other record from the front keeps lookups right.
  for (std::uint32_t i = 0; i < 65535; i += 2) {
    raw.recordId = ids[i];
    ASSERT_EQ(SyncDeleteRec(&raw), kSyncErrNone);
  }
  std::vector<std::uint32_t> map(32768);
  PositionMapInfo request;
  request.handle = handle;
  request.entriesWanted = 32768;
  request.capacity = 32768;
  request.entries = map.data();
  ASSERT_EQ(SyncReadPositionXMap(&request), kSyncErrNone);
  ASSERT_EQ(request.entriesReturned, 32767);
  for (std::uint32_t k = 0; k < 32767; ++k) ASSERT_EQ(__builtin_bswap32(map[k]), ids[2 * k + 1]) << k;
}

}  // namespace
}  // namespace tallimor
