// Tests of the conduit's desktop-file manager: opening by sync type and phase,
// reading once, the record, block and category operations, and the files it
// writes, compared byte for byte with independently built files and with the
// desktop program's own writer; failures, their results and their log entries.
#include "conduit/CPDesktopDatabase.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "conduit/tests/DesktopFileFixture.h"
#include "store/CPCategoryTable.h"
#include "store/CPRecordFile.h"

namespace tallimor {
namespace {

using namespace tallimor::testing;

constexpr std::uint32_t kCategories = kCapCategories | kCapAppInfo;

std::string DataOf(const CPRecord& record) {
  return record.Data() ? std::string(reinterpret_cast<const char*>(record.Data()), record.DataLength())
                       : std::string();
}

CPRecord MakeRecord(std::uint32_t id, std::int32_t category, const std::string& data,
                    std::uint32_t status = 0) {
  CPRecord record;
  record.SetId(id);
  record.SetCategory(category);
  record.SetData(static_cast<std::uint32_t>(data.size()), reinterpret_cast<const std::uint8_t*>(data.data()));
  record.SetStatus(status);
  return record;
}

// Category table of the memo database with the 20 bytes that follow it.
Bytes AppInfoData(std::uint16_t changed, const std::vector<std::string>& names) {
  Bytes data = CategoryTableBytes(names, {0, 1, 2, 3}, changed);
  for (int i = 0; i < 20; ++i) data.push_back(static_cast<std::uint8_t>(0xA0 + i));
  return data;
}

const std::vector<std::string> kNames = {"Unfiled", "Business", "Personal", "Ideas"};

Bytes SampleAppInfo(std::uint16_t changed = 0x0004, const std::vector<std::string>& names = kNames) {
  return InfoBlockBytes("", 296, AppInfoData(changed, names), 296, 0xCAFEBABE);
}

// Records as the desktop program stores them, with their stored flags.
std::vector<Bytes> SampleRecords(bool flagsZero = false) {
  auto f = [&](std::uint16_t flags) { return flagsZero ? std::uint16_t{0} : flags; };
  return {RecordImageBytes(100, f(0x11), 1, "first"), RecordImageBytes(200, f(0x08), 2, "second memo"),
          RecordImageBytes(0, f(0x00), 0, ""), RecordImageBytes(300, f(0x02), 3, "x")};
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

// ---------------------------------------------------------------- path

using CPDesktopDatabasePath = CPDesktopDatabaseTest;

TEST_F(CPDesktopDatabasePath, JoinsDirectoryAndFileWithOneSeparator) {
  EXPECT_EQ(CPDesktopDatabase::ComposePath("/u/Tallimor-Vexa", "record.dat"), "/u/Tallimor-Vexa/record.dat");
  EXPECT_EQ(CPDesktopDatabase::ComposePath("/u/Tallimor-Vexa/", "record.dat"), "/u/Tallimor-Vexa/record.dat");
  EXPECT_EQ(CPDesktopDatabase::ComposePath("/u/", nullptr), "/u/GenericDB.DAT");
  EXPECT_EQ(CPDesktopDatabase::ComposePath("/u", ""), "/u/GenericDB.DAT");
  EXPECT_EQ(CPDesktopDatabase::ComposePath(nullptr, "record.dat"), "record.dat");
  EXPECT_EQ(CPDesktopDatabase::ComposePath("", nullptr), "");
  EXPECT_EQ(Manager(0)->Path(), FilePath());
}

TEST_F(CPDesktopDatabasePath, DefaultManagerDoesNothingAndNamesNoFile) {
  CPDesktopDatabase d;
  EXPECT_EQ(d.Path(), "");
  EXPECT_EQ(d.SyncType(), kSyncDoNothing);
  EXPECT_EQ(d.CapabilityFlags(), 0u);
  EXPECT_EQ(d.OpenForSyncType(), kOk);
  EXPECT_FALSE(d.IsFileOpen());
  EXPECT_EQ(d.ReadForSync(), kOk);
  EXPECT_EQ(d.FinishSync(), kOk);
  EXPECT_EQ(d.ReadFile(), kErrNoFileName);
  EXPECT_EQ(d.Open(kOpenReadWrite), kErrOpenFailed);
}

TEST_F(CPDesktopDatabasePath, DatabaseNameIsKeptTo31Bytes) {
  const std::string longName(40, 'n');
  CPDesktopDatabase d(&log_, kCategories, longName.c_str(), "record.dat", dir_.c_str(), 0);
  EXPECT_EQ(d.DatabaseName(), std::string(31, 'n'));
}

// ---------------------------------------------------------------- open modes

using CPDesktopDatabaseOpen = CPDesktopDatabaseTest;

TEST_F(CPDesktopDatabaseOpen, ExistingOnlyModesFailOnAMissingFile) {
  auto d = Manager(0);
  EXPECT_EQ(d->Open(kOpenRead), kErrOpenFailed);
  EXPECT_EQ(d->Open(kOpenWrite), kErrOpenFailed);
  EXPECT_EQ(d->Open(4), kErrOpenFailed);
  EXPECT_EQ(d->Open(-1), kErrOpenFailed);
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(d->Open(kOpenReadWrite), kOk);
  EXPECT_TRUE(d->IsFileOpen());
}

TEST_F(CPDesktopDatabaseOpen, CreateModeEmptiesTheFileOnlyWhenItIsWritten) {
  WriteSample();
  const Bytes before = ReadFileBytes(FilePath());
  auto d = Manager(kSyncDesktopToHandheld);
  ASSERT_EQ(d->Open(kOpenCreate), kOk);
  // It reads as the empty file it is about to become ...
  EXPECT_EQ(d->ReadFile(), kOk);
  std::int32_t count = -1;
  d->RecordCount(count);
  EXPECT_EQ(count, 0);
  ASSERT_NE(d->Header(), nullptr);
  EXPECT_EQ(d->Header()->version, 0);
  // ... but the file on disk is untouched until a write replaces it.
  EXPECT_EQ(ReadFileBytes(FilePath()), before);
}

TEST_F(CPDesktopDatabaseOpen, AFileMadeForAWriteThatNeverCameIsTakenAway) {
  {
    auto d = Manager(kSyncHandheldToDesktop);
    ASSERT_EQ(d->Open(kOpenCreate), kOk);
    EXPECT_EQ(Files(), std::vector<std::string>{"record.dat"});
    d->CloseHandle();
    EXPECT_TRUE(Files().empty());
    ASSERT_EQ(d->OpenForSyncType(), kOk);
  }  // destroyed without finishing
  EXPECT_TRUE(Files().empty());
}

TEST_F(CPDesktopDatabaseOpen, FileIsOpenedWithoutSharing) {
  WriteSample();
  auto first = Manager(0);
  auto second = Manager(0);
  ASSERT_EQ(first->Open(kOpenRead), kOk);
  EXPECT_EQ(second->Open(kOpenRead), kErrOpenFailed);
  CPRecordFile desktop(FilePath(), CPRecordFile::kCategories | CPRecordFile::kAppInfo);
  EXPECT_EQ(desktop.Load(), kErrOpenFailed);
  EXPECT_EQ(first->Close(false), kOk);
  EXPECT_EQ(second->Open(kOpenRead), kOk);
}

// ---------------------------------------------------------------- sync types

using CPDesktopDatabaseSyncTypes = CPDesktopDatabaseTest;

TEST_F(CPDesktopDatabaseSyncTypes, FastOrSlowWithoutADesktopFileReportsItMissing) {
  for (std::int32_t type : {kSyncFast, kSyncSlow}) {
    auto d = Manager(type);
    EXPECT_EQ(d->OpenForSyncType(), kErrDesktopFileMissing) << type;
    EXPECT_EQ(d->ReadForSync(), kErrDesktopFileMissing) << type;
  }
  EXPECT_TRUE(Files().empty());
}

TEST_F(CPDesktopDatabaseSyncTypes, UnknownSyncTypesAreRefused) {
  for (std::int32_t type : {8, -1, 100}) EXPECT_EQ(Manager(type)->OpenForSyncType(), kErrUnknownSyncType);
}

TEST_F(CPDesktopDatabaseSyncTypes, DoNothingTouchesNothing) {
  WriteSample();
  const Bytes before = ReadFileBytes(FilePath());
  auto d = Manager(kSyncDoNothing);
  EXPECT_EQ(d->OpenForSyncType(), kOk);
  EXPECT_FALSE(d->IsFileOpen());
  EXPECT_EQ(d->ReadForSync(), kOk);
  CPRecord r = MakeRecord(9, 0, "new");
  EXPECT_EQ(d->AddRecord(r), kOk);
  EXPECT_EQ(d->FinishSync(), kOk);
  EXPECT_EQ(ReadFileBytes(FilePath()), before);
}

TEST_F(CPDesktopDatabaseSyncTypes, HandheldOverwritesNeverReadsAndWritesWhatItReceived) {
  for (std::int32_t type : {kSyncHandheldToDesktop, 5}) {
    WriteSample();
    auto d = Manager(type);
    ASSERT_EQ(d->OpenForSyncType(), kOk);
    EXPECT_TRUE(d->IsDirty());
    ASSERT_EQ(d->ReadForSync(), kOk);
    std::int32_t count = -1;
    d->RecordCount(count);
    EXPECT_EQ(count, 0) << "the existing file is never read";

    HeaderFields h;
    h.dbVersion = 2;
    h.flags = 0x0008;
    ASSERT_EQ(d->SetDatabaseInfo("TallimorDB", h.flags, h.type, h.creator, 2, h.modNumber, h.createDate,
                                 h.modDate, h.backupDate),
              kOk);
    const Bytes appData = AppInfoData(0, kNames);
    DbBlockInfo info;
    std::strcpy(info.name, "TallimorDB");
    info.bytesRead = static_cast<std::uint16_t>(appData.size());
    info.data = const_cast<std::uint8_t*>(appData.data());
    ASSERT_EQ(d->SetAppInfo(info), kOk);
    CPRecord a = MakeRecord(7, 1, "from handheld", kStatusModified);
    CPRecord b = MakeRecord(8, 0, "second");
    a.SetPrivate(true);
    ASSERT_EQ(d->AddCleanRecord(a), kOk);
    ASSERT_EQ(d->AddCleanRecord(b), kOk);
    ASSERT_EQ(d->FinishSync(), kOk);
    EXPECT_FALSE(d->IsFileOpen());

    h.dbVersion = 2;
    const Bytes expected =
        FileBytes({RecordImageBytes(7, 0, 1, "from handheld"), RecordImageBytes(8, 0, 0, "second")},
                  InfoBlockBytes("TallimorDB", 296, appData, 296), {}, h);
    EXPECT_EQ(ReadFileBytes(FilePath()), expected) << type;
  }
}

TEST_F(CPDesktopDatabaseSyncTypes, DesktopOverwritesReadsThenRewritesWithoutFlags) {
  WriteSample();
  auto d = Manager(kSyncDesktopToHandheld);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  EXPECT_TRUE(d->IsFirstPhase());
  ASSERT_EQ(d->ReadForSync(), kOk);
  CPRecord r;
  ASSERT_EQ(d->GetRecordById(100, r), kOk);
  EXPECT_EQ(r.Status(), kStatusModified);
  EXPECT_TRUE(r.IsPrivate());
  ASSERT_EQ(d->FinishSync(), kOk);
  EXPECT_FALSE(d->IsFirstPhase());
  EXPECT_EQ(ReadFileBytes(FilePath()), FileBytes(SampleRecords(true), SampleAppInfo()));
}

TEST_F(CPDesktopDatabaseSyncTypes, Types4And7ReadButNeverWrite) {
  for (std::int32_t type : {4, 7}) {
    WriteSample();
    const Bytes before = ReadFileBytes(FilePath());
    auto d = Manager(type);
    ASSERT_EQ(d->OpenForSyncType(), kOk);
    ASSERT_EQ(d->ReadForSync(), kOk);
    std::int32_t count = 0;
    d->RecordCount(count);
    EXPECT_EQ(count, 4);
    CPRecord r = MakeRecord(9, 0, "added");
    ASSERT_EQ(d->AddRecord(r), kOk);
    EXPECT_EQ(d->FinishSync(), kOk);
    EXPECT_EQ(ReadFileBytes(FilePath()), before) << type;
    // Their later phase still opens for reading only, so a write is refused.
    EXPECT_EQ(d->WriteFile(), kErrWrite);
    EXPECT_EQ(ReadFileBytes(FilePath()), before) << type;
  }
}

TEST_F(CPDesktopDatabaseSyncTypes, FastSyncRewritesWithStatusCleared) {
  WriteSample();
  auto d = Manager(kSyncFast);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->ReadForSync(), kOk);
  CPRecord r;
  ASSERT_EQ(d->FindFirstNewRecord(r), kOk);
  ASSERT_EQ(d->FinishSync(), kOk);
  EXPECT_EQ(ReadFileBytes(FilePath()), FileBytes(SampleRecords(true), SampleAppInfo()));
  EXPECT_EQ(d->FindFirstNewRecord(r), kErrNoMatch);
}

// ---------------------------------------------------------------- reading for sync

using CPDesktopDatabaseReadForSync = CPDesktopDatabaseTest;

TEST_F(CPDesktopDatabaseReadForSync, SlowSyncMarksEveryRecordPendingUntilClaimedById) {
  WriteSample();
  auto d = Manager(kSyncSlow);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->ReadForSync(), kOk);
  EXPECT_FALSE(d->IsFileOpen());
  EXPECT_FALSE(d->IsDirty());

