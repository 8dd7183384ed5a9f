// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the conduit's desktop-file manager: opening by sync type and phase,
// reading once, the record, block and category operations, and the files it
// writes, compared byte for byte with independently built files and with the
// desktop program's own writer; failures, their results and their log entries.
#include "conduit/CPDesktopDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "conduit/tests/DesktopFileFixture.h"
#include "store/CPCategoryTable.h"
#include "store/CPRecordFile.h"
#include "store/tests/FaultInjectingFileSystem.h"

namespace tallimor {
namespace {

using namespace tallimor::testing;

constexpr std::uint32_t kCategories = kCapCategories | kCapAppInfo;
const std::vector<std::string> kNames = {"Unfiled", "Business", "Personal", "Ideas"};

std::vector<std::uint32_t> Ids(CPDatabase& d) {
  std::vector<std::uint32_t> ids;
  CPRecord r;
  for (Result step = d.FirstRecord(r); step == kOk; step = d.NextRecord(r)) ids.push_back(r.Id());
  return ids;
}

// The memo database's app info: category table and 20 bytes after it.
Bytes SampleAppInfo(std::uint16_t changed = 0x0004, const std::vector<std::string>& names = kNames) {
  Bytes data = CategoryTableBytes(names, {0, 1, 2, 3}, changed);
  for (int i = 0; i < 20; ++i) data.push_back(static_cast<std::uint8_t>(0xA0 + i));
  return InfoBlockBytes("", 296, data, 296, 0xCAFEBABE);
}

// Records as the desktop program stores them (modified+private, new, none,
// deleted), or with every stored flag 0 as the conduit writes them.
// The sample records as the desktop program stores them, or, with `conduitFlags`, as
// the conduit does: status bits cleared, the private flag (0x10) kept.
std::vector<Bytes> SampleRecords(bool conduitFlags = false) {
  auto f = [&](std::uint16_t flags) { return conduitFlags ? static_cast<std::uint16_t>(flags & 0x10) : flags; };
  return {RecordImageBytes(100, f(0x11), 1, "first"), RecordImageBytes(200, f(0x08), 2, "second memo"),
          RecordImageBytes(0, 0, 0, ""), RecordImageBytes(300, f(0x02), 3, "x")};
}

class CPDesktopDatabaseTest : public DesktopFileFixture {
 protected:
  std::string FilePath() const { return PathOf("record.dat"); }
  void WriteSample() { WriteFileBytes(FilePath(), FileBytes(SampleRecords(), SampleAppInfo())); }
  std::unique_ptr<CPDesktopDatabase> Manager(std::int32_t syncType, std::uint32_t flags = kCategories) {
    return std::make_unique<CPDesktopDatabase>(&log_, flags, "TallimorDB", "record.dat", dir_.c_str(),
                                               syncType);
  }
};

using CPDesktopDatabasePath = CPDesktopDatabaseTest;
using CPDesktopDatabaseOpen = CPDesktopDatabaseTest;
using CPDesktopDatabaseSyncTypes = CPDesktopDatabaseTest;
using CPDesktopDatabaseReadForSync = CPDesktopDatabaseTest;
using CPDesktopDatabaseFormat = CPDesktopDatabaseTest;
using CPDesktopDatabaseBlocks = CPDesktopDatabaseTest;
using CPDesktopDatabaseFailures = CPDesktopDatabaseTest;
using CPDesktopDatabaseScale = CPDesktopDatabaseTest;

TEST_F(CPDesktopDatabasePath, OneSeparatorAndTheDefaultFileName) {
  EXPECT_EQ(CPDesktopDatabase::ComposePath("/u/Tallimor-Vexa", "record.dat"), "/u/Tallimor-Vexa/record.dat");
  EXPECT_EQ(CPDesktopDatabase::ComposePath("/u/Tallimor-Vexa/", "record.dat"), "/u/Tallimor-Vexa/record.dat");
  EXPECT_EQ(CPDesktopDatabase::ComposePath("/u/", nullptr), "/u/GenericDB.DAT");
  EXPECT_EQ(CPDesktopDatabase::ComposePath(nullptr, "record.dat"), "record.dat");
  EXPECT_EQ(CPDesktopDatabase::ComposePath("", nullptr), "");

  CPDesktopDatabase none;  // no file, sync type "do nothing"
  EXPECT_EQ(none.SyncType(), kSyncDoNothing);
  EXPECT_EQ(none.OpenForSyncType(), kOk);
  EXPECT_EQ(none.FinishSync(), kOk);
  EXPECT_EQ(none.ReadFile(), kErrNoFileName);
}

TEST_F(CPDesktopDatabaseOpen, ExistingOnlyModesAndExclusiveAccess) {
  auto first = Manager(kSyncFast);
  for (std::int32_t mode : {kOpenRead, kOpenWrite, 4, -1}) EXPECT_EQ(first->Open(mode), kErrOpenFailed);
  EXPECT_TRUE(Files().empty());

  WriteSample();
  auto second = Manager(kSyncFast);
  ASSERT_EQ(first->Open(kOpenRead), kOk);
  EXPECT_EQ(second->Open(kOpenRead), kErrOpenFailed);
  CPRecordFile desktop(FilePath(), CPRecordFile::kCategories | CPRecordFile::kAppInfo);
  EXPECT_EQ(desktop.Load(), kErrOpenFailed);
  EXPECT_EQ(first->Close(false), kOk);
  EXPECT_EQ(second->Open(kOpenRead), kOk);
}

TEST_F(CPDesktopDatabaseOpen, CreateModeEmptiesOnlyByWritingAndUnwrittenNewFilesGo) {
  WriteSample();
  const Bytes before = ReadFileBytes(FilePath());
  auto d = Manager(kSyncDesktopToHandheld);
  ASSERT_EQ(d->Open(kOpenCreate), kOk);
  EXPECT_EQ(d->ReadFile(), kOk);  // reads as the empty file it is to become
  EXPECT_EQ(d->StoredRecordCount(), 0);
  EXPECT_EQ(d->Header()->version, 0);
  EXPECT_EQ(ReadFileBytes(FilePath()), before);  // but the disk is untouched

  std::filesystem::remove(FilePath());
  {
    auto fresh = Manager(kSyncHandheldToDesktop);
    ASSERT_EQ(fresh->OpenForSyncType(), kOk);
    EXPECT_EQ(Files(), std::vector<std::string>{"record.dat"});
  }  // destroyed without finishing
  EXPECT_TRUE(Files().empty());
}

TEST_F(CPDesktopDatabaseSyncTypes, MissingFileAndUnknownTypes) {
  for (std::int32_t type : {kSyncFast, kSyncSlow}) {
    auto d = Manager(type);
    EXPECT_EQ(d->OpenForSyncType(), kErrDesktopFileMissing);
    EXPECT_EQ(d->ReadForSync(), kErrDesktopFileMissing);
  }
  for (std::int32_t type : {8, -1}) EXPECT_EQ(Manager(type)->OpenForSyncType(), kErrUnknownSyncType);
  EXPECT_TRUE(Files().empty());
}

TEST_F(CPDesktopDatabaseSyncTypes, ReadingTypesRewriteTheFileWithoutStatusButWithPrivacy) {
  for (std::int32_t type : {kSyncFast, kSyncSlow, kSyncDesktopToHandheld}) {
    WriteSample();
    auto d = Manager(type);
    ASSERT_EQ(d->OpenForSyncType(), kOk);
    ASSERT_EQ(d->ReadForSync(), kOk);
    CPRecord r;
    ASSERT_EQ(d->GetRecordById(100, r), kOk);
    EXPECT_EQ(r.Status(), kStatusModified);
    EXPECT_TRUE(r.IsPrivate());
    EXPECT_TRUE(d->IsFirstPhase());
    ASSERT_EQ(d->FinishSync(), kOk);
    EXPECT_FALSE(d->IsFirstPhase());
    EXPECT_EQ(d->FindFirstNewRecord(r), kErrNoMatch);
    EXPECT_EQ(ReadFileBytes(FilePath()), FileBytes(SampleRecords(true), SampleAppInfo())) << type;
  }
}

TEST_F(CPDesktopDatabaseSyncTypes, HandheldOverwritesNeverReadsAndWritesWhatItReceived) {
  for (std::int32_t type : {kSyncHandheldToDesktop, 5}) {
    WriteSample();
    auto d = Manager(type);
    ASSERT_EQ(d->OpenForSyncType(), kOk);
    ASSERT_EQ(d->ReadForSync(), kOk);
    EXPECT_EQ(d->StoredRecordCount(), 0) << "the existing file is never read";

    HeaderFields h;
    ASSERT_EQ(d->SetDatabaseInfo("TallimorDB", h.flags, h.type, h.creator, 3, h.modNumber, h.createDate,
                                 h.modDate, h.backupDate),
              kOk);
    const Bytes appInfo = SampleAppInfo(0);
    DbBlockInfo info;  // the Sync Manager's form of the block's data
    info.bytesRead = 296;
    info.data = const_cast<std::uint8_t*>(appInfo.data()) + 56;
    ASSERT_EQ(d->SetAppInfo(info), kOk);
    CPRecord a = MakeRecord(7, 1, "from handheld", kStatusModified);
    a.SetPrivate(true);
    CPRecord b = MakeRecord(8, 0, "second");
    ASSERT_EQ(d->AddCleanRecord(a), kOk);
    ASSERT_EQ(d->AddCleanRecord(b), kOk);
    ASSERT_EQ(d->FinishSync(), kOk);

    const Bytes expected = FileBytes({RecordImageBytes(7, 0x10, 1, "from handheld"), RecordImageBytes(8, 0, 0, "second")},
                                     InfoBlockBytes("", 296, Bytes(appInfo.begin() + 56, appInfo.end()), 296), {}, h);
    EXPECT_EQ(ReadFileBytes(FilePath()), expected) << type;
  }
}

TEST_F(CPDesktopDatabaseSyncTypes, NoWriteForTypes4And7NorForDoNothing) {
  for (std::int32_t type : {4, 7, kSyncDoNothing}) {
    WriteSample();
    const Bytes before = ReadFileBytes(FilePath());
    auto d = Manager(type);
    ASSERT_EQ(d->OpenForSyncType(), kOk);
    ASSERT_EQ(d->ReadForSync(), kOk);
    EXPECT_EQ(d->StoredRecordCount(), type == kSyncDoNothing ? 0 : 4);
    CPRecord r = MakeRecord(9, 0, "added");
    ASSERT_EQ(d->AddRecord(r), kOk);
    EXPECT_EQ(d->FinishSync(), kOk);
    EXPECT_EQ(d->WriteFile(), kErrWrite) << "never opened for writing";
    EXPECT_EQ(ReadFileBytes(FilePath()), before) << type;
  }
}

TEST_F(CPDesktopDatabaseReadForSync, SlowSyncMarksEveryRecordPendingUntilClaimedById) {
  WriteSample();
  auto d = Manager(kSyncSlow);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->ReadForSync(), kOk);
  // Held, and so locked, from the read until the HotSync writes it.
  EXPECT_TRUE(d->IsFileOpen());
  LockedFile other;
  EXPECT_EQ(other.Open(FilePath(), LockedFile::Mode::kReadExisting), kErrOpenFailed);
  EXPECT_FALSE(d->IsDirty());
  ASSERT_EQ(d->Open(kOpenRead), kOk);
  EXPECT_EQ(d->ReadForSync(), kOk);  // read once only
  EXPECT_EQ(d->StoredRecordCount(), 4);
  d->CloseHandle();

