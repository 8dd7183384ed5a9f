// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Every pair of states that the action tables reconcile, driven through a whole
// fast or slow synchronization each, with equal and with different contents: both
// sides must end holding the same memos, and every version that should survive
// (what a side changed, added or archived, and what neither side touched) must be
// on both sides or in an archive.
#include <gtest/gtest.h>

#include "conduit/tests/SyncFixture.h"

namespace tallimor::testing {
namespace {

// A record's state on one side of the pair.
struct State {
  const char* name;
  bool present;
  bool modified;
  bool deleted;
  bool archived;
  bool isNew;
};

constexpr State kMissing{"X", false, false, false, false, false};
constexpr State kUnchanged{"U", true, false, false, false, false};
constexpr State kModified{"M", true, true, false, false, false};
constexpr State kDeleted{"D", true, false, true, false, false};
constexpr State kDeletedModified{"D+M", true, true, true, false, false};
constexpr State kArchived{"A", true, false, false, true, false};
constexpr State kArchivedModified{"A+M", true, true, false, true, false};
constexpr State kNew{"N", true, false, false, false, true};
constexpr State kNewModified{"N+M", true, true, false, false, true};
constexpr State kNewDeleted{"N+D", true, false, true, false, true};

// The handheld knows no "new", and archives only what it deletes (D+A).
const std::vector<State> kHandheldStates = {kMissing, kUnchanged, kModified, kDeleted, kDeletedModified,
                                            State{"D+A", true, false, true, true, false},
                                            State{"D+A+M", true, true, true, true, false}};
// A desktop record new since the last HotSync carries no handheld id; it is
// reconciled on its own (the handheld has no counterpart).
const std::vector<State> kDesktopPairedStates = {kMissing, kUnchanged, kModified, kDeleted,
                                                 kDeletedModified, kArchived, kArchivedModified};
const std::vector<State> kDesktopNewStates = {kNew, kNewModified, kNewDeleted};

// Whether a version must outlive the synchronization. `changed` says whether a
// side changed the record since the last HotSync (its modified flag, or, for the
// handheld in slow synchronization, a difference from the backup copy). One content
// on both sides survives unless a side deleted it (archiving keeps it). Of two
// contents, a side's survives when that side archived it (unless the other changed
// it since), changed or added it, or left it as both sides had it.
bool MustSurvive(const State& own, bool ownChanged, const State& other, bool otherChanged, bool equal) {
  if (!own.present) return false;
  if (equal && other.present) {
    const bool archived = own.archived || other.archived;
    const bool deleted = (own.deleted && !own.archived) || (other.deleted && !other.archived);
    return archived || !deleted;
  }
  if (own.archived) return !otherChanged;
  if (own.deleted) return false;
  if (ownChanged || own.isNew) return true;
  return other.present && !otherChanged && !other.deleted && !other.archived;
}

class SyncTableWalk : public SyncFixture {
 protected:
  void Walk(std::int32_t syncType) {
    const Snapshot empty = Take();
    int runs = 0;
    for (const State& hh : kHandheldStates) {
      std::vector<State> desktopStates = kDesktopPairedStates;
      if (!hh.present) desktopStates.insert(desktopStates.end(), kDesktopNewStates.begin(), kDesktopNewStates.end());
      for (const State& pc : desktopStates) {
        if (!hh.present && !pc.present) continue;
        for (const bool equal : {true, false}) {
          if (equal && !(hh.present && pc.present)) continue;
          // Contents that differ although neither side changed the record cannot
          // come about where the handheld's flags are trusted.
          if (syncType == kSyncFast && !equal && hh.present && pc.present && !hh.modified &&
              !pc.modified && !pc.isNew) {
            continue;
          }
          SCOPED_TRACE(std::string("handheld ") + hh.name + ", desktop " + pc.name +
                       (equal ? ", equal" : ", different"));
          Restore(empty);
          RunCell(syncType, hh, pc, equal);
          ++runs;
        }
      }
    }
    EXPECT_GE(runs, 70);
  }

  void RunCell(std::int32_t syncType, const State& hh, const State& pc, bool equal) {
    const std::uint32_t id = 0x4242;
    const std::string hhData = equal ? std::string("same\0memo", 9) : std::string("handheld\0memo", 13);
    const std::string pcData = equal ? hhData : std::string("desktop\0memo\x81", 13);
    // Two bystanders that neither side touched keep the files from being trivial.
    std::vector<HhMemo> handheld{{0x100, "bystander 1", 2}};
    std::vector<PcMemo> desktop{{0x100, "bystander 1", 2, 0}};
    std::vector<PcMemo> backup{{0x100, "bystander 1", 2, 0}};
    if (hh.present) handheld.push_back({id, hhData, 1, hh.modified, hh.deleted, hh.archived});
    if (pc.present) {
      std::uint16_t flags = 0;
      if (pc.modified) flags |= kPcModified;
      if (pc.deleted) flags |= kPcDeleted;
      if (pc.archived) flags |= kPcArchived;
      if (pc.isNew) flags |= kPcNew;
      desktop.push_back({pc.isNew ? 0 : id, pcData, 1, flags});
    }
    // The last HotSync left what the desktop still holds unchanged (its flags are
    // reliable), else what the handheld holds unchanged, else an older version.
    std::string before = "older";
    if (pc.present && !pc.modified && !pc.isNew) {
      before = pcData;
    } else if (hh.present && !hh.modified) {
      before = hhData;
    }
    const bool synchronizedBefore = !pc.isNew && (hh.present || pc.present);
    if (synchronizedBefore) backup.push_back({id, before, 1, 0});
    const bool handheldChanged =
        hh.modified || (syncType == kSyncSlow && hh.present && (!synchronizedBefore || before != hhData));
    handheld.push_back({0x101, "bystander 2", 0});
    desktop.push_back({0x101, "bystander 2", 0, 0});
    backup.push_back({0x101, "bystander 2", 0, 0});
    MakeHandheldDb(handheld);
    MakeDesktopFile(desktop);
    MakeBackup(backup);

    ASSERT_EQ(Sync(syncType), kOk);

    const auto live = LiveHandheld();
    EXPECT_EQ(live, LiveDesktop());
    const std::multiset<std::string> kept = DataOf(live);
    const std::set<std::string> archived = ArchivedData();
    auto survives = [&](const std::string& data) { return kept.count(data) > 0 || archived.count(data) > 0; };
    EXPECT_TRUE(kept.count("bystander 1") && kept.count("bystander 2"));
    const bool desktopChanged = pc.modified || pc.isNew;
    if (MustSurvive(hh, handheldChanged, pc, desktopChanged, equal)) {
      EXPECT_TRUE(survives(hhData)) << "the handheld's version is lost";
    }
    if (MustSurvive(pc, desktopChanged, hh, handheldChanged, equal)) {
      EXPECT_TRUE(survives(pcData)) << "the desktop's version is lost";
    }
    // Nothing deleted or archived on both sides comes back.
    const bool bothLetGo = (!hh.present || hh.deleted || hh.archived) && (!pc.present || pc.deleted || pc.archived) &&
                           !hh.modified && !pc.modified;
    if (bothLetGo && !equal) {
      EXPECT_EQ(kept.count(hhData) + kept.count(pcData), 0u);
    }
  }
};

TEST_F(SyncTableWalk, SyncFastEveryPairOfStates) { Walk(kSyncFast); }

TEST_F(SyncTableWalk, SyncSlowEveryPairOfStates) { Walk(kSyncSlow); }

}  // namespace
}  // namespace tallimor::testing