  CPRecord claimed;
  ASSERT_EQ(d->GetRecordById(200, claimed), kOk);
  EXPECT_FALSE(claimed.HasPendingMark());
  EXPECT_EQ(DataOf(claimed), "second memo");
  EXPECT_EQ(d->GetRecordById(999, claimed), kErrNoMatch);

  std::vector<std::uint32_t> pending;
  CPRecord r;
  for (Result step = d->FirstPendingRecord(r); step == kOk; step = d->NextRecord(r)) pending.push_back(r.Id());
  EXPECT_EQ(pending, (std::vector<std::uint32_t>{100, 0, 300}));
}

TEST_F(CPDesktopDatabaseReadForSync, FastSyncGivesNoPendingMarkAndReadsOnlyOnce) {
  WriteSample();
  auto d = Manager(kSyncFast);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->ReadForSync(), kOk);
  CPRecord r;
  EXPECT_EQ(d->FirstPendingRecord(r), kErrNoMatch);
  ASSERT_EQ(d->Open(kOpenRead), kOk);
  EXPECT_EQ(d->ReadForSync(), kOk);
  EXPECT_EQ(d->LoadCategories(), kOk);
  std::int32_t count = 0;
  d->RecordCount(count);
  EXPECT_EQ(count, 4);
}

TEST_F(CPDesktopDatabaseReadForSync, ReadErrorKeepsWhatWasRead) {
  Bytes file = FileBytes(SampleRecords(), SampleAppInfo());
  file[72] = 6;  // the header promises six records; the file holds four
  WriteFileBytes(FilePath(), file);
  auto d = Manager(kSyncFast);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  EXPECT_EQ(d->ReadForSync(), kErrReadRecordHeader);
  std::int32_t count = 0;
  d->RecordCount(count);
  EXPECT_EQ(count, 4);
  EXPECT_NE(d->AppInfo(), nullptr);
  EXPECT_FALSE(d->IsFileOpen());
}