  CPRecord claimed;
  ASSERT_EQ(d->GetRecordById(200, claimed), kOk);
  EXPECT_FALSE(claimed.HasPendingMark());
  EXPECT_EQ(d->GetRecordById(999, claimed), kErrNoMatch);
  std::vector<std::uint32_t> pending;
  CPRecord r;
  for (Result step = d->FirstPendingRecord(r); step == kOk; step = d->NextRecord(r)) pending.push_back(r.Id());
  EXPECT_EQ(pending, (std::vector<std::uint32_t>{100, 0, 300}));

  auto fast = Manager(kSyncFast);
  ASSERT_EQ(fast->Open(kOpenRead), kOk);
  ASSERT_EQ(fast->ReadForSync(), kOk);
  EXPECT_EQ(fast->FirstPendingRecord(r), kErrNoMatch);
}

TEST_F(CPDesktopDatabaseReadForSync, ReadErrorKeepsWhatWasReadAndCategoriesNeedAppInfo) {
  Bytes file = FileBytes(SampleRecords(), SampleAppInfo());
  file[72] = 6;  // the header promises six records; the file holds four
  WriteFileBytes(FilePath(), file);
  auto d = Manager(kSyncFast);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  EXPECT_EQ(d->ReadForSync(), kErrReadRecordHeader);
  EXPECT_EQ(d->StoredRecordCount(), 4);
  EXPECT_FALSE(d->IsFileOpen());
  ASSERT_EQ(d->LoadCategories(), kOk);  // the app info block was read
  EXPECT_STREQ(d->CategoryTable()->At(3)->Name(), "Ideas");
  EXPECT_TRUE(d->CategoryTable()->At(2)->IsChanged());

  WriteFileBytes(FilePath(), FileBytes(SampleRecords()));
  auto bare = Manager(kSyncFast);
  ASSERT_EQ(bare->OpenForSyncType(), kOk);
  EXPECT_EQ(bare->LoadCategories(), kErrNoAppInfoForCategories);
}

TEST_F(CPDesktopDatabaseFormat, DiffersFromTheDesktopProgramOnlyInFlagsAndChangedWord) {
  const std::string desktopPath = PathOf("desktop.dat");
  WriteFileBytes(desktopPath, FileBytes(SampleRecords(), SampleAppInfo()));
  WriteSample();
  CPRecordFile desktop(desktopPath, CPRecordFile::kCategories | CPRecordFile::kAppInfo);
  ASSERT_EQ(desktop.Load(), kOk);
  ASSERT_EQ(desktop.RenameCategory(3, "Travel"), kOk);
  ASSERT_EQ(desktop.Save(), kOk);

  auto d = Manager(kSyncDesktopToHandheld);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->LoadCategories(), kOk);
  CPCategoryTable* table = d->CategoryTable();
  ASSERT_EQ(table->SetNameAt(3, "Travel"), kOk);
  table->At(3)->SetChanged(true);
  table->SetDirty(true);
  ASSERT_EQ(d->StoreCategories(), kOk);
  ASSERT_EQ(d->FinishSync(), kOk);

