// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// One side overwriting the other (sync types 2 to 5 and 7), and the run as a whole:
// the types that do nothing or are refused, the log's entries, several databases
// in one run, and the databases named by descriptors.
#include <gtest/gtest.h>

#include "conduit/tests/SyncFixture.h"
#include "hotsync/log/HsLog.h"

namespace tallimor::testing {
namespace {

class SyncOverwriteTest : public SyncFixture {};
class SynchronizerRun : public SyncFixture {};

const Categories kOther{{"Unfiled", "Desk"}, {0, 9}};

TEST_F(SyncOverwriteTest, HandheldOverwritesDesktop) {
  MakeHandheldDb({{0x10, "live", 1}, {0x11, "edited", 2, true}, {0x12, "deleted", 0, true, true},
                  {0x13, "archived", 0, false, true, true}});
  MakeDesktopFile({{0x10, "desktop's version", 1, kPcModified}, {0, "desktop only", 1, kPcNew}}, kOther,
                  AppData("desktop hint"));

  ASSERT_EQ(Sync(kSyncHandheldToDesktop), kOk);

  EXPECT_EQ(LiveDesktop(), (std::vector<MemoKey>{{0x10, "live", 1}, {0x11, "edited", 2}}));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(ArchivedData(), (std::set<std::string>{"archived"}));
  const DesktopFile desktop = ReadDesktop();
  EXPECT_EQ(desktop.categoryNames, (std::vector<std::string>{"Unfiled", "Business", "Personal"}));
  EXPECT_EQ(desktop.appData, AppData());
  for (const HhMemo& m : HandheldMemos()) EXPECT_FALSE(m.dirty) << m.data;
  // The header describes the handheld database.
  const Bytes file = ReadFileBytes(userDir_ + "/record.dat");
  ASSERT_GE(file.size(), 38u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data()) + 6), kMemoDb);
}

TEST_F(SyncOverwriteTest, HandheldOverwritesDesktopKeepingTheHandheldsFlags) {
  MakeHandheldDb({{0x10, "live", 1}, {0x11, "edited", 2, true}});
  MakeDesktopFile({{0x10, "old", 1, 0}});

  ASSERT_EQ(Sync(5), kOk);

  EXPECT_EQ(LiveDesktop(), (std::vector<MemoKey>{{0x10, "live", 1}, {0x11, "edited", 2}}));
  for (const HhMemo& m : HandheldMemos()) EXPECT_EQ(m.dirty, m.id == 0x11) << m.data;
}

TEST_F(SyncOverwriteTest, DesktopOverwritesHandheld) {
  MakeHandheldDb({{0x10, "handheld's version", 1, true}, {0x20, "handheld only", 1, true}});
  MakeDesktopFile({{0x10, "desktop's version", 1, 0}, {0, "new on desktop", 1, kPcNew},
                   {0x11, "deleted", 1, kPcDeleted}, {0x12, "archived", 1, kPcArchived}},
                  kOther, AppData("desktop hint"));

  ASSERT_EQ(Sync(kSyncDesktopToHandheld), kOk);

  const auto handheld = LiveHandheld();
  EXPECT_EQ(handheld, LiveDesktop());
  EXPECT_EQ(DataOf(handheld), (std::multiset<std::string>{"desktop's version", "new on desktop"}));
  EXPECT_TRUE(std::count(handheld.begin(), handheld.end(), MemoKey{0x10, "desktop's version", 1}));
  for (const auto& [id, data, category] : handheld) EXPECT_NE(id, 0u) << data;
  EXPECT_EQ(HandheldCategoryNames(), (std::vector<std::string>{"Unfiled", "Desk"}));
  EXPECT_EQ(HandheldAppData(), AppData("desktop hint"));
  EXPECT_EQ(Archives()["Desk.ARC"].size(), 1u);
}

TEST_F(SyncOverwriteTest, DesktopOverwritesHandheldWithoutWritingTheDesktopFile) {
  for (const std::int32_t type : {4, 7}) {
    SCOPED_TRACE(type);
    MakeHandheldDb({{0x20, "handheld only", 1, true}});
    MakeDesktopFile({{0x10, "desktop", 1, 0}, {0, "new on desktop", 1, kPcNew}});
    const Bytes before = ReadFileBytes(userDir_ + "/record.dat");

    ASSERT_EQ(Sync(type), kOk);

    EXPECT_EQ(DataOf(LiveHandheld()), (std::multiset<std::string>{"desktop", "new on desktop"}));
    EXPECT_EQ(ReadFileBytes(userDir_ + "/record.dat"), before);
  }
}