TEST_F(CPDesktopDatabaseReadForSync, LoadCategoriesReadsAndBuildsTheTable) {
  WriteSample();
  auto d = Manager(kSyncFast);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->LoadCategories(), kOk);
  ASSERT_NE(d->CategoryTable(), nullptr);
  EXPECT_EQ(d->CategoryTable()->Count(), 4);
  EXPECT_STREQ(d->CategoryTable()->At(3)->Name(), "Ideas");
  EXPECT_TRUE(d->CategoryTable()->At(2)->IsChanged());

  // A file without app info has no table to build.
  WriteFileBytes(PathOf("bare.dat"), FileBytes(SampleRecords()));
  CPDesktopDatabase bare(&log_, kCategories, "TallimorDB", "bare.dat", dir_.c_str(), kSyncFast);
  ASSERT_EQ(bare.OpenForSyncType(), kOk);
  EXPECT_EQ(bare.LoadCategories(), kErrNoAppInfoForCategories);
  // Without the app info capability nothing is loaded at all.
  CPDesktopDatabase none(&log_, kCapCategories, "TallimorDB", "bare.dat", dir_.c_str(), kSyncFast);
  EXPECT_EQ(none.LoadCategories(), kOk);
  EXPECT_EQ(none.CategoryTable(), nullptr);
}