  const std::vector<std::string> renamed = {"Unfiled", "Business", "Personal", "Travel"};
  const Bytes conduitFile = ReadFileBytes(FilePath());
  const Bytes desktopFile = ReadFileBytes(desktopPath);
  EXPECT_EQ(conduitFile, FileBytes(SampleRecords(true), SampleAppInfo(0, renamed)));
  EXPECT_EQ(desktopFile, FileBytes(SampleRecords(), SampleAppInfo(0x000C, renamed)));
  // The only bytes where the two writers may differ.
  std::set<std::size_t> allowed = {84 + 56, 84 + 56 + 1};  // changed-categories word
  std::size_t at = 84 + SampleAppInfo().size();
  for (const Bytes& image : SampleRecords()) {
    allowed.insert({at + 24, at + 25});  // stored flags
    at += image.size();
  }
  ASSERT_EQ(desktopFile.size(), conduitFile.size());
  for (std::size_t i = 0; i < conduitFile.size(); ++i) {
    if (conduitFile[i] != desktopFile[i]) EXPECT_TRUE(allowed.count(i)) << "unexpected difference at " << i;
  }
}

// Exposes the table setter, so that a table can exist without an app info block.
class TableHolder : public CPDesktopDatabase {
 public:
  using CPDesktopDatabase::CPDesktopDatabase;
  using CPDatabase::SetCategoryTable;
};

