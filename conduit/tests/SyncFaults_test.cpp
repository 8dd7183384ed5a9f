// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reliability of a HotSync against the Sync Manager failing: a clean run of a fast
// and of a slow synchronization is counted, then each of its Sync Manager calls in
// turn is made to fail (the link lost from that call on, or that one call failing
// to store). Every such run must report failure and log why, must lose no memo on
// either side, and the slow HotSync that follows must leave both sides holding the
// same memos, every one that the clean run kept among them.
#include <gtest/gtest.h>

#include "conduit/tests/SyncFixture.h"
#include "hotsync/log/HsLog.h"

namespace tallimor::testing {
namespace {

class SyncFaultsTest : public SyncFixture {
 protected:
  // The last HotSync left both sides equal; since then each side changed things,
  // and the desktop added a category.
  void MakeChangedSides() {
    Categories handheld;
    Categories desktop{{"Unfiled", "Business", "Personal", "Travel"}, {0, 1, 2, 130}, 1u << 3};
    MakeHandheldDb({
                       {0x10, "kept", 1},
                       {0x11, "edited on handheld", 2, true},
                       {0x12, "deleted on handheld", 0, true, true},
                       {0x13, "archived on handheld", 0, true, true, true},
                       {0x14, "to be edited on desktop", 1},
                       {0x15, "to be deleted on desktop", 1},
                       {0x16, "added on handheld", 2, true},
                       {0x17, "conflict: handheld", 1, true},
                       {0x18, "to be archived on desktop", 2},
                   },
                   handheld);
    MakeDesktopFile({
                        {0x10, "kept", 1, 0},
                        {0x11, "before the handheld's edit", 2, 0},
                        {0x12, "deleted on handheld", 1, 0},
                        {0x13, "archived on handheld", 1, 0},
                        {0x14, "edited on desktop", 1, kPcModified},
                        {0x15, "to be deleted on desktop", 1, kPcDeleted | kPcModified},
                        {0, "added on desktop", 3, kPcNew},
                        {0x17, "conflict: desktop", 1, kPcModified},
                        {0x18, "to be archived on desktop", 2, kPcArchived},
                    },
                    desktop);
    MakeBackup({{0x10, "kept", 1, 0},
                {0x11, "before the handheld's edit", 2, 0},
                {0x12, "deleted on handheld", 1, 0},
                {0x13, "archived on handheld", 1, 0},
                {0x14, "to be edited on desktop", 1, 0},
                {0x15, "to be deleted on desktop", 1, 0},
                {0x17, "conflict: before", 1, 0},
                {0x18, "to be archived on desktop", 2, 0}});
  }

  // Every memo before the HotSync, as the versions it has on either side: an edit
  // and the version it replaces are one memo, two edits of one memo are two memos.
  const std::vector<std::set<std::string>> kMemos = {
      {"kept"},
      {"edited on handheld", "before the handheld's edit"},
      {"deleted on handheld"},
      {"archived on handheld"},
      {"to be edited on desktop", "edited on desktop"},
      {"to be deleted on desktop"},
      {"added on handheld"},
      {"added on desktop"},
      {"conflict: handheld"},
      {"conflict: desktop"},
      {"to be archived on desktop"},
  };

  // The bytes each side holds, in any state, and the archives.
  std::set<std::string> Held() const {
    std::set<std::string> held = ArchivedData();
    for (const HhMemo& m : HandheldMemos()) held.insert(m.data);
    for (const PcMemo& m : ReadDesktop().memos) held.insert(m.data);
    return held;
  }

  void FailEveryCall(std::int32_t syncType, SyncFaultKind kind) {
    MakeChangedSides();
    const Snapshot start = Take();

    ASSERT_EQ(Sync(syncType), kOk);
    const std::uint32_t calls = calls_;
    ASSERT_GT(calls, 20u);
    const auto clean = DataOf(LiveHandheld());
    ASSERT_EQ(LiveHandheld(), LiveDesktop());
    const std::set<std::string> cleanArchive = ArchivedData();

    for (std::uint32_t call = 1; call <= calls; ++call) {
      SCOPED_TRACE("failing Sync Manager call " + std::to_string(call) + " of " + std::to_string(calls));
      Restore(start);

      EXPECT_NE(Sync(syncType, 0, {kMemoDb}, call, kind), kOk);
      EXPECT_EQ(LogCount(kActivityText, "Fatal Error"), 1);
      EXPECT_EQ(LogCount(kActivityText, kind == SyncFaultKind::kCommunications
                                            ? "-- communications error: the link to the handheld was lost"
                                            : "-- the handheld's storage could not be written"),
                1);
      EXPECT_EQ(LogCount(kActivityConduitEnded, "Generic Conduit"), 0);
      // Every memo the HotSync keeps is still held somewhere. One it deletes may be
      // gone already: a failure after both sides committed (at the connection's
      // close) leaves the deletion done, as it should be.
      const std::set<std::string> held = Held();
      for (const auto& versions : kMemos) {
        const auto in = [](const auto& set) {
          return [&set](const std::string& v) { return set.count(v) > 0; };
        };
        const bool kept = std::any_of(versions.begin(), versions.end(), in(held));
        const bool keptByCleanRun = std::any_of(versions.begin(), versions.end(), in(clean)) ||
                                    std::any_of(versions.begin(), versions.end(), in(cleanArchive));
        if (keptByCleanRun) EXPECT_TRUE(kept) << "lost: " << *versions.begin();
      }

      // The HotSync manager makes the HotSync after a failed one a slow one.
      ASSERT_EQ(Sync(kSyncSlow), kOk);
      const auto live = LiveHandheld();
      EXPECT_EQ(live, LiveDesktop());
      const auto kept = DataOf(live);
      const std::set<std::string> archived = ArchivedData();
      for (const std::string& memo : clean) {
        EXPECT_TRUE(kept.count(memo) > 0 || archived.count(memo) > 0) << "not kept: " << memo;
      }
      for (const std::string& memo : cleanArchive) {
        EXPECT_TRUE(kept.count(memo) > 0 || archived.count(memo) > 0) << "not archived: " << memo;
      }
    }
  }
};

TEST_F(SyncFaultsTest, FastSyncLosingTheLinkAtEveryCall) { FailEveryCall(kSyncFast, SyncFaultKind::kCommunications); }

TEST_F(SyncFaultsTest, FastSyncFailingToStoreAtEveryCall) { FailEveryCall(kSyncFast, SyncFaultKind::kStorage); }

TEST_F(SyncFaultsTest, SlowSyncLosingTheLinkAtEveryCall) { FailEveryCall(kSyncSlow, SyncFaultKind::kCommunications); }

TEST_F(SyncFaultsTest, SlowSyncFailingToStoreAtEveryCall) { FailEveryCall(kSyncSlow, SyncFaultKind::kStorage); }

}  // namespace
}  // namespace tallimor::testing