// ---------------------------------------------------------------- file format

using CPDesktopDatabaseFormat = CPDesktopDatabaseTest;

// Exposes the table setter so that a table can exist without an app info block.
class TableHolder : public CPDesktopDatabase {
 public:
  using CPDesktopDatabase::CPDesktopDatabase;
  using CPDatabase::SetCategoryTable;
};

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
  EXPECT_EQ(conduitFile, FileBytes(SampleRecords(true), SampleAppInfo(0, renamed)));

  const Bytes desktopFile = ReadFileBytes(desktopPath);
  EXPECT_EQ(desktopFile, FileBytes(SampleRecords(), SampleAppInfo(0x000C, renamed)));
  ASSERT_EQ(desktopFile.size(), conduitFile.size());
  // Where the two may differ: the changed-categories word and each record's flags.
  const std::size_t table0 = 84 + 56;
  std::set<std::size_t> allowed = {table0, table0 + 1};
  std::size_t at = 84 + SampleAppInfo().size();
  for (const Bytes& image : SampleRecords()) {
    allowed.insert({at + 24, at + 25});
    at += image.size();
  }
  std::set<std::size_t> differing;
  for (std::size_t i = 0; i < conduitFile.size(); ++i) {
    if (conduitFile[i] != desktopFile[i]) differing.insert(i);
  }
  EXPECT_FALSE(differing.empty());
  for (std::size_t i : differing) EXPECT_TRUE(allowed.count(i)) << "unexpected difference at " << i;
}