TEST_F(CPDesktopDatabaseFormat, AppInfoBlockItMakesIsNamedAfterTheDatabase) {
  TableHolder d(&log_, kCategories, "TallimorDB", "record.dat", dir_.c_str(), kSyncHandheldToDesktop);
  ASSERT_EQ(d.OpenForSyncType(), kOk);
  HeaderFields h;
  d.SetDatabaseInfo("TallimorDB", h.flags, h.type, h.creator, 3, h.modNumber, h.createDate, h.modDate,
                    h.backupDate);
  auto table = std::make_unique<CPCategoryTable>();
  const Bytes stored = CategoryTableBytes({"Unfiled", "Work"}, {0, 1}, 0x0002);
  ASSERT_EQ(table->Load(stored.data(), static_cast<std::uint32_t>(stored.size())), kOk);
  d.SetCategoryTable(std::move(table));
  ASSERT_EQ(d.StoreCategories(), kOk);
  ASSERT_EQ(d.FinishSync(), kOk);
  const Bytes written = CategoryTableBytes({"Unfiled", "Work"}, {0, 1}, 0);
  EXPECT_EQ(ReadFileBytes(FilePath()), FileBytes({}, InfoBlockBytes("TallimorDB", 276, written, 276), {}, h));
}

TEST_F(CPDesktopDatabaseFormat, RecordImagesCarryFlagsOnlyWhenAsked) {
  CPDesktopDatabase d;
  CPRecord r = MakeRecord(42, 5, "abc", kStatusModified);
  r.SetPrivate(true);
  std::uint8_t buffer[64];
  std::uint32_t length = 0;
  ASSERT_EQ(d.RecordToImage(r, buffer, sizeof buffer, length, true), kOk);
  EXPECT_EQ(Bytes(buffer, buffer + length), RecordImageBytes(42, 0, 5, "abc"));
  ASSERT_EQ(d.RecordToImage(r, buffer, sizeof buffer, length, false), kOk);
  EXPECT_EQ(Bytes(buffer, buffer + length), RecordImageBytes(42, 0x11, 5, "abc"));
  EXPECT_EQ(d.AddRecordFromImage(buffer, 39), kErrReadRecordHeader);
}

