// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Whole HotSyncs through the ordinary mishaps of users: a reset handheld, HotSyncs that
// fail and are done again, a password changed on the handheld, private and archived
// memos, a damaged backup, a record too long for the desktop, a handheld database cut
// short. Each checks both sides as multisets: a memo must stand exactly once.
#include <gtest/gtest.h>

#include "conduit/DesktopJournal.h"
#include "conduit/KeptAsideFile.h"
#include "conduit/tests/SyncFixture.h"
#include "hotsync/log/HsLog.h"

namespace tallimor::testing {
namespace {

// App info data with a digest of `digest` bytes (the fixture's is 0x5a).
std::string AppDataWithDigest(char digest, const std::string& hint = "hint") {
  std::string data(4, '\0');
  data += std::string(16, digest);
  data += hint;
  data.push_back('\0');
  return data;
}

class SyncSafetyTest : public SyncFixture {
 protected:
  std::multiset<std::string> HandheldData() const { return DataOf(LiveHandheld()); }
  std::multiset<std::string> DesktopData() const { return DataOf(LiveDesktop()); }
  // Every archived record's bytes, counted.
  std::multiset<std::string> ArchivedCounted() const {
    std::multiset<std::string> all;
    for (const auto& [file, memos] : Archives()) {
      for (const PcMemo& m : memos) all.insert(m.data);
    }
    return all;
  }
  // Syncs once more and expects nothing to change on either side.
  void ExpectConverged(std::int32_t syncType = kSyncFast) {
    const auto handheld = LiveHandheld();
    const auto desktop = LiveDesktop();
    const auto archived = ArchivedCounted();
    ASSERT_EQ(Sync(syncType), kOk);
    EXPECT_EQ(LiveHandheld(), handheld);
    EXPECT_EQ(LiveDesktop(), desktop);
    EXPECT_EQ(ArchivedCounted(), archived);
  }
};

// ---------------------------------------------------------------- a reset handheld

TEST_F(SyncSafetyTest, FirstHotSyncOfANewHandheldDeletesNothingAndPairsEqualMemos) {
  // The new handheld numbers its records afresh: its ids meet the desktop's.
  MakeHandheldDb({{0x10, Bytes8("typed on new handheld"), 1, true}, {0x11, Bytes8("both"), 2, true}});
  MakeDesktopFile({{0x10, Bytes8("desktop one"), 1, 0},
                   {0x11, Bytes8("desktop two"), 0, 0},
                   {0x12, Bytes8("both"), 2, 0},
                   {0x13, Bytes8("deleted on desktop"), 1, kPcDeleted}});

  for (std::int32_t type : {kSyncSlow}) {
    ASSERT_EQ(Sync(type, kFirstSyncNewHandheld), kOk);
  }
  const std::multiset<std::string> all{Bytes8("typed on new handheld"), Bytes8("both"), Bytes8("desktop one"),
                                       Bytes8("desktop two")};
  EXPECT_EQ(HandheldData(), all);
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(LogCount(kActivityText, "First HotSync of this Palm organizer"), 1);
  ExpectConverged(kSyncSlow);
  ExpectConverged(kSyncFast);
}

TEST_F(SyncSafetyTest, AnEmptyMemoDatabaseTakesTheDesktopsMemosInEveryRecordMode) {
  for (std::int32_t type : {kSyncSlow, kSyncFast}) {
    SCOPED_TRACE(type);
    MakeHandheldDb({});
    MakeDesktopFile({{0x20, Bytes8("one"), 1, 0}, {0x21, Bytes8("two"), 2, 0}, {0x22, Bytes8("three"), 0, 0}});
    ASSERT_EQ(Sync(type), kOk);
    EXPECT_EQ(HandheldData(), (std::multiset<std::string>{Bytes8("one"), Bytes8("two"), Bytes8("three")}));
    EXPECT_EQ(LiveHandheld(), LiveDesktop());
    ExpectConverged(kSyncSlow);
  }
}

// ---------------------------------------------------------------- exactly once

class SyncExactlyOnceTest : public SyncSafetyTest,
                            public ::testing::WithParamInterface<std::tuple<std::int32_t, SyncFaultKind>> {};

TEST_P(SyncExactlyOnceTest, FailedHotSyncsDoneAgainLeaveEveryMemoOnceOnBothSides) {
  const auto [syncType, kind] = GetParam();
  MakeHandheldDb({{0x10, Bytes8("unchanged"), 1},
                  {0x11, Bytes8("edited on handheld"), 1, true},
                  {0x12, Bytes8("conflict: handheld"), 2, true},
                  {0x13, Bytes8("archived on handheld"), 0, true, true, true},
                  {0x14, Bytes8("to delete on desktop"), 1},
                  {0x15, Bytes8("added on handheld"), 2, true}});
  MakeDesktopFile({{0x10, Bytes8("unchanged"), 1, 0},
                   {0x11, Bytes8("old"), 1, 0},
                   {0x12, Bytes8("conflict: desktop"), 2, kPcModified},
                   {0x13, Bytes8("archived on handheld"), 2, 0},
                   {0x14, Bytes8("to delete on desktop"), 1, kPcDeleted},
                   {0, Bytes8("added on desktop"), 1, kPcNew},
                   {0, Bytes8("archived on desktop"), 2, kPcNew | kPcArchived}});
  MakeBackup({{0x10, Bytes8("unchanged"), 1, 0}, {0x11, Bytes8("old"), 1, 0}, {0x12, Bytes8("conflict"), 2, 0},
              {0x13, Bytes8("archived on handheld"), 2, 0}, {0x14, Bytes8("to delete on desktop"), 1, 0}});
  const Snapshot start = Take();
  ASSERT_EQ(Sync(syncType), kOk);
  const std::uint32_t calls = calls_;
  const auto cleanHandheld = HandheldData();
  const auto cleanArchive = ArchivedCounted();
  ASSERT_EQ(LiveHandheld(), LiveDesktop());

  for (std::uint32_t call = 1; call <= calls; ++call) {
    SCOPED_TRACE("failing call " + std::to_string(call) + " of " + std::to_string(calls));
    Restore(start);
    // Two attempts failing at the same call (the second, slow, may need fewer calls
    // and so succeed), as a user would try again, then a good one.
    EXPECT_NE(Sync(syncType, 0, {kMemoDb}, call, kind), kOk);
    Sync(kSyncSlow, 0, {kMemoDb}, call, kind);
    ASSERT_EQ(Sync(kSyncSlow), kOk);
    EXPECT_EQ(HandheldData(), cleanHandheld);
    EXPECT_EQ(LiveHandheld(), LiveDesktop());
    EXPECT_EQ(ArchivedCounted(), cleanArchive);
    EXPECT_FALSE(fs::exists(userDir_ + "/record.JNL"));
  }
}

INSTANTIATE_TEST_SUITE_P(EveryRecordModeAndFault, SyncExactlyOnceTest,
                         ::testing::Combine(::testing::Values(kSyncFast, kSyncSlow),
                                            ::testing::Values(SyncFaultKind::kCommunications,
                                                              SyncFaultKind::kStorage)));

TEST_F(SyncSafetyTest, JournalRollsForwardOnlyWhenTheHandheldCarriesItsMark) {
  MakeDesktopFile({{0x10, Bytes8("before"), 1, 0}});
  const std::string desktop = userDir_ + "/record.dat";
  const Bytes before = ReadFileBytes(desktop);
  MakeDesktopFile({{0x10, Bytes8("after"), 1, 0}}, {}, AppData(), "record.JNL");
  Bytes journal = ReadFileBytes(userDir_ + "/record.JNL");
  // The mark, little-endian, at the header's last backup date.
  journal[68] = 0x44;
  journal[69] = journal[70] = journal[71] = 0;
  WriteFileBytes(userDir_ + "/record.JNL", journal);
  DesktopJournal j(desktop);
  DesktopJournal::Outcome outcome;

  // The handheld carries another mark: it never took that HotSync.
  ASSERT_EQ(j.Recover(true, 0x43, userDir_ + "/record.BAK", &outcome), kOk);
  EXPECT_EQ(outcome, DesktopJournal::Outcome::kRolledBack);
  EXPECT_EQ(ReadFileBytes(desktop), before);
  EXPECT_FALSE(j.Exists());

  WriteFileBytes(userDir_ + "/record.JNL", journal);
  ASSERT_EQ(j.Recover(true, 0x44, userDir_ + "/record.BAK", &outcome), kOk);
  EXPECT_EQ(outcome, DesktopJournal::Outcome::kRolledForward);
  EXPECT_EQ(ReadFileBytes(desktop), journal);
  EXPECT_EQ(ReadFileBytes(userDir_ + "/record.BAK"), journal);
  EXPECT_FALSE(j.Exists());

  // A desktop file that carries the mark already is never written over: the desktop
  // program may have changed it since.
  Bytes changed = journal;
  changed.push_back(0);
  WriteFileBytes(desktop, changed);
  WriteFileBytes(userDir_ + "/record.JNL", journal);
  ASSERT_EQ(j.Recover(true, 0x44, userDir_ + "/record.BAK", &outcome), kOk);
  EXPECT_EQ(ReadFileBytes(desktop), changed);
  EXPECT_FALSE(j.Exists());

  EXPECT_GT(DesktopJournal::NextMark(0xFFFFFFF0u, 5), 0xFFFFFFF0u);
  EXPECT_GT(DesktopJournal::NextMark(5, 0xFFFFFFF0u), 0xFFFFFFF0u);
}

TEST_F(SyncSafetyTest, ADesktopSaveAfterAHotSyncThatStoppedAtTheDesktopIsKeptByTheRollForward) {
  MakeHandheldDb({{0x10, Bytes8("kept"), 1}, {0x11, Bytes8("edited on handheld"), 1, true}});
  MakeDesktopFile({{0x10, Bytes8("kept"), 1, 0}, {0x11, Bytes8("old"), 1, 0},
                   {0, Bytes8("new before the HotSync"), 1, kPcNew}});
  const Bytes before = ReadFileBytes(userDir_ + "/record.dat");
  ASSERT_EQ(Sync(kSyncFast), kOk);
  // As if the HotSync had stopped after the handheld's commit: the journal is what
  // record.dat was to become, and record.dat is still the one the HotSync read ...
  fs::copy_file(userDir_ + "/record.dat", userDir_ + "/record.JNL");
  WriteFileBytes(userDir_ + "/record.dat", before);
  // ... and the desktop program saved over it: a memo added, one deleted, and the
  // change made before the HotSync still marked.
  MakeDesktopFile({{0x10, Bytes8("kept"), 1, kPcDeleted}, {0x11, Bytes8("old"), 1, 0},
                   {0, Bytes8("new before the HotSync"), 1, kPcNew},
                   {0, Bytes8("new after the HotSync"), 2, kPcNew}});

  ASSERT_EQ(Sync(kSyncSlow), kOk);
  EXPECT_EQ(LogCount(kActivityText, "the Desktop's changes have been completed now"), 1);
  EXPECT_EQ(HandheldData(), (std::multiset<std::string>{Bytes8("edited on handheld"), Bytes8("new before the HotSync"),
                                                        Bytes8("new after the HotSync")}));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_FALSE(fs::exists(userDir_ + "/record.JNL"));
  ExpectConverged();
}

TEST_F(SyncSafetyTest, BothSidesCarryTheSameMarkAfterAHotSync) {
  MakeHandheldDb({{0x10, Bytes8("a"), 1, true}});
  MakeDesktopFile({{0, Bytes8("b"), 1, kPcNew}});
  ASSERT_EQ(Sync(kSyncFast), kOk);
  std::unique_ptr<HandheldDatabase> db;
  std::string error;
  ASSERT_EQ(OpenHandheld()->LoadDatabase(kMemoDb, &db, &error), kOk);
  std::uint32_t desktopMark = 0;
  ASSERT_EQ(DesktopJournal::ReadMark(userDir_ + "/record.dat", &desktopMark), kOk);
  EXPECT_NE(desktopMark, 0u);
  EXPECT_EQ(db->header().backupDate, desktopMark);
}

// ---------------------------------------------------------------- a changed password

TEST_F(SyncSafetyTest, ChangesUnderTheOldPasswordAreKeptAsideNotSent) {
  // The handheld re-enciphered its memos under the new password ('N' stands for that).
  MakeHandheldDb({{0x10, "N:kept", 1, true}, {0x11, "N:edited", 1, true}, {0x12, "N:deleted", 1}},
                 {}, AppDataWithDigest('\x22'));
  MakeDesktopFile({{0x10, "O:kept", 1, 0},
                   {0x11, "O:edited on desktop", 2, kPcModified},
                   {0x12, "O:deleted", 1, kPcDeleted},
                   {0, "O:new on desktop", 1, kPcNew}},
                  {}, AppDataWithDigest('\x11'));
  for (std::int32_t type : {kSyncFast}) ASSERT_EQ(Sync(type), kOk);

  // Nothing enciphered under the old key reached either side's live memos.
  EXPECT_EQ(HandheldData(), (std::multiset<std::string>{"N:kept", "N:edited"}));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(ReadDesktop().appData, AppDataWithDigest('\x22'));
  // The desktop's changes wait in record.OLD under the old digest.
  const DesktopFile kept = ReadDesktop("record.OLD");
  ASSERT_TRUE(kept.present);
  EXPECT_EQ(kept.appData, AppDataWithDigest('\x11'));
  std::multiset<std::string> keptData;
  for (const PcMemo& m : kept.memos) keptData.insert(m.data);
  EXPECT_EQ(keptData, (std::multiset<std::string>{"O:edited on desktop", "O:new on desktop"}));
  EXPECT_EQ(LogCount(kActivityText, "The password was changed on Palm organizer."), 1);
  EXPECT_EQ(LogCount(kActivityText, "record.OLD"), 1);
  EXPECT_TRUE(fs::status(userDir_ + "/record.OLD").permissions() == (fs::perms::owner_read | fs::perms::owner_write));

  // Done again (as after a failure), nothing is kept twice; the sides stay in step.
  MakeDesktopFile({{0x11, "O:edited on desktop", 2, kPcModified}}, {}, AppDataWithDigest('\x11'));
  ASSERT_EQ(Sync(kSyncSlow), kOk);
  EXPECT_EQ(ReadDesktop("record.OLD").memos.size(), 2u);
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
}

TEST_F(SyncSafetyTest, AnEmptyKeptAsideFileThatAKilledWriterLeftIsMadeAnew) {
  MakeHandheldDb({{0x10, "N:one", 1, true}}, {}, AppDataWithDigest('\x22'));
  MakeDesktopFile({{0x10, "O:one", 1, 0}, {0, "O:new", 1, kPcNew}}, {}, AppDataWithDigest('\x11'));
  WriteFileBytes(userDir_ + "/record.OLD", {});
  ASSERT_EQ(Sync(kSyncFast), kOk);
  const DesktopFile kept = ReadDesktop("record.OLD");
  EXPECT_EQ(kept.appData, AppDataWithDigest('\x11'));
  ASSERT_EQ(kept.memos.size(), 1u);
  EXPECT_EQ(kept.memos[0].data, "O:new");
  EXPECT_FALSE(fs::exists(userDir_ + "/record-2.OLD"));
}

TEST_F(SyncSafetyTest, APasswordChangedWithoutDesktopChangesSimplyTakesEffect) {
  MakeHandheldDb({{0x10, "N:one", 1, true}, {0x11, "N:two", 2, true}}, {}, AppDataWithDigest('\x22'));
  MakeDesktopFile({{0x10, "O:one", 1, 0}, {0x11, "O:two", 2, 0}}, {}, AppDataWithDigest('\x11'));
  ASSERT_EQ(Sync(kSyncFast), kOk);
  EXPECT_EQ(DesktopData(), (std::multiset<std::string>{"N:one", "N:two"}));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_FALSE(fs::exists(userDir_ + "/record.OLD"));
  EXPECT_EQ(LogCount(kActivityText, "the Desktop takes the new password"), 1);
}

TEST_F(SyncSafetyTest, AResetHandheldWithAnotherPasswordKeepsEveryDesktopMemoAside) {
  MakeHandheldDb({{0x10, "N:on the new handheld", 1, true}}, {}, AppDataWithDigest('\x22'));
  MakeDesktopFile({{0x10, "O:one", 1, 0}, {0x11, "O:two", 2, 0}}, {}, AppDataWithDigest('\x11'));
  ASSERT_EQ(Sync(kSyncSlow, kFirstSyncNewHandheld), kOk);
  EXPECT_EQ(HandheldData(), (std::multiset<std::string>{"N:on the new handheld"}));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(ReadDesktop("record.OLD").memos.size(), 2u);
}

// ---------------------------------------------------------------- attributes and categories

TEST_F(SyncSafetyTest, APrivateMemoStaysPrivateThroughTheDesktopFileAndIsNeverDuplicated) {
  MakeHandheldDb({{0x10, Bytes8("secret"), 1, true, false, false, true}});
  MakeDesktopFile({});
  ASSERT_EQ(Sync(kSyncSlow), kOk);
  ASSERT_EQ(ReadDesktop().memos.size(), 1u);
  EXPECT_EQ(ReadDesktop().memos[0].flags, 0x10);

  // Edited on the desktop only: a slow HotSync sends the edit, keeps the flag, and
  // neither duplicates nor reports a conflict.
  MakeDesktopFile({{0x10, Bytes8("edited"), 1, kPcModified | 0x10}});
  ASSERT_EQ(Sync(kSyncSlow), kOk);
  const auto memos = HandheldMemos();
  ASSERT_EQ(memos.size(), 1u);
  EXPECT_EQ(memos[0].data, Bytes8("edited"));
  EXPECT_TRUE(memos[0].secret);
  EXPECT_EQ(LogCount(kActivityModifiedBoth), 0);
  for (std::int32_t type : {kSyncDesktopToHandheld, kSyncHandheldToDesktop, kSyncFast}) {
    ASSERT_EQ(Sync(type), kOk);
    EXPECT_TRUE(HandheldMemos().at(0).secret) << type;
    EXPECT_EQ(ReadDesktop().memos.at(0).flags, 0x10) << type;
  }
}

TEST_F(SyncSafetyTest, AMemoArchivedOnBothSidesIsArchivedOnceInItsCategory) {
  Categories cats{{"Unfiled", "Business", "Personal"}, {0, 1, 2}};
  for (std::int32_t type : {kSyncFast, kSyncSlow}) {
    SCOPED_TRACE(type);
    for (const auto& e : fs::directory_iterator(userDir_)) fs::remove(e.path());
    MakeHandheldDb({{0x10, Bytes8("archived twice"), 2, true, true, true}}, cats);
    MakeDesktopFile({{0x10, Bytes8("archived twice"), 2, kPcArchived}}, cats);
    ASSERT_EQ(Sync(type), kOk);
    const auto archives = Archives();
    ASSERT_EQ(archives.count("Personal.ARC"), 1u);
    EXPECT_EQ(archives.at("Personal.ARC").size(), 1u);
    EXPECT_EQ(archives.count("Unfiled.ARC"), 0u);
    EXPECT_EQ(LogCount(kActivityModifiedBoth), 0);
  }
}

// ---------------------------------------------------------------- single bad files

TEST_F(SyncSafetyTest, ADamagedBackupIsSetAsideAndTheSlowHotSyncGoesOn) {
  MakeHandheldDb({{0x10, Bytes8("a"), 1}, {0x11, Bytes8("b"), 1, true}});
  MakeDesktopFile({{0x10, Bytes8("a"), 1, 0}});
  WriteFileBytes(userDir_ + "/record.BAK", Bytes{'d', 'a', 'm', 'a', 'g', 'e', 'd'});
  ASSERT_EQ(Sync(kSyncSlow), kOk);
  EXPECT_EQ(DesktopData(), (std::multiset<std::string>{Bytes8("a"), Bytes8("b")}));
  EXPECT_TRUE(fs::exists(userDir_ + "/record.BAK.damaged"));
  EXPECT_EQ(LogCount(kActivityText, "record.BAK.damaged"), 1);
  ExpectConverged(kSyncSlow);
}

TEST_F(SyncSafetyTest, ARecordTooLongForTheDesktopStaysOnTheHandheldAndBlocksNothing) {
  const std::string longMemo(65500, 'L');
  MakeHandheldDb({{0x10, longMemo, 1, true}, {0x11, Bytes8("short"), 1, true}});
  MakeDesktopFile({{0, Bytes8("desktop"), 1, kPcNew}});
  for (std::int32_t type : {kSyncFast, kSyncSlow, kSyncFast, kSyncHandheldToDesktop, kSyncDesktopToHandheld}) {
    SCOPED_TRACE(type);
    ASSERT_EQ(Sync(type), kOk);
    EXPECT_EQ(HandheldData(), (std::multiset<std::string>{longMemo, Bytes8("short"), Bytes8("desktop")}));
    EXPECT_EQ(DesktopData(), (std::multiset<std::string>{Bytes8("short"), Bytes8("desktop")}));
    EXPECT_EQ(LogCount(kActivityText, "65500 bytes"), 1);
  }
}

TEST_F(SyncSafetyTest, AHandheldDatabaseCutShortCannotTakeTheDesktopsMemosWithIt) {
  std::vector<PcMemo> desktop;
  for (std::uint32_t i = 0; i < 20; ++i) desktop.push_back({0x10 + i, Bytes8("memo " + std::to_string(i)), 1, 0});
  MakeDesktopFile(desktop);
  MakeBackup(desktop);
  MakeHandheldDb({{0x10, Bytes8("memo 0"), 1}, {0x11, Bytes8("memo 1"), 1}});
  const Snapshot start = Take();

  EXPECT_EQ(Sync(kSyncSlow), kErrMassDeleteRefused);
  EXPECT_EQ(LogCount(kActivityDesktopFailed, "would delete 18 of the 20 records"), 1);
  EXPECT_EQ(Take().handheld, start.handheld);
  EXPECT_EQ(ReadFileBytes(userDir_ + "/record.dat"), start.user.at("record.dat"));

  options_ = kSyncOptionAllowMassDelete;
  ASSERT_EQ(Sync(kSyncSlow), kOk);
  EXPECT_EQ(DesktopData(), (std::multiset<std::string>{Bytes8("memo 0"), Bytes8("memo 1")}));
}

TEST_F(SyncSafetyTest, AMemoDatabaseWhoseAppInfoCannotHoldTheCategoriesIsRefused) {
  MakeHandheldDb({{0x10, Bytes8("a"), 1}});
  {
    std::unique_ptr<HandheldDatabase> db;
    std::string error;
    ASSERT_EQ(OpenHandheld()->LoadDatabase(kMemoDb, &db, &error), kOk);
    ASSERT_EQ(db->SetAppInfo(Bytes(100, 1)), kOk);
    ASSERT_EQ(OpenHandheld()->SaveDatabase(kMemoDb, *db, &error), kOk);
  }
  MakeDesktopFile({{0x10, Bytes8("a"), 1, 0}});
  const Snapshot start = Take();
  for (std::int32_t type : {kSyncFast, kSyncSlow, kSyncHandheldToDesktop}) {
    EXPECT_EQ(Sync(type), kErrCategoryTableShort) << type;
    EXPECT_EQ(LogCount(kActivityDesktopFailed, "fewer than the 276 bytes"), 1);
    EXPECT_EQ(Take().handheld, start.handheld);
  }
}

}  // namespace
}  // namespace tallimor::testing
