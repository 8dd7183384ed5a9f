// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Whole fast and slow synchronizations on an emulated handheld: memos added,
// edited, deleted and archived on either side or both, conflicts, the backup copy's
// part in slow synchronization, and the record-id check after the passes.
#include <gtest/gtest.h>

#include <map>

#include "conduit/DesktopJournal.h"
#include "conduit/tests/SyncFixture.h"
#include "store/ConflictPairFile.h"
#include "hotsync/log/HsLog.h"

namespace tallimor::testing {
namespace {


class SyncFastTest : public SyncFixture {};
class SyncSlowTest : public SyncFixture {};

TEST_F(SyncFastTest, ChangesOnEachSideReachTheOther) {
  // Last HotSync left memos 1 to 6 on both sides; since then each side changed some.
  MakeHandheldDb({
      {0x10, Bytes8("kept"), 1},
      {0x11, Bytes8("edited on handheld"), 2, true},
      {0x12, Bytes8("deleted on handheld"), 0, true, true},
      {0x13, Bytes8("archived on handheld"), 0, true, true, true},
      {0x14, Bytes8("to be edited on desktop"), 1},
      {0x15, Bytes8("to be deleted on desktop"), 1},
      {0x16, Bytes8("added on handheld"), 2, true},
  });
  MakeDesktopFile({
      {0x10, Bytes8("kept"), 1, 0},
      {0x11, Bytes8("before edit"), 2, 0},
      {0x12, Bytes8("deleted on handheld"), 0, 0},
      {0x13, Bytes8("archived on handheld"), 1, 0},
      {0, Bytes8("added on desktop"), 2, kPcNew},
      {0x14, Bytes8("edited on desktop"), 1, kPcModified},
      {0x15, Bytes8("to be deleted on desktop"), 1, kPcDeleted | kPcModified},
      {0, Bytes8("added on desktop too"), 0, kPcNew | kPcModified},
  });

  ASSERT_EQ(Sync(kSyncFast), kOk);

  const auto handheld = LiveHandheld();
  EXPECT_EQ(handheld, LiveDesktop());
  EXPECT_EQ(DataOf(handheld),
            (std::multiset<std::string>{Bytes8("kept"), Bytes8("edited on handheld"),
                                        Bytes8("added on desktop"), Bytes8("edited on desktop"),
                                        Bytes8("added on handheld"), Bytes8("added on desktop too")}));
  // Records new on the desktop were numbered by the handheld, and the numbers came
  // back to the records they belong to.
  for (const auto& [id, data, category] : handheld) {
    EXPECT_NE(id, 0u) << data;
    if (data == Bytes8("added on desktop")) EXPECT_EQ(category, 2);
  }
  EXPECT_EQ(ArchivedData(), (std::set<std::string>{Bytes8("archived on handheld")}));
  // Nothing is left flagged on either side.
  for (const HhMemo& m : HandheldMemos()) EXPECT_FALSE(m.dirty || m.deleted) << m.data;
  for (const PcMemo& m : ReadDesktop().memos) EXPECT_EQ(m.flags, 0) << m.data;
  // The backup copy is the desktop file just written.
  EXPECT_EQ(ReadFileBytes(userDir_ + "/record.BAK"), ReadFileBytes(userDir_ + "/record.dat"));
  EXPECT_EQ(LogCount(kActivityConduitEnded, "Generic Conduit"), 1);
}

TEST_F(SyncFastTest, DifferentEditsOnBothSidesKeepBothVersions) {
  MakeHandheldDb({{0x20, Bytes8("handheld's edit"), 1, true}, {0x21, Bytes8("same edit"), 1, true}});
  MakeDesktopFile({{0x20, Bytes8("desktop's edit"), 1, kPcModified},
                   {0x21, Bytes8("same edit"), 1, kPcModified}});

  ASSERT_EQ(Sync(kSyncFast), kOk);

  const auto handheld = LiveHandheld();
  EXPECT_EQ(handheld, LiveDesktop());
  EXPECT_EQ(DataOf(handheld), (std::multiset<std::string>{Bytes8("handheld's edit"), Bytes8("desktop's edit"),
                                                          Bytes8("same edit")}));
  // The handheld's version keeps the record's id; the desktop's is a new record.
  EXPECT_TRUE(std::count(handheld.begin(), handheld.end(), MemoKey{0x20, Bytes8("handheld's edit"), 1}));
  EXPECT_EQ(LogCount(kActivityModifiedBoth, "Record ID 32"), 1);
  EXPECT_EQ(LogCount(kActivityModifiedBoth), 1);
}

// The pair is recorded beside the desktop file for the desktop program's review, under
// the mark the HotSync stamped; a pair of a HotSync that was rolled back (mark above
// the desktop file's) and a pair whose records are gone are dropped, a live
// unreviewed one is kept.
TEST_F(SyncFastTest, BothVersionsKeptAreRecordedAsAPairBesideTheDesktopFile) {
  MakeHandheldDb({{0x20, Bytes8("handheld's edit"), 1, true}, {0x22, Bytes8("earlier pair, a"), 1},
                  {0x23, Bytes8("earlier pair, b"), 1}});
  MakeDesktopFile({{0x20, Bytes8("desktop's edit"), 1, kPcModified}, {0x22, Bytes8("earlier pair, a"), 1, 0},
                   {0x23, Bytes8("earlier pair, b"), 1, 0}});
  const std::string desktop = userDir_ + "/record.dat";
  std::uint32_t before = 0;
  ASSERT_EQ(DesktopJournal::ReadMark(desktop, &before), kOk);
  const ConflictPairFile pairs(ConflictPairFile::PathBeside(desktop));
  ASSERT_EQ(pairs.Write({{before, 0x22, 0x23}, {before + 1, 0x20, 0x99}, {before, 0x22, 0x77}}), kOk);

  ASSERT_EQ(Sync(kSyncFast), kOk);

  std::uint32_t mark = 0;
  ASSERT_EQ(DesktopJournal::ReadMark(desktop, &mark), kOk);
  std::uint32_t desktopsVersion = 0;
  for (const auto& [id, data, category] : LiveDesktop())
    if (data == Bytes8("desktop's edit")) desktopsVersion = id;
  ASSERT_NE(desktopsVersion, 0u);
  std::vector<ConflictPair> read;
  ASSERT_EQ(pairs.Read(&read), kOk);
  EXPECT_EQ(read, (std::vector<ConflictPair>{{before, 0x22, 0x23}, {mark, 0x20, desktopsVersion}}));

  // A HotSync without conflicts leaves the unreviewed pairs as they are.
  ASSERT_EQ(Sync(kSyncFast), kOk);
  ASSERT_EQ(pairs.Read(&read), kOk);
  EXPECT_EQ(read.size(), 2u);
}

TEST_F(SyncFastTest, ModifiedOnOneSideDeletedOnTheOtherSurvives) {
  MakeHandheldDb({{0x30, Bytes8("edited on handheld"), 1, true}, {0x31, Bytes8("old"), 0, false, true}});
  MakeDesktopFile({{0x30, Bytes8("old"), 1, kPcDeleted}, {0x31, Bytes8("edited on desktop"), 2, kPcModified}});

  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(DataOf(LiveHandheld()),
            (std::multiset<std::string>{Bytes8("edited on handheld"), Bytes8("edited on desktop")}));
  EXPECT_EQ(LogCount(kActivityModifiedDeleted), 2);
}

TEST_F(SyncFastTest, PrivateMemosStayPrivateWhenTheDesktopsVersionReachesTheHandheld) {
  // The desktop file keeps no private flag: an edit made there must not make the
  // handheld's private memo public, nor may the desktop's side of a conflict.
  HhMemo edited{0x50, Bytes8("private, before"), 1};
  edited.secret = true;
  HhMemo both{0x51, Bytes8("private, handheld's edit"), 1, true};
  both.secret = true;
  MakeHandheldDb({edited, both, {0x52, Bytes8("public"), 1}});
  MakeDesktopFile({{0x50, Bytes8("private, desktop's edit"), 1, kPcModified},
                   {0x51, Bytes8("private, desktop's other edit"), 1, kPcModified},
                   {0x52, Bytes8("public, edited"), 1, kPcModified}});

  ASSERT_EQ(Sync(kSyncFast), kOk);

  std::map<std::string, bool> secret;
  for (const HhMemo& m : HandheldMemos()) secret[m.data] = m.secret;
  EXPECT_EQ(secret, (std::map<std::string, bool>{{Bytes8("private, desktop's edit"), true},
                                                 {Bytes8("private, handheld's edit"), true},
                                                 {Bytes8("private, desktop's other edit"), true},
                                                 {Bytes8("public, edited"), false}}));
}

TEST_F(SyncFastTest, RecordsMissingOnOneSideAreCopiedWhenCountsDiffer) {
  // The handheld lost 0x41 (restored from an old backup, say) with no flag to show it;
  // the desktop never received 0x42.
  MakeHandheldDb({{0x40, Bytes8("a"), 0}, {0x42, Bytes8("c"), 0}, {0x43, Bytes8("d"), 0}});
  MakeDesktopFile({{0x40, Bytes8("a"), 0, 0}, {0x41, Bytes8("b"), 0, 0}});

  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(DataOf(LiveHandheld()),
            (std::multiset<std::string>{Bytes8("a"), Bytes8("b"), Bytes8("c"), Bytes8("d")}));
}

TEST_F(SyncFastTest, EqualCountsSkipTheIdCheck) {
  MakeHandheldDb({{0x40, Bytes8("a"), 0}, {0x42, Bytes8("c"), 0}});
  MakeDesktopFile({{0x40, Bytes8("a"), 0, 0}, {0x41, Bytes8("b"), 0, 0}});

  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(DataOf(LiveHandheld()), (std::multiset<std::string>{Bytes8("a"), Bytes8("c")}));
  EXPECT_EQ(DataOf(LiveDesktop()), (std::multiset<std::string>{Bytes8("a"), Bytes8("b")}));
}

TEST_F(SyncFastTest, QuietDeleteOfARecordTheHandheldLacksIsNoError) {
  MakeHandheldDb({{0x50, Bytes8("a"), 0}});
  MakeDesktopFile({{0x50, Bytes8("a"), 0, 0}, {0x51, Bytes8("gone from handheld"), 0, kPcDeleted},
                   {0x52, Bytes8("archived on desktop"), 1, kPcArchived}});

  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(LiveDesktop(), (std::vector<MemoKey>{{0x50, Bytes8("a"), 0}}));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(ArchivedData(), (std::set<std::string>{Bytes8("archived on desktop")}));
}

TEST_F(SyncFastTest, MissingHandheldDatabaseMakesItFromTheDesktop) {
  MakeDesktopFile({{0x60, Bytes8("a"), 1, 0}, {0, Bytes8("new"), 2, kPcNew}, {0x61, Bytes8("gone"), 0, kPcDeleted}},
                  Categories{{"Unfiled", "Work", "Home"}, {0, 10, 11}});

  ASSERT_EQ(Sync(kSyncFast), kOk);

  ASSERT_TRUE(HandheldDbExists());
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(DataOf(LiveHandheld()), (std::multiset<std::string>{Bytes8("a"), Bytes8("new")}));
  EXPECT_EQ(HandheldCategoryNames(), (std::vector<std::string>{"Unfiled", "Work", "Home"}));
  EXPECT_EQ(HandheldAppData(), AppData());
}

TEST_F(SyncFastTest, MissingDesktopFileTakesTheHandheld) {
  MakeHandheldDb({{0x70, Bytes8("a"), 1}, {0x71, Bytes8("b"), 2, true}, {0x72, Bytes8("x"), 0, true, true},
                  {0x73, Bytes8("archived"), 0, true, true, true}});

  ASSERT_EQ(Sync(kSyncFast, kFirstSyncNewDesktop), kOk);

  EXPECT_EQ(LiveDesktop(), (std::vector<MemoKey>{{0x70, Bytes8("a"), 1}, {0x71, Bytes8("b"), 2}}));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(ReadDesktop().categoryNames, (std::vector<std::string>{"Unfiled", "Business", "Personal"}));
  EXPECT_EQ(ReadDesktop().appData, AppData());
  EXPECT_EQ(ArchivedData(), (std::set<std::string>{Bytes8("archived")}));
  EXPECT_TRUE(fs::exists(userDir_ + "/record.BAK"));
}

TEST_F(SyncFastTest, NewDesktopRecordNeverReplacesAHandheldRecordWithItsId) {
  // A record the desktop marks new carries an id that the handheld gave another memo.
  MakeHandheldDb({{0x90, Bytes8("handheld memo"), 1}});
  MakeDesktopFile({{0x90, Bytes8("new desktop memo"), 1, kPcNew | kPcModified}});

  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(DataOf(LiveHandheld()), (std::multiset<std::string>{Bytes8("handheld memo"), Bytes8("new desktop memo")}));
}

TEST_F(SyncFastTest, SideWithoutAppInfoTakesTheOthers) {
  MakeHandheldDb({{0x10, Bytes8("a"), 1}});
  {
    // The same database without its app info block.
    std::unique_ptr<HandheldDatabase> db;
    std::string error;
    ASSERT_EQ(OpenHandheld()->LoadDatabase(kMemoDb, &db, &error), kOk);
    ASSERT_EQ(db->SetAppInfo({}), kOk);
    ASSERT_EQ(OpenHandheld()->SaveDatabase(kMemoDb, *db, &error), kOk);
  }
  MakeDesktopFile({{0x10, Bytes8("a"), 1, 0}, {0, Bytes8("b"), 2, kPcNew}});

  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(HandheldCategoryNames(), (std::vector<std::string>{"Unfiled", "Business", "Personal"}));
  EXPECT_EQ(HandheldAppData(), AppData());
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(DataOf(LiveHandheld()), (std::multiset<std::string>{Bytes8("a"), Bytes8("b")}));
}

TEST_F(SyncFastTest, NeitherSideHoldingTheDatabaseIsNothingToDo) {
  ASSERT_EQ(Sync(kSyncFast), kOk);
  EXPECT_FALSE(HandheldDbExists());
  EXPECT_FALSE(ReadDesktop().present);
}

TEST_F(SyncSlowTest, EqualEditsOnBothSidesNeedNoAction) {
  MakeHandheldDb({{0x80, Bytes8("same"), 1, true}, {0x81, Bytes8("b"), 1}});
  MakeDesktopFile({{0x80, Bytes8("same"), 1, kPcModified}, {0x81, Bytes8("b"), 1, 0}});
  MakeBackup({{0x80, Bytes8("before"), 1, 0}, {0x81, Bytes8("b"), 1, 0}});

  ASSERT_EQ(Sync(kSyncSlow), kOk);

  EXPECT_EQ(LiveHandheld(), (std::vector<MemoKey>{{0x80, Bytes8("same"), 1}, {0x81, Bytes8("b"), 1}}));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(LogCount(kActivityModifiedBoth), 0);
}

TEST_F(SyncSlowTest, BackupTellsHandheldEditsWhoseFlagsAnotherDesktopReset) {
  // Another desktop synchronized the handheld since: its flags say nothing changed.
  MakeHandheldDb({{0x90, Bytes8("edited elsewhere"), 1}, {0x91, Bytes8("b"), 1}, {0x93, Bytes8("new elsewhere"), 2}});
  MakeDesktopFile({{0x90, Bytes8("original"), 1, 0}, {0x91, Bytes8("b"), 1, 0},
                   {0x92, Bytes8("deleted elsewhere"), 1, 0}, {0x94, Bytes8("edited here"), 1, kPcModified}});
  MakeBackup({{0x90, Bytes8("original"), 1, 0}, {0x91, Bytes8("b"), 1, 0},
              {0x92, Bytes8("deleted elsewhere"), 1, 0}, {0x94, Bytes8("not yet edited"), 1, 0}});

  ASSERT_EQ(Sync(kSyncSlow), kOk);

  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(DataOf(LiveHandheld()),
            (std::multiset<std::string>{Bytes8("edited elsewhere"), Bytes8("b"), Bytes8("new elsewhere"),
                                        Bytes8("edited here")}));
  EXPECT_EQ(LogCount(kActivityModifiedBoth), 0);
}

TEST_F(SyncSlowTest, WithoutABackupDifferingPairsAreBothKept) {
  MakeHandheldDb({{0xA0, Bytes8("handheld text"), 1}, {0xA1, Bytes8("same"), 1}});
  MakeDesktopFile({{0xA0, Bytes8("desktop text"), 1, kPcModified}, {0xA1, Bytes8("same"), 1, 0}});

  ASSERT_EQ(Sync(kSyncSlow), kOk);

  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(DataOf(LiveHandheld()),
            (std::multiset<std::string>{Bytes8("handheld text"), Bytes8("desktop text"), Bytes8("same")}));
}

TEST_F(SyncSlowTest, RecordArchivedOnTheHandheldIsArchivedNotRevived) {
  MakeHandheldDb({{0xB0, Bytes8("archive me"), 0, false, true, true}, {0xB1, Bytes8("b"), 1}});
  MakeDesktopFile({{0xB0, Bytes8("archive me"), 1, 0}, {0xB1, Bytes8("b"), 1, 0}});
  MakeBackup({{0xB0, Bytes8("archive me"), 1, 0}, {0xB1, Bytes8("b"), 1, 0}});

  ASSERT_EQ(Sync(kSyncSlow), kOk);

  EXPECT_EQ(LiveHandheld(), (std::vector<MemoKey>{{0xB1, Bytes8("b"), 1}}));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(ArchivedData(), (std::set<std::string>{Bytes8("archive me")}));
}

TEST_F(SyncSlowTest, ArchivedOnHandheldAndEditedOnDesktopKeepsBothLive) {
  MakeHandheldDb({{0xB8, Bytes8("archived old"), 0, true, true, true}, {0xB9, Bytes8("pad"), 1}});
  MakeDesktopFile({{0xB8, Bytes8("edited"), 1, kPcModified}, {0xB9, Bytes8("pad"), 1, 0},
                   {0xBA, Bytes8("unsynced"), 1, kPcNew}});

  ASSERT_EQ(Sync(kSyncSlow), kOk);

  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(DataOf(LiveHandheld()),
            (std::multiset<std::string>{Bytes8("archived old"), Bytes8("edited"), Bytes8("pad"),
                                        Bytes8("unsynced")}));
}

TEST_F(SyncSlowTest, DesktopRecordsTheHandheldNoLongerHasAreDeleted) {
  MakeHandheldDb({{0xC0, Bytes8("a"), 0}});
  MakeDesktopFile({{0xC0, Bytes8("a"), 0, 0}, {0xC1, Bytes8("purged on handheld"), 0, 0},
                   {0xC2, Bytes8("edited here"), 0, kPcModified}, {0, Bytes8("new here"), 0, kPcNew}});
  MakeBackup({{0xC0, Bytes8("a"), 0, 0}, {0xC1, Bytes8("purged on handheld"), 0, 0}, {0xC2, Bytes8("x"), 0, 0}});

  ASSERT_EQ(Sync(kSyncSlow), kOk);

  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(DataOf(LiveHandheld()),
            (std::multiset<std::string>{Bytes8("a"), Bytes8("edited here"), Bytes8("new here")}));
}

}  // namespace
}  // namespace tallimor::testing