TEST_F(CPDesktopDatabaseTest, RecordChangesKeepSlotsAndClearStatus) {
  auto d = Manager(kSyncFast);
  for (CPRecord r : {MakeRecord(10, 1, "a"), MakeRecord(0, 2, "b", kStatusNew), MakeRecord(30, 2, "c"),
                     MakeRecord(40, 3, "d", kStatusDeleted)}) {
    ASSERT_EQ(d->AddRecord(r), kOk);
  }
  CPRecord change = MakeRecord(30, 4, "changed", kStatusModified);
  change.SetPendingMark(true);
  change.SetIndex(99);
  ASSERT_EQ(d->ModifyRecordById(change), kOk);
  const CPRecord* stored = d->RecordAt(2);
  EXPECT_EQ(stored->Index(), 2);
  EXPECT_EQ(stored->Category(), 4);
  EXPECT_EQ(stored->Status(), 0u);
  EXPECT_FALSE(stored->HasPendingMark());
  CPRecord unknown = MakeRecord(77, 0, "");
  EXPECT_EQ(d->ModifyRecordById(unknown), kErrRecordNotFound);

  CPRecord found;
  ASSERT_EQ(d->FindFirstNewRecord(found), kOk);
  EXPECT_EQ(found.Index(), 1);
  CPRecord numbered = MakeRecord(555, 2, "b");
  EXPECT_EQ(d->ModifyRecordAtIndex(-1, numbered), kErrRecordNotFound);
  EXPECT_EQ(d->ModifyRecordAtIndex(9, numbered), kErrRecordNotFound);
  ASSERT_EQ(d->ModifyRecordAtIndex(1, numbered), kOk);
  EXPECT_EQ(d->FindSlotById(555), 1);
  EXPECT_EQ(d->FindFirstNewRecord(found), kErrNoMatch);

  ASSERT_EQ(d->DeleteRecord(change), kOk);
  EXPECT_EQ(d->DeleteRecord(change), kErrRecordNotFound);
  CPRecord bySlot = MakeRecord(0, 0, "");  // id 0: found by its slot
  bySlot.SetIndex(1);
  ASSERT_EQ(d->DeleteRecord(bySlot), kOk);
  EXPECT_EQ(d->DeleteRecord(bySlot), kErrRecordNotFound);
  ASSERT_EQ(d->PurgeDeletedRecords(), kOk);
  EXPECT_EQ(Ids(*d), (std::vector<std::uint32_t>{10}));
}

