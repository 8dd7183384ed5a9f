// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The judge the whole suite relies on, on worlds built by hand: each kind of damage is
// counted once where it is, a sound world is clean, and the reading of record files
// tells a memo under a former password from a garbled one.
#include "tests/reliability/Verdict.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "tests/reliability/ReferenceRuns.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

const std::set<std::string> kTyped = {"a", "b", "c", "deleted", "archived"};

Memo M(const std::string& text, const std::string& category = "Unfiled", bool isPrivate = false,
       MemoKey key = MemoKey::kCurrent) {
  return Memo{text, category, isPrivate, key};
}

// A sound world holding `memos` on both sides and `archived` in Unfiled.ARC, with the
// current password's digest on both sides.
WorldMemos Sound(std::vector<Memo> memos, const std::vector<std::string>& archived = {}) {
  std::sort(memos.begin(), memos.end());
  WorldMemos world;
  world.desktop = {true, "", memos, {}, 0};
  world.handheld = {true, "", memos, {}, 0};
  for (const std::string& text : archived) world.archives.push_back({"Unfiled.ARC", M(text, "")});
  return world;
}

Expected Expect(const WorldMemos& world) {
  Expected expected = ExpectedFrom(world);
  expected.desktopPrivacyExact = false;
  return expected;
}

TEST(Verdict, SoundWorldIsClean) {
  const WorldMemos world = Sound({M("a"), M("b", "Work", true)}, {"archived"});
  Verdict verdict(kTyped);
  verdict.Judge(Expect(world), world);
  EXPECT_TRUE(verdict.Clean()) << ::testing::PrintToString(verdict.notes());
}

TEST(Verdict, CountsLostDuplicatedAndResurrectedMemosPerSide) {
  const Expected expected = Expect(Sound({M("a"), M("b")}));
  WorldMemos actual = Sound({M("a"), M("a"), M("b")});  // "a" twice on both sides
  actual.handheld.live = {M("a"), M("deleted")};         // "b" gone, a deleted memo back
  Verdict verdict(kTyped);
  verdict.Judge(expected, actual);
  EXPECT_EQ(verdict.counts().duplicated, 1);  // on the desktop
  EXPECT_EQ(verdict.counts().lost, 1);        // "b" on the handheld
  EXPECT_EQ(verdict.counts().resurrected, 1);
  EXPECT_EQ(verdict.counts().Total(), 3) << ::testing::PrintToString(verdict.notes());
}

TEST(Verdict, CountsFormerPasswordsAndGarbledMemos) {
  const Expected expected = Expect(Sound({M("a"), M("b")}));
  WorldMemos actual = Sound({M("a"), M("b", "Unfiled", false, MemoKey::kFormer)});
  actual.handheld.live.push_back(M("<garbled 8 bytes>", "Unfiled", false, MemoKey::kGarbled));
  actual.desktop.digestKey = 1;  // record.dat still holds the old password's digest
  Verdict verdict(kTyped);
  verdict.Judge(expected, actual);
  // "b" under the old key on both sides, and the desktop's digest.
  EXPECT_EQ(verdict.counts().keyMixed, 3);
  EXPECT_EQ(verdict.counts().garbled, 1);
  EXPECT_EQ(verdict.counts().lost, 0) << "a memo under a former key is there, not lost";
  EXPECT_EQ(verdict.counts().Total(), 4) << ::testing::PrintToString(verdict.notes());
}

TEST(Verdict, ComparesCategoriesAndPrivateFlags) {
  const Expected expected = Expect(Sound({M("a", "Work", true), M("b")}));
  WorldMemos actual = Sound({M("a", "Unfiled", true), M("b")});  // category lost on both sides
  actual.handheld.live = {M("a", "Work", false), M("b", "Unfiled", false)};
  actual.desktop.live = {M("a", "Work", false), M("b", "Unfiled", true)};
  Verdict verdict(kTyped);
  verdict.Judge(expected, actual);
  // The handheld lost a's flag; the desktop may drop a's flag but must not invent b's.
  EXPECT_EQ(verdict.counts().attributesWrong, 2) << ::testing::PrintToString(verdict.notes());
  EXPECT_EQ(verdict.counts().Total(), 2);
}