TEST_F(CPDesktopDatabaseFormat, AppInfoBlockItMakesIsNamedAfterTheDatabase) {
  TableHolder d(&log_, kCategories, "TallimorDB", "record.dat", dir_.c_str(), kSyncHandheldToDesktop);
  ASSERT_EQ(d.OpenForSyncType(), kOk);
  HeaderFields h;
  ASSERT_EQ(d.SetDatabaseInfo("TallimorDB", h.flags, h.type, h.creator, static_cast<std::uint16_t>(h.dbVersion),
                              h.modNumber, h.createDate, h.modDate, h.backupDate),
            kOk);
  auto table = std::make_unique<CPCategoryTable>();
  const Bytes stored = CategoryTableBytes({"Unfiled", "Work"}, {0, 1}, 0x0002);
  ASSERT_EQ(table->Load(stored.data(), static_cast<std::uint32_t>(stored.size())), kOk);
  ASSERT_TRUE(table->IsDirty());
  d.SetCategoryTable(std::move(table));
  ASSERT_EQ(d.StoreCategories(), kOk);
  ASSERT_NE(d.AppInfo(), nullptr);
  EXPECT_EQ(d.AppInfo()->Size(), 332u);
  ASSERT_EQ(d.FinishSync(), kOk);

  const Bytes table0 = CategoryTableBytes({"Unfiled", "Work"}, {0, 1}, 0);
  EXPECT_EQ(ReadFileBytes(FilePath()), FileBytes({}, InfoBlockBytes("TallimorDB", 276, table0, 276), {}, h));
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

  const Bytes image = RecordImageBytes(42, 0x0C, 5, "abc");
  CPRecord back;
  ASSERT_EQ(d.RecordFromImage(image.data(), static_cast<std::uint32_t>(image.size()), back), kOk);
  EXPECT_EQ(back.Status(), kStatusArchived | kStatusNew);
  EXPECT_EQ(back.Index(), -1);
  EXPECT_EQ(d.AddRecordFromImage(image.data(), 39), kErrReadRecordHeader);
  ASSERT_EQ(d.AddRecordFromImage(image.data(), static_cast<std::uint32_t>(image.size())), kOk);
  EXPECT_EQ(d.StoredRecordCount(), 1);
}