TEST_F(CPDesktopDatabaseTest, CategoryMovesDeletesAndRemaps) {
  auto d = Manager(kSyncFast);
  for (CPRecord r : {MakeRecord(10, 1, "a"), MakeRecord(20, 2, "b"), MakeRecord(30, 2, "c"), MakeRecord(40, 3, "d")}) {
    ASSERT_EQ(d->AddRecord(r), kOk);
  }
  EXPECT_EQ(d->DeleteRecordsOfCategory(16, true), kErrRecordCategoryIndex);
  EXPECT_EQ(d->ChangeCategory(1, 16), kErrRecordCategoryIndex);
  ASSERT_EQ(d->DeleteRecordsOfCategory(2, true), kOk);
  EXPECT_EQ(d->RecordAt(2)->Category(), 0);
  EXPECT_TRUE(d->RecordAt(2)->IsModified());
  ASSERT_EQ(d->DeleteRecordsOfCategory(0, false), kOk);
  EXPECT_EQ(Ids(*d), (std::vector<std::uint32_t>{10, 40}));

  std::int32_t table[16];
  std::fill(std::begin(table), std::end(table), -1);
  EXPECT_EQ(d->RemapCategories(nullptr), kErrNullArgument);
  table[3] = 20;
  EXPECT_EQ(d->RemapCategories(table), kErrRecordCategoryIndex);
  EXPECT_EQ(d->RecordAt(3)->Category(), 3) << "nothing changed";
  table[3] = 7;
  table[1] = 3;  // applied once per record, not chained
  ASSERT_EQ(d->RemapCategories(table), kOk);
  EXPECT_EQ(d->RecordAt(0)->Category(), 3);
  EXPECT_EQ(d->RecordAt(3)->Category(), 7);

  d->ClearAllStatus();
  d->SetDirty(false);
  d->ClearAllStatus();
  EXPECT_FALSE(d->IsDirty()) << "nothing left to clear";
}

TEST_F(CPDesktopDatabaseBlocks, SortAndAppInfoCrossInTheSyncManagersForm) {
  auto d = Manager(kSyncFast);
  std::uint8_t buffer[64] = {};
  DbBlockInfo info;
  info.bufferSize = sizeof buffer;
  info.data = buffer;
  EXPECT_EQ(d->GetAppInfo(info), kErrNoAppInfo);
  EXPECT_EQ(d->GetSortInfo(info), kErrNoSortInfo);

  std::uint8_t sortBytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  DbBlockInfo in;
  std::memset(in.name, 'S', sizeof in.name);  // no NUL: the name is cut at 31 bytes
  in.bytesRead = sizeof sortBytes;
  in.data = sortBytes;
  in.reserved = 0x12345678;
  ASSERT_EQ(d->SetSortInfo(in), kOk);
  EXPECT_EQ(Bytes(d->SortInfo()->Bytes(), d->SortInfo()->Bytes() + d->SortInfo()->Size()),
            InfoBlockBytes(std::string(31, 'S'), 10, Bytes(sortBytes, sortBytes + 10), 10, 0x12345678));

  info.bufferSize = 4;
  EXPECT_EQ(d->GetSortInfo(info), kErrBufferTooSmall);
  EXPECT_EQ(info.bytesRead, 10);
  info.bufferSize = sizeof buffer;
  ASSERT_EQ(d->GetSortInfo(info), kOk);
  EXPECT_EQ(info.reserved, 0x12345678u);
  EXPECT_EQ(std::string(info.name), std::string(31, 'S'));
  EXPECT_EQ(Bytes(buffer, buffer + 10), Bytes(sortBytes, sortBytes + 10));
  in.data = nullptr;
  EXPECT_EQ(d->SetAppInfo(in), kErrNullArgument);
  EXPECT_EQ(d->AppInfo(), nullptr);
}