TEST_F(SyncOverwriteTest, DesktopOverwriteWithoutADesktopFileLeavesTheHandheldAlone) {
  MakeHandheldDb({{0x10, "only copy", 1, true}});

  EXPECT_EQ(Sync(kSyncDesktopToHandheld), kErrDesktopFileMissing);

  // The database was never deleted: no call went beyond the system information, the
  // look at the handheld database's commit mark, and the connection's opening and
  // closing.
  EXPECT_EQ(calls_, 4u);
  EXPECT_EQ(DataOf(LiveHandheld()), (std::multiset<std::string>{"only copy"}));
  EXPECT_FALSE(ReadDesktop().present);
  EXPECT_EQ(LogCount(kActivityConduitFailed, "Generic Conduit"), 1);
  EXPECT_EQ(LogCount(kActivityText, "Fatal Error 4387."), 1);
}

TEST_F(SyncOverwriteTest, HandheldOverwriteWithoutAHandheldDatabaseLeavesTheDesktopAlone) {
  MakeDesktopFile({{0x10, "only copy", 1, 0}});
  const Bytes before = ReadFileBytes(userDir_ + "/record.dat");

  EXPECT_EQ(Sync(kSyncHandheldToDesktop), kErrHandheldDbMissing);

  EXPECT_EQ(ReadFileBytes(userDir_ + "/record.dat"), before);
  EXPECT_FALSE(HandheldDbExists());
}

TEST_F(SynchronizerRun, DoNothingAndUnknownActionsTouchNothing) {
  MakeHandheldDb({{0x10, "a", 1, true}});
  MakeDesktopFile({{0x20, "b", 1, kPcNew}});
  const Snapshot before = Take();

  EXPECT_EQ(Sync(kSyncDoNothing), kOk);
  EXPECT_EQ(calls_, 0u);
  EXPECT_EQ(Sync(8), kErrSyncTypeTooLarge);
  EXPECT_EQ(calls_, 0u);
  EXPECT_EQ(Sync(-1), kErrSyncTypeTooLarge);
  EXPECT_EQ(calls_, 0u);

  const Snapshot after = Take();
  EXPECT_EQ(after.handheld, before.handheld);
  EXPECT_EQ(after.user, before.user);
}

TEST_F(SynchronizerRun, LogHasTheStartAndEndEntries) {
  MakeHandheldDb({{0x10, "a", 1}});
  MakeDesktopFile({{0x10, "a", 1, 0}});

  ASSERT_EQ(Sync(kSyncFast), kOk);

  std::vector<std::int32_t> activities;
  for (const auto& [activity, text] : log_) activities.push_back(activity);
  EXPECT_EQ(activities, (std::vector<std::int32_t>{kActivityConduitStart, kActivityConduitEnded,
                                                   kActivityConduitStart, kActivityConduitEnded}));
  EXPECT_EQ(log_.back().second, "Generic Conduit");
}

TEST_F(SynchronizerRun, LaterDatabasesAfterAFallbackKeepTheirOwnAction) {
  // The first database is missing on the handheld and is made from the desktop; the
  // second exists there with a memo the desktop has never seen.
  MakeDesktopFile({{0x10, "desktop memo", 1, 0}});
  MakeHandheldDb({{0x30, "second database's memo", 2, true}}, Categories{}, AppData(), "TallimorDB2");

  ASSERT_EQ(Sync(kSyncFast, 0, {kMemoDb, "TallimorDB2"}), kOk);

  EXPECT_EQ(DataOf(LiveHandheld()), (std::multiset<std::string>{"desktop memo"}));
  const auto second = DataOf(LiveHandheld("TallimorDB2"));
  EXPECT_EQ(second.count("second database's memo"), 1u);
  EXPECT_EQ(DataOf(LiveDesktop()).count("second database's memo"), 1u);
}

TEST_F(SynchronizerRun, DatabasesNamedByDescriptors) {
  MakeHandheldDb({{0x10, "a", 1, true}});
  MakeDesktopFile({{0x10, "old", 1, 0}});

  ASSERT_EQ(hotsyncLog_->BeginRun(), kOk);
  ASSERT_EQ(SyncAttachHandheld(handheldDir_.c_str()), kOk);
  DbDescriptor descriptor{};
  ASSERT_EQ(SyncReadDBList(0, &descriptor), kOk);
  DbDescriptor* list[] = {&descriptor, nullptr};
  SyncPropertiesRecord properties = Properties(kSyncFast, 0, {});
  properties.remoteDescriptors = list;
  properties.remoteCount = 2;  // the second entry is missing: the run ends there
  Synchronizer synchronizer(properties, kCapCategories | kCapAppInfo);
  EXPECT_EQ(synchronizer.perform(), kOk);
  SyncDetachHandheld();
  ASSERT_EQ(hotsyncLog_->EndRun(true), kOk);

  EXPECT_EQ(LiveDesktop(), (std::vector<MemoKey>{{0x10, "a", 1}}));
}

}  // namespace
}  // namespace tallimor::testing