// ---------------------------------------------------------------- record operations

class CPDesktopDatabaseRecords : public CPDesktopDatabaseTest {
 protected:
  void SetUp() override {
    CPDesktopDatabaseTest::SetUp();
    d_ = Manager(kSyncFast);
    for (CPRecord r : {MakeRecord(10, 1, "a"), MakeRecord(0, 2, "b", kStatusNew), MakeRecord(30, 2, "c"),
                       MakeRecord(40, 3, "d", kStatusDeleted)}) {
      ASSERT_EQ(d_->AddRecord(r), kOk);
    }
    d_->SetDirty(false);
  }
  std::vector<std::uint32_t> Ids() {
    std::vector<std::uint32_t> ids;
    CPRecord r;
    for (Result step = d_->FirstRecord(r); step == kOk; step = d_->NextRecord(r)) ids.push_back(r.Id());
    return ids;
  }
  std::vector<std::int32_t> Categories() {
    std::vector<std::int32_t> categories;
    CPRecord r;
    for (Result step = d_->FirstRecord(r); step == kOk; step = d_->NextRecord(r)) categories.push_back(r.Category());
    return categories;
  }
  std::unique_ptr<CPDesktopDatabase> d_;
};

TEST_F(CPDesktopDatabaseRecords, ModifyByIdReplacesInPlaceAndClearsStatus) {
  CPRecord change = MakeRecord(30, 4, "changed", kStatusModified);
  change.SetPendingMark(true);
  change.SetIndex(99);
  ASSERT_EQ(d_->ModifyRecordById(change), kOk);
  EXPECT_TRUE(d_->IsDirty());
  const CPRecord* stored = d_->RecordAt(2);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(DataOf(*stored), "changed");
  EXPECT_EQ(stored->Index(), 2);
  EXPECT_EQ(stored->Category(), 4);
  EXPECT_EQ(stored->Status(), 0u);
  EXPECT_FALSE(stored->HasPendingMark());
  CPRecord unknown = MakeRecord(77, 0, "");
  EXPECT_EQ(d_->ModifyRecordById(unknown), kErrRecordNotFound);
}

TEST_F(CPDesktopDatabaseRecords, ModifyAtIndexTakesTheNewIdIntoTheIndex) {
  CPRecord numbered = MakeRecord(555, 2, "b", kStatusNew);
  EXPECT_EQ(d_->ModifyRecordAtIndex(-1, numbered), kErrRecordNotFound);
  EXPECT_EQ(d_->ModifyRecordAtIndex(9, numbered), kErrRecordNotFound);
  ASSERT_EQ(d_->ModifyRecordAtIndex(1, numbered), kOk);
  EXPECT_EQ(d_->FindSlotById(555), 1);
  EXPECT_EQ(d_->FindSlotById(0), -1);
  EXPECT_EQ(d_->RecordAt(1)->Status(), 0u);
}

