// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The merge of the handheld's and the desktop's category tables in a HotSync:
// categories added, renamed and deleted on either side, the 15-category limit, the
// first-HotSync marks, and the per-category archives the merged table names.
#include <gtest/gtest.h>

#include "conduit/tests/SyncFixture.h"
#include "hotsync/log/HsLog.h"

namespace tallimor::testing {
namespace {

class SyncCategoriesTest : public SyncFixture {
 protected:
  // The category of the live record with these bytes on each side (-1: none).
  std::pair<int, int> CategoryOf(const std::string& data) {
    std::pair<int, int> found{-1, -1};
    for (const auto& [id, bytes, category] : LiveHandheld()) {
      if (bytes == data) found.first = category;
    }
    for (const auto& [id, bytes, category] : LiveDesktop()) {
      if (bytes == data) found.second = category;
    }
    return found;
  }
};

std::uint16_t Bit(int index) { return static_cast<std::uint16_t>(1u << index); }
std::uint16_t Bits(int a, int b) { return static_cast<std::uint16_t>(Bit(a) | Bit(b)); }

TEST_F(SyncCategoriesTest, DesktopOnlyCategoryWithEveryHandheldIndexTakenGoesToUnfiled) {
  Categories handheld;
  handheld.names = {"Unfiled"};
  handheld.ids = {0};
  for (int i = 1; i < 16; ++i) {
    handheld.names.push_back("Cat" + std::to_string(i));
    handheld.ids.push_back(static_cast<std::uint8_t>(i));
  }
  handheld.changed = Bit(5);  // "Cat5" is new on the handheld
  Categories desktop = handheld;
  desktop.changed = Bit(5);
  desktop.names[5] = "Extra";  // new on the desktop, in the same slot
  desktop.ids[5] = 200;
  MakeHandheldDb({{0x10, "in three", 3}, {0x15, "in handheld five", 5, true}}, handheld);
  MakeDesktopFile({{0x10, "in three", 3, 0}, {0, "in extra", 5, kPcNew}}, desktop);

  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(CategoryOf("in extra"), std::make_pair(0, 0));
  EXPECT_EQ(CategoryOf("in handheld five"), std::make_pair(5, 5));
  EXPECT_EQ(CategoryOf("in three"), std::make_pair(3, 3));
  EXPECT_EQ(ReadDesktop().categoryNames, HandheldCategoryNames());
  EXPECT_EQ(HandheldCategoryNames()[5], "Cat5");
  EXPECT_EQ(LogCount(kActivityCategoryLimit,
                     "Only 15 categories are allowed.  All records in local category Extra were changed to 'Unfiled'."),
            1);
  EXPECT_EQ(LogCount(kActivityCategoryDeleted, "-- Local category Extra has been deleted."), 1);
}

TEST_F(SyncCategoriesTest, AfterAFirstHotSyncACategoryDeletedOnTheHandheldIsDeletedOnTheDesktop) {
  // The handheld marks the categories its user made as changed; the first HotSync
  // copies its whole block to the desktop. That copy is in step with the handheld, so
  // the marks must not come along: with them the desktop would keep, and give back,
  // a category the handheld deletes afterwards.
  Categories made;
  made.changed = Bits(1, 2);
  MakeHandheldDb({{0x10, "at work", 1}, {0x11, "at home", 2}}, made);
  ASSERT_EQ(Sync(kSyncFast), kOk);  // no desktop file yet: the handheld's is copied
  ASSERT_EQ(ReadDesktop().categoryNames, HandheldCategoryNames());

  Categories without = made;
  without.names[1] = "";
  without.ids[1] = 0;
  without.changed = Bit(2);
  MakeHandheldDb({{0x10, "at work", 0, true}, {0x11, "at home", 2}}, without);
  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(LiveHandheld().size(), 2u);  // nothing duplicated
  EXPECT_EQ(CategoryOf("at work"), std::make_pair(0, 0));
  EXPECT_EQ(CategoryOf("at home"), std::make_pair(2, 2));
  EXPECT_EQ(ReadDesktop().categoryNames, HandheldCategoryNames());
  EXPECT_EQ(HandheldCategoryNames()[1], "");
  EXPECT_EQ(LogCount(kActivityCategoryDeleted, "-- Remote category Business has been deleted."), 1);
}

TEST_F(SyncCategoriesTest, AfterAFirstHotSyncACategoryDeletedOnTheDesktopIsDeletedOnTheHandheld) {
  Categories made;
  made.changed = Bits(1, 2);
  MakeHandheldDb({{0x10, "at work", 1}, {0x11, "at home", 2}}, made);
  ASSERT_EQ(Sync(kSyncFast), kOk);  // no desktop file yet: the handheld's is copied

  Categories without = made;
  without.names[1] = "";
  without.ids[1] = 0;
  without.changed = 0;
  MakeDesktopFile({{0x10, "at work", 0, kPcModified}, {0x11, "at home", 2, 0}}, without);
  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(CategoryOf("at work"), std::make_pair(0, 0));
  EXPECT_EQ(HandheldCategoryNames()[1], "");
  EXPECT_EQ(ReadDesktop().categoryNames, HandheldCategoryNames());
  EXPECT_EQ(LogCount(kActivityCategoryDeleted, "-- Local category Business has been deleted."), 1);
}

TEST_F(SyncCategoriesTest, RenamesOnOneSideReachTheOtherAndTheHandheldWinsBoth) {
  Categories handheld{{"Unfiled", "Business", "Job", "Home"}, {0, 1, 2, 3}, Bits(2, 3)};
  Categories desktop{{"Unfiled", "Work", "Personal", "House"}, {0, 1, 2, 3}, Bits(1, 3)};
  MakeHandheldDb({{0x10, "business memo", 1}, {0x11, "job memo", 2}, {0x12, "home memo", 3}}, handheld);
  MakeDesktopFile({{0x10, "business memo", 1, 0}, {0x11, "job memo", 2, 0}, {0x12, "home memo", 3, 0}}, desktop);

  ASSERT_EQ(Sync(kSyncFast), kOk);

  const std::vector<std::string> merged{"Unfiled", "Work", "Job", "Home"};
  EXPECT_EQ(HandheldCategoryNames(), merged);
  EXPECT_EQ(ReadDesktop().categoryNames, merged);
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(CategoryOf("business memo"), std::make_pair(1, 1));
}

TEST_F(SyncCategoriesTest, CategoryAddedOnEachSideInTheSameSlotBothSurvive) {
  Categories handheld{{"Unfiled", "Business", "Personal", "Hobby"}, {0, 1, 2, 3}, Bit(3)};
  Categories desktop{{"Unfiled", "Business", "Personal", "Travel"}, {0, 1, 2, 130}, Bit(3)};
  MakeHandheldDb({{0x10, "hobby memo", 3, true}}, handheld);
  MakeDesktopFile({{0, "travel memo", 3, kPcNew}, {0x20, "old travel memo", 3, kPcModified}}, desktop);

  ASSERT_EQ(Sync(kSyncFast), kOk);

  const std::vector<std::string> merged{"Unfiled", "Business", "Personal", "Hobby", "Travel"};
  EXPECT_EQ(HandheldCategoryNames(), merged);
  EXPECT_EQ(ReadDesktop().categoryNames, merged);
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(CategoryOf("hobby memo"), std::make_pair(3, 3));
  EXPECT_EQ(CategoryOf("travel memo"), std::make_pair(4, 4));
  EXPECT_EQ(CategoryOf("old travel memo"), std::make_pair(4, 4));
}

TEST_F(SyncCategoriesTest, CategoryDeletedOnOneSideSendsTheOthersRecordsToUnfiled) {
  // The handheld deleted "Personal"; the desktop deleted "Travel".
  Categories handheld{{"Unfiled", "Business", "", "Travel"}, {0, 1, 0, 3}};
  Categories desktop{{"Unfiled", "Business", "Personal"}, {0, 1, 2}};
  MakeHandheldDb({{0x10, "personal memo", 0}, {0x11, "travel memo", 3}}, handheld);
  MakeDesktopFile({{0x10, "personal memo", 2, 0}, {0x11, "travel memo", 0, kPcModified}}, desktop);

  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(HandheldCategoryNames(), (std::vector<std::string>{"Unfiled", "Business"}));
  EXPECT_EQ(ReadDesktop().categoryNames, HandheldCategoryNames());
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(CategoryOf("personal memo"), std::make_pair(0, 0));
  EXPECT_EQ(CategoryOf("travel memo"), std::make_pair(0, 0));
  EXPECT_EQ(LogCount(kActivityCategoryDeleted, "-- Remote category Personal has been deleted."), 1);
  EXPECT_EQ(LogCount(kActivityCategoryDeleted, "-- Local category Travel has been deleted."), 1);
}

TEST_F(SyncCategoriesTest, SameNameInAnotherSlotMovesTheDesktopsRecords) {
  Categories handheld{{"Unfiled", "Business", "Personal", "", "Travel"}, {0, 1, 2, 0, 4}};
  Categories desktop{{"Unfiled", "Business", "Personal", "", "", "", "travel"}, {0, 1, 2, 0, 0, 0, 140}};
  MakeHandheldDb({{0x10, "trip", 4}}, handheld);
  MakeDesktopFile({{0x10, "trip", 6, 0}, {0, "another trip", 6, kPcNew}}, desktop);

  ASSERT_EQ(Sync(kSyncSlow), kOk);

  EXPECT_EQ(ReadDesktop().categoryNames, HandheldCategoryNames());
  EXPECT_EQ(HandheldCategoryNames()[4], "Travel");
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
  EXPECT_EQ(CategoryOf("trip"), std::make_pair(4, 4));
  EXPECT_EQ(CategoryOf("another trip"), std::make_pair(4, 4));
}

TEST_F(SyncCategoriesTest, FirstHotSyncOfAHandheldDropsNoCategory) {
  // Neither side knows the other's categories yet; none may be taken for deleted.
  Categories handheld{{"Unfiled", "Business", "Old"}, {0, 1, 2}};
  Categories desktop{{"Unfiled", "Business", "", "Personal"}, {0, 1, 0, 3}};
  MakeHandheldDb({{0x10, "old memo", 2}}, handheld);
  MakeDesktopFile({{0, "personal memo", 3, kPcNew}}, desktop);

  ASSERT_EQ(Sync(kSyncSlow, kFirstSyncNewHandheld), kOk);

  EXPECT_EQ(HandheldCategoryNames(), (std::vector<std::string>{"Unfiled", "Business", "Old", "Personal"}));
  EXPECT_EQ(ReadDesktop().categoryNames, HandheldCategoryNames());
  EXPECT_EQ(CategoryOf("old memo"), std::make_pair(2, 2));
  EXPECT_EQ(CategoryOf("personal memo"), std::make_pair(3, 3));
  EXPECT_EQ(LogCount(kActivityCategoryDeleted), 0);
}

TEST_F(SyncCategoriesTest, DuplicateNamesOnTheHandheldBecomeOneCategory) {
  Categories handheld{{"Unfiled", "Business", "business"}, {0, 1, 2}, Bit(2)};
  Categories desktop{{"Unfiled", "Business"}, {0, 1}};
  MakeHandheldDb({{0x10, "first", 1}, {0x11, "second", 2, true}}, handheld);
  MakeDesktopFile({{0x10, "first", 1, 0}}, desktop);

  ASSERT_EQ(Sync(kSyncFast), kOk);

  EXPECT_EQ(HandheldCategoryNames(), (std::vector<std::string>{"Unfiled", "Business"}));
  EXPECT_EQ(CategoryOf("second"), std::make_pair(1, 1));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());
}

TEST_F(SyncCategoriesTest, ArchivesAreKeptPerCategoryAndNamesThatMeetShareOne) {
  // "a/b" and "a:b" make the same file name; each archive must keep both records.
  Categories both{{"Unfiled", "Business", "a/b", "a:b"}, {0, 1, 2, 3}};
  MakeHandheldDb({{0x10, "business", 1}, {0x11, "slash", 2}, {0x12, "colon", 3}, {0x13, "kept", 1}}, both);
  MakeDesktopFile({{0x10, "business", 1, kPcArchived}, {0x11, "slash", 2, kPcArchived},
                   {0x12, "colon", 3, kPcArchived}, {0x13, "kept", 1, 0}},
                  both);

  ASSERT_EQ(Sync(kSyncFast), kOk);

  auto archives = Archives();
  ASSERT_EQ(archives.size(), 2u);
  ASSERT_EQ(archives.count("Business.ARC"), 1u);
  ASSERT_EQ(archives.count("a_b.ARC"), 1u);
  EXPECT_EQ(archives["Business.ARC"].size(), 1u);
  std::set<std::string> shared;
  for (const PcMemo& m : archives["a_b.ARC"]) shared.insert(m.data);
  EXPECT_EQ(shared, (std::set<std::string>{"slash", "colon"}));
  EXPECT_EQ(LiveHandheld(), (std::vector<MemoKey>{{0x13, "kept", 1}}));
  EXPECT_EQ(LiveHandheld(), LiveDesktop());

  // A later HotSync adds to the archive instead of replacing it. The handheld
  // reports an archived record without its category; it is archived in its desktop
  // counterpart's.
  MakeHandheldDb({{0x13, "kept", 1, true, true, true}}, both);
  ASSERT_EQ(Sync(kSyncFast), kOk);
  EXPECT_EQ(Archives().count("Unfiled.ARC"), 0u);
  EXPECT_EQ(Archives()["Business.ARC"].size(), 2u);
  EXPECT_EQ(Archives()["a_b.ARC"].size(), 2u);
  EXPECT_TRUE(LiveHandheld().empty());
  EXPECT_TRUE(LiveDesktop().empty());
}

}  // namespace
}  // namespace tallimor::testing