TEST(Verdict, CountsArchiveDamage) {
  const Expected expected = Expect(Sound({M("a")}, {"archived"}));
  WorldMemos actual = Sound({M("a")}, {"archived", "archived", "a"});  // twice, and a live memo
  actual.archives.push_back({"Work.ARC", M("deleted", "")});            // a deleted memo archived
  Verdict verdict(kTyped);
  verdict.Judge(expected, actual);
  EXPECT_EQ(verdict.counts().archivedTwice, 1);
  EXPECT_EQ(verdict.counts().duplicated, 1);
  EXPECT_EQ(verdict.counts().resurrected, 1);
  EXPECT_EQ(verdict.counts().Total(), 3) << ::testing::PrintToString(verdict.notes());

  WorldMemos misfiled = Sound({M("a")});
  misfiled.archives = {{"Work.ARC", M("archived", "")}};
  Verdict wrongFile(kTyped);
  wrongFile.Judge(expected, misfiled);
  EXPECT_EQ(wrongFile.counts().lost, 1);             // not in Unfiled.ARC
  EXPECT_EQ(wrongFile.counts().attributesWrong, 1);  // but in Work.ARC
}

TEST(Verdict, ChecksWhatIsKeptAside) {
  Expected expected = Expect(Sound({M("a")}));
  expected.setAside = {"b", "c"};
  WorldMemos actual = Sound({M("a")});
  actual.hasSetAside = true;
  actual.setAside = {true, "", {M("b", "Unfiled", false, MemoKey::kFormer), M("b", "Unfiled", false, MemoKey::kFormer)},
                     {}, 0};  // the current password's digest over memos under the old one
  Verdict verdict(kTyped);
  verdict.Judge(expected, actual);
  EXPECT_EQ(verdict.counts().lost, 1);        // "c"
  EXPECT_EQ(verdict.counts().duplicated, 1);  // "b" twice
  EXPECT_EQ(verdict.counts().keyMixed, 1);    // the digest
  EXPECT_EQ(verdict.counts().Total(), 3) << ::testing::PrintToString(verdict.notes());

  // Nothing to keep aside: a record.OLD holding memos holds copies.
  Expected nothing = Expect(Sound({M("a")}));
  WorldMemos extra = Sound({M("a")});
  extra.hasSetAside = true;
  extra.setAside = {true, "", {M("a", "Unfiled", false, MemoKey::kCurrent)}, {}, 0};
  Verdict copies(kTyped);
  copies.Judge(nothing, extra);
  EXPECT_EQ(copies.counts().duplicated, 1);
}

TEST(Verdict, DesktopChangesLeftOnTheSidesAreKeyMixedNotResurrected) {
  Expected expected = Expect(Sound({M("a")}));
  expected.setAside = {"b"};
  const WorldMemos actual = Sound({M("a"), M("b", "Unfiled", false, MemoKey::kFormer)});
  Verdict verdict(kTyped);
  verdict.Judge(expected, actual);
  EXPECT_EQ(verdict.counts().keyMixed, 2);  // on both sides
  EXPECT_EQ(verdict.counts().lost, 1);      // from record.OLD
  EXPECT_EQ(verdict.counts().Total(), 3) << ::testing::PrintToString(verdict.notes());
}

TEST(MemoSides, ToldApartByThePasswordTheyReadUnder) {
  const std::string dir = ReferenceRuns::MakeScratch("sides");
  ASSERT_FALSE(dir.empty());
  {
    // An archive written by the store keyed with the old password.
    CProtectedRecordFile file(dir + "/Unfiled.ARC", "old");
    CPRecord* record = file.AddEmptyRecord();
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(StoreMemo(*record, "archived under the old password"), kOk);
    ASSERT_EQ(file.Save(), kOk);
  }
  const std::set<std::string> typed = {"archived under the old password"};
  std::string error;
  const Keyring both{{"new", "old"}, &typed};
  const std::vector<ArchivedMemo> former = ReadArchives(dir, both, &error);
  ASSERT_EQ(former.size(), 1u) << error;
  EXPECT_EQ(former[0].memo.text, "archived under the old password");
  EXPECT_EQ(former[0].memo.key, MemoKey::kFormer);

  const Keyring newOnly{{"new"}, &typed};
  const std::vector<ArchivedMemo> garbled = ReadArchives(dir, newOnly, &error);
  ASSERT_EQ(garbled.size(), 1u) << error;
  EXPECT_EQ(garbled[0].memo.key, MemoKey::kGarbled);

  const Keyring oldCurrent{{"old"}, &typed};
  EXPECT_EQ(ReadArchives(dir, oldCurrent, &error)[0].memo.key, MemoKey::kCurrent);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tallimor::reliability