TEST_F(CPDesktopDatabaseRecords, DeleteFindsByIdOrBySlotWhenIdIsZero) {
  CPRecord byId = MakeRecord(30, 0, "");
  ASSERT_EQ(d_->DeleteRecord(byId), kOk);
  CPRecord bySlot = MakeRecord(0, 0, "");
  bySlot.SetIndex(1);
  ASSERT_EQ(d_->DeleteRecord(bySlot), kOk);
  EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{10, 40}));
  EXPECT_EQ(d_->DeleteRecord(byId), kErrRecordNotFound);
  EXPECT_EQ(d_->DeleteRecord(bySlot), kErrRecordNotFound);
  // The emptied slot is the next to be filled.
  CPRecord added = MakeRecord(60, 0, "e");
  ASSERT_EQ(d_->AddRecord(added), kOk);
  EXPECT_EQ(added.Index(), 1);
}

TEST_F(CPDesktopDatabaseRecords, FirstNewAndPurgeOfDeleted) {
  CPRecord r;
  ASSERT_EQ(d_->FindFirstNewRecord(r), kOk);
  EXPECT_EQ(DataOf(r), "b");
  ASSERT_EQ(d_->PurgeDeletedRecords(), kOk);
  EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{10, 0, 30}));
  d_->ClearAllStatus();
  EXPECT_EQ(d_->FindFirstNewRecord(r), kErrNoMatch);
  d_->SetDirty(false);
  d_->ClearAllStatus();
  EXPECT_FALSE(d_->IsDirty()) << "nothing left to clear";
}

TEST_F(CPDesktopDatabaseRecords, CategoryMovesDeletesAndRemaps) {
  EXPECT_EQ(d_->DeleteRecordsOfCategory(16, true), kErrRecordCategoryIndex);
  EXPECT_EQ(d_->ChangeCategory(1, 16), kErrRecordCategoryIndex);
  EXPECT_EQ(d_->ChangeCategory(-1, 0), kErrRecordCategoryIndex);
  EXPECT_FALSE(d_->IsDirty());

  ASSERT_EQ(d_->DeleteRecordsOfCategory(2, true), kOk);
  EXPECT_EQ(Categories(), (std::vector<std::int32_t>{1, 0, 0, 3}));
  EXPECT_TRUE(d_->RecordAt(2)->IsModified());
  EXPECT_TRUE(d_->IsDirty());

  ASSERT_EQ(d_->DeleteRecordsOfCategory(0, false), kOk);
  EXPECT_EQ(Ids(), (std::vector<std::uint32_t>{10, 40}));

  std::int32_t table[16];
  std::fill(std::begin(table), std::end(table), -1);
  EXPECT_EQ(d_->RemapCategories(nullptr), kErrNullArgument);
  table[3] = 20;
  EXPECT_EQ(d_->RemapCategories(table), kErrRecordCategoryIndex);
  EXPECT_EQ(Categories(), (std::vector<std::int32_t>{1, 3}));
  table[3] = 7;
  table[1] = 3;  // applied once per record, not chained
  ASSERT_EQ(d_->RemapCategories(table), kOk);
  EXPECT_EQ(Categories(), (std::vector<std::int32_t>{3, 7}));
  EXPECT_TRUE(d_->RecordAt(0)->IsModified());
}

// ---------------------------------------------------------------- blocks

using CPDesktopDatabaseBlocks = CPDesktopDatabaseTest;