TEST_F(CPDesktopDatabaseBlocks, ApplicationDataFollowsTheCategoryTable) {
  WriteFileBytes(FilePath(), FileBytes({}, InfoBlockBytes("", 276, CategoryTableBytes(kNames, {0, 1, 2, 3}), 276)));
  auto d = Manager(kSyncFast);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->ReadForSync(), kOk);
  bool has = true;
  d->HasApplicationData(has);
  EXPECT_FALSE(has);

  const std::uint8_t digest[20] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(d->SetApplicationData(5, nullptr), kErrNullArgument);
  EXPECT_EQ(d->SetApplicationData(65520, digest), kErrTooLong);
  ASSERT_EQ(d->SetApplicationData(sizeof digest, digest), kOk);
  d->HasApplicationData(has);
  EXPECT_TRUE(has);
  Bytes expected = CategoryTableBytes(kNames, {0, 1, 2, 3});
  expected.insert(expected.end(), digest, digest + 20);
  EXPECT_EQ(Bytes(d->AppInfo()->Bytes(), d->AppInfo()->Bytes() + d->AppInfo()->Size()),
            InfoBlockBytes("", 296, expected, 296));

  std::uint8_t out[20] = {};
  std::uint32_t size = 19;
  EXPECT_EQ(d->GetApplicationData(out, size), kErrBufferTooSmall);
  EXPECT_EQ(size, 20u);
  EXPECT_EQ(d->GetApplicationData(nullptr, size), kErrNullArgument);
  ASSERT_EQ(d->GetApplicationData(out, size), kOk);
  EXPECT_EQ(Bytes(out, out + 20), Bytes(digest, digest + 20));

  ASSERT_EQ(d->SetApplicationData(0, nullptr), kOk);
  EXPECT_EQ(d->AppInfo()->Used(), 276u);
  ASSERT_EQ(d->LoadCategories(), kOk);
  EXPECT_STREQ(d->CategoryTable()->At(1)->Name(), "Business") << "the table survives";

  auto plain = Manager(kSyncFast, kCapAppInfo);  // no categories: the whole block is application data
  ASSERT_EQ(plain->SetApplicationData(3, digest), kOk);
  EXPECT_EQ(Bytes(plain->AppInfo()->Bytes(), plain->AppInfo()->Bytes() + plain->AppInfo()->Size()),
            InfoBlockBytes("", 3, {9, 8, 7}, 3));
}

TEST_F(CPDesktopDatabaseFailures, FailedWriteKeepsTheOldFileAndIsLogged) {
  WriteSample();
  const Bytes before = ReadFileBytes(FilePath());
  auto d = Manager(kSyncSlow);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->ReadForSync(), kOk);
  CPRecord huge = MakeRecord(77, 0, std::string(kMaxRecordDataLength + 1, 'z'));  // one byte too many
  ASSERT_EQ(d->AddRecord(huge), kOk);
  EXPECT_EQ(d->FinishSync(), kErrWrite);
  EXPECT_TRUE(d->IsDirty());
  EXPECT_FALSE(d->IsFileOpen());
  EXPECT_EQ(ReadFileBytes(FilePath()), before);
  EXPECT_EQ(Files(), std::vector<std::string>{"record.dat"}) << "no temporary file is left";
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{{17, " -- Could not save the local database. Error Code 1120"}}));
}

TEST_F(CPDesktopDatabaseFailures, FileThatCannotBeCreatedFailsOpenAndFinish) {
  CPDesktopDatabase d(&log_, kCategories, "TallimorDB", "record.dat", PathOf("missing").c_str(),
                      kSyncHandheldToDesktop);
  EXPECT_EQ(d.OpenForSyncType(), kErrOpenFailed);
  HeaderFields h;
  d.SetDatabaseInfo("TallimorDB", 0, h.type, h.creator, 1, 0, 0, 0, 0);
  EXPECT_EQ(d.FinishSync(), kErrWrite);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{{17, " -- Could not save the local database. Error Code 1120"}}));
}

// A copy made where no file was: any failing call leaves no file and no temporary, so a
// later HotSync finds the name free rather than an empty or partial database.
TEST_F(CPDesktopDatabaseFailures, ANewCopyThatFailsAnywhereLeavesNothingUnderItsName) {
  WriteSample();
  auto d = Manager(kSyncSlow);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->ReadForSync(), kOk);
  const std::string copyPath = PathOf("copy.OLD");
  FaultInjectingFileSystem faults;
  faults.FailCall(FileCall::kAny, 0, EIO);
  ASSERT_EQ(d->WriteCopy(copyPath, StoredFlagsPolicy::kFromRecord), kOk);
  const Bytes whole = ReadFileBytes(copyPath);
  const int calls = faults.Calls();
  for (int nth = 1; nth <= calls; ++nth) {
    std::filesystem::remove(copyPath);
    faults.FailCall(FileCall::kAny, nth, ENOSPC);
    const Result result = d->WriteCopy(copyPath, StoredFlagsPolicy::kFromRecord);
    if (result == kOk) {
      EXPECT_EQ(ReadFileBytes(copyPath), whole) << "call " << nth;
    } else {
      EXPECT_EQ(result, kErrWrite);
      EXPECT_FALSE(std::filesystem::exists(copyPath)) << "call " << nth;
    }
    std::vector<std::string> names = Files();
    std::erase(names, "copy.OLD");
    EXPECT_EQ(names, std::vector<std::string>{"record.dat"}) << "call " << nth;
  }
}

// A file handle whose closing fails, as a network file system may report.
class FailingClose : public CPDesktopDatabase {
 public:
  using CPDesktopDatabase::CPDesktopDatabase;
  Result CloseHandle() override {
    CPDesktopDatabase::CloseHandle();
    return kErrWrite;
  }
};

TEST_F(CPDesktopDatabaseFailures, FailedCloseIsLogged) {
  FailingClose d(&log_, kCategories, "TallimorDB", "record.dat", dir_.c_str(), kSyncFast);
  EXPECT_EQ(d.Close(false), kErrWrite);
  EXPECT_EQ(LogLines(), (std::vector<LogLine>{{17, " -- Could not close local database. Error Code 1120"}}));
}

TEST_F(CPDesktopDatabaseScale, SlowSyncOf65535RecordsClaimsEveryOneById) {
  constexpr std::int32_t kRecords = 65535;
  std::vector<Bytes> images;
  for (std::int32_t i = 0; i < kRecords; ++i) {
    images.push_back(RecordImageBytes(static_cast<std::uint32_t>(1000 + 7 * i), 0x01, i % 16, "memo"));
  }
  WriteFileBytes(FilePath(), FileBytes(images, SampleAppInfo()));
  auto d = Manager(kSyncSlow);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->ReadForSync(), kOk);

  std::vector<std::uint32_t> ids(kRecords);
  std::int32_t count = kRecords;
  ASSERT_EQ(d->ListRecordIds(ids.data(), count), kOk);
  ASSERT_EQ(count, kRecords);
  CPRecord r;
  for (std::int32_t i = kRecords - 1; i >= 0; --i) {
    ASSERT_EQ(d->GetRecordById(ids[static_cast<std::size_t>(i)], r), kOk);
    ASSERT_EQ(r.Index(), i);
  }
  EXPECT_EQ(d->FirstPendingRecord(r), kErrNoMatch);
  ASSERT_EQ(d->FinishSync(), kOk);
  for (Bytes& image : images) image[24] = 0;
  EXPECT_EQ(ReadFileBytes(FilePath()), FileBytes(images, SampleAppInfo()));
}

}  // namespace
}  // namespace tallimor