TEST_F(CPDesktopDatabaseBlocks, AppAndSortInfoCrossInTheSyncManagersForm) {
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
  EXPECT_TRUE(d->IsDirty());
  EXPECT_EQ(Bytes(d->SortInfo()->Bytes(), d->SortInfo()->Bytes() + d->SortInfo()->Size()),
            InfoBlockBytes(std::string(31, 'S'), 10, Bytes(sortBytes, sortBytes + 10), 10, 0x12345678));

  info.bufferSize = 4;
  EXPECT_EQ(d->GetSortInfo(info), kErrBufferTooSmall);
  EXPECT_EQ(info.bytesRead, 10);
  info.bufferSize = sizeof buffer;
  info.data = nullptr;
  EXPECT_EQ(d->GetSortInfo(info), kErrNullArgument);
  info.data = buffer;
  ASSERT_EQ(d->GetSortInfo(info), kOk);
  EXPECT_EQ(info.bytesRead, 10);
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
  ASSERT_EQ(d->HasApplicationData(has), kOk);
  EXPECT_FALSE(has);
  std::uint32_t size = 0;
  EXPECT_EQ(d->GetApplicationData(nullptr, size), kOk);
  EXPECT_EQ(size, 0u);

  const std::uint8_t digest[20] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(d->SetApplicationData(5, nullptr), kErrNullArgument);
  EXPECT_EQ(d->SetApplicationData(65520, digest), kErrTooLong);
  ASSERT_EQ(d->SetApplicationData(sizeof digest, digest), kOk);
  ASSERT_EQ(d->HasApplicationData(has), kOk);
  EXPECT_TRUE(has);
  std::uint32_t length = 0;
  d->ApplicationDataLength(length);
  EXPECT_EQ(length, 20u);
  ASSERT_NE(d->ApplicationData(), nullptr);
  EXPECT_EQ(d->ApplicationData()[0], 9);
  Bytes expectedData = CategoryTableBytes(kNames, {0, 1, 2, 3});
  expectedData.insert(expectedData.end(), digest, digest + 20);
  EXPECT_EQ(Bytes(d->AppInfo()->Bytes(), d->AppInfo()->Bytes() + d->AppInfo()->Size()),
            InfoBlockBytes("", 296, expectedData, 296));

  std::uint8_t out[20] = {};
  size = 19;
  EXPECT_EQ(d->GetApplicationData(out, size), kErrBufferTooSmall);
  EXPECT_EQ(size, 20u);
  EXPECT_EQ(d->GetApplicationData(nullptr, size), kErrNullArgument);
  ASSERT_EQ(d->GetApplicationData(out, size), kOk);
  EXPECT_EQ(Bytes(out, out + 20), Bytes(digest, digest + 20));

  ASSERT_EQ(d->SetApplicationData(0, nullptr), kOk);
  EXPECT_EQ(d->AppInfo()->Used(), 276u);
  ASSERT_EQ(d->HasApplicationData(has), kOk);
  EXPECT_FALSE(has);
  ASSERT_EQ(d->LoadCategories(), kOk);
  EXPECT_STREQ(d->CategoryTable()->At(1)->Name(), "Business") << "the table survives";
}

TEST_F(CPDesktopDatabaseBlocks, WithoutCategoriesApplicationDataIsTheWholeBlock) {
  auto d = Manager(kSyncFast, kCapAppInfo);
  bool has = true;
  d->HasApplicationData(has);
  EXPECT_FALSE(has);
  EXPECT_EQ(d->ApplicationData(), nullptr);
  const std::uint8_t bytes[3] = {1, 2, 3};
  ASSERT_EQ(d->SetApplicationData(3, bytes), kOk);
  EXPECT_EQ(Bytes(d->AppInfo()->Bytes(), d->AppInfo()->Bytes() + d->AppInfo()->Size()),
            InfoBlockBytes("", 3, {1, 2, 3}, 3));
  d->HasApplicationData(has);
  EXPECT_TRUE(has);
}

// ---------------------------------------------------------------- failures

using CPDesktopDatabaseFailures = CPDesktopDatabaseTest;

TEST_F(CPDesktopDatabaseFailures, FailedWriteKeepsTheOldFileAndIsLogged) {
  WriteSample();
  const Bytes before = ReadFileBytes(FilePath());
  auto d = Manager(kSyncSlow);
  ASSERT_EQ(d->OpenForSyncType(), kOk);
  ASSERT_EQ(d->ReadForSync(), kOk);
  // One byte more than a record image can carry.
  CPRecord huge = MakeRecord(77, 0, std::string(kMaxRecordDataLength + 1, 'z'));
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
  EXPECT_TRUE(Files().empty());
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

// ---------------------------------------------------------------- scale

using CPDesktopDatabaseScale = CPDesktopDatabaseTest;

TEST_F(CPDesktopDatabaseScale, SlowSyncOf65535RecordsClaimsEveryOneById) {
  constexpr std::int32_t kRecords = 65535;
  std::vector<Bytes> images;
  images.reserve(kRecords);
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
