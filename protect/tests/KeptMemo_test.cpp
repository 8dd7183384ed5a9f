// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of memos kept aside under a previous password: finding the kept files in the
// order they were written, the previous password checked against the file's own digest,
// and the merge into the store (categories by name, deletions dropped, ids that still
// live updated, the rest added) run twice without doubling anything. The files are
// written by the independent writer of the tests.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "protect/KeptMemoFile.h"
#include "protect/KeptMemoMerge.h"
#include "protect/StoredMemo.h"
#include "protect/UserStore.h"
#include "protect/tests/ProtectedFileWriter.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

using testing::PlainMemo;
using testing::ProtectedFileBytes;
using testing::ProtectedFileSpec;
using testing::ReadBytes;
using testing::WriteBytes;

constexpr std::uint16_t kModified = 0x01, kDeleted = 0x02, kArchived = 0x04, kNew = 0x08, kPrivate = 0x10;

class KeptMemoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    data_ = dir_ + "/record.dat";
    old_ = dir_ + "/record.OLD";

    // The desktop file after the HotSync: the handheld's new password and table.
    ProtectedFileSpec current;
    current.password = "new-pw";
    current.categories = {"Unfiled", "Business", "Personal"};
    current.memos = {{10, 2, 0, PlainMemo("shared memo v1")},
                     {11, 0, 0, PlainMemo("handheld only")},
                     {12, 1, 0, PlainMemo("deleted on the desktop before")}};
    ASSERT_TRUE(WriteBytes(data_, ProtectedFileBytes(current)));

    // What the conduit kept aside: the previous table (other indexes, other case).
    kept_.password = "old-pw";
    kept_.hint = "old hint";
    kept_.categories = {"Unfiled", "personal", "Travel"};
    kept_.memos = {{10, 1, kModified, PlainMemo("shared memo v2")},
                   {0, 2, kNew | kPrivate, PlainMemo("trip plan")},
                   {12, 0, kDeleted, PlainMemo("")},
                   {99, 0, kModified, PlainMemo("gone from the handheld meanwhile")},
                   {0, 0, kArchived, PlainMemo("archive me")},
                   {0, 0, kNew, PlainMemo("twin")},
                   {0, 0, kNew, PlainMemo("twin")}};
    ASSERT_TRUE(WriteBytes(old_, ProtectedFileBytes(kept_)));
  }

  std::unique_ptr<CProtectedRecordFile> OpenStore() {
    std::unique_ptr<CProtectedRecordFile> store;
    UserStoreOutcome outcome;
    EXPECT_EQ(OpenUserStore(data_, "new-pw", store, &outcome), kOk);
    EXPECT_TRUE(outcome.opened);
    EXPECT_EQ(outcome.loadResult, kOk);
    return store;
  }

  // Reads the kept file with the previous password and merges it into `store`.
  KeptMemoMergeCounts MergeInto(CProtectedRecordFile& store) {
    KeptMemoFile kept(old_);
    EXPECT_EQ(kept.Read("old-pw"), kOk);
    KeptMemoMergeCounts counts;
    EXPECT_EQ(KeptMemoMerge(store).Merge(kept, &counts), kOk);
    return counts;
  }

  // The live record whose memo text is `text`, or nullptr.
  static CPRecord* Find(CProtectedRecordFile& store, const std::string& text) {
    for (CPRecord* r = store.FirstRecord(); r != nullptr; r = store.NextRecord()) {
      if (!r->IsDeleted() && StoredMemoText(*r) == text) return r;
    }
    return nullptr;
  }
  static int CountText(CProtectedRecordFile& store, const std::string& text) {
    int n = 0;
    for (CPRecord* r = store.FirstRecord(); r != nullptr; r = store.NextRecord()) {
      if (StoredMemoText(*r) == text) ++n;
    }
    return n;
  }

  tallimor::testing::TempDir temp_{"kept"};  // removed after the test
  std::string dir_, data_, old_;
  ProtectedFileSpec kept_;
};

TEST_F(KeptMemoTest, KeptFilesAreFoundInTheOrderTheyWereWritten) {
  for (const char* name : {"record-10.OLD", "record-2.OLD", "recordX.OLD", "record.OLD.a1b2c3",
                           "other.OLD", "record.old"}) {
    ASSERT_TRUE(WriteBytes(dir_ + "/" + name, {1}));
  }
  ASSERT_EQ(mkdir((dir_ + "/record-3.OLD").c_str(), 0700), 0);  // not a file
  EXPECT_EQ(KeptMemoFile::FindBeside(data_),
            (std::vector<std::string>{old_, dir_ + "/record-2.OLD", dir_ + "/record-10.OLD",
                                      dir_ + "/recordX.OLD"}));
  EXPECT_TRUE(KeptMemoFile::FindBeside(dir_ + "/nowhere/record.dat").empty());
}

TEST_F(KeptMemoTest, OnlyThePreviousPasswordDeciphersAndNothingIsWrittenToTheFile) {
  const std::vector<std::uint8_t> before = ReadBytes(old_);
  KeptMemoFile kept(old_);
  ASSERT_EQ(kept.Inspect(), kOk);
  EXPECT_TRUE(kept.NeedsPassword());
  EXPECT_EQ(kept.Hint(), "old hint");
  for (const char* wrong : {"new-pw", "", "OLD-PW"}) {
    EXPECT_FALSE(kept.CheckPassword(wrong)) << wrong;
    EXPECT_EQ(kept.Read(wrong), kErrKeptPasswordWrong) << wrong;
    EXPECT_TRUE(kept.Memos().empty());
  }
  EXPECT_TRUE(kept.CheckPassword("old-pw"));
  ASSERT_EQ(kept.Read("old-pw"), kOk);
  ASSERT_EQ(kept.Memos().size(), kept_.memos.size());
  EXPECT_EQ(kept.Memos()[0].text, "shared memo v2");
  EXPECT_EQ(kept.Memos()[0].id, 10u);
  EXPECT_EQ(kept.Memos()[1].status, kStatusNew);
  EXPECT_TRUE(kept.Memos()[1].isPrivate);
  EXPECT_EQ(kept.CategoryName(2), "Travel");
  EXPECT_EQ(kept.CategoryName(5), "");
  EXPECT_EQ(ReadBytes(old_), before);

  // Removing it goes once; a file already gone counts as removed.
  EXPECT_EQ(kept.Remove(), kOk);
  struct stat st {};
  EXPECT_NE(stat(old_.c_str(), &st), 0);
  EXPECT_EQ(kept.Remove(), kOk);
}

TEST_F(KeptMemoTest, MergeMapsCategoriesByNameUpdatesLiveIdsAndAddsTheRest) {
  auto store = OpenStore();
  const KeptMemoMergeCounts counts = MergeInto(*store);
  EXPECT_EQ(counts.updated, 1);
  EXPECT_EQ(counts.added, 5);
  EXPECT_EQ(counts.dropped, 1);
  EXPECT_EQ(counts.alreadyThere, 0);
  EXPECT_EQ(counts.categoriesAdded, 1);
  EXPECT_EQ(counts.unfiled, 0);

  // Id 10 is live: it takes the kept text, and "personal" is the store's "Personal" (2).
  CPRecord* shared = store->RecordAt(store->FindRecordById(10));
  ASSERT_NE(shared, nullptr);
  EXPECT_EQ(StoredMemoText(*shared), "shared memo v2");
  EXPECT_EQ(shared->Category(), 2);
  EXPECT_TRUE(shared->IsModified());
  EXPECT_EQ(Find(*store, "shared memo v1"), nullptr);

  // "Travel" was not in the store's table: added at the first free index, marked changed.
  CPRecord* trip = Find(*store, "trip plan");
  ASSERT_NE(trip, nullptr);
  ASSERT_NE(store->CategoryAt(3), nullptr);
  EXPECT_STREQ(store->CategoryAt(3)->Name(), "Travel");
  EXPECT_TRUE(store->CategoryAt(3)->IsChanged());
  EXPECT_EQ(trip->Category(), 3);
  EXPECT_TRUE(trip->IsPrivate());
  EXPECT_TRUE(trip->IsNew());
  EXPECT_EQ(trip->Id(), 0u);

  // A deletion of a memo kept aside is dropped; the store's own record 12 is untouched.
  CPRecord* twelve = store->RecordAt(store->FindRecordById(12));
  ASSERT_NE(twelve, nullptr);
  EXPECT_EQ(StoredMemoText(*twelve), "deleted on the desktop before");
  EXPECT_FALSE(twelve->HasAnyStatus());

  // Id 99 no longer lives in the store: a new memo, without the stale id.
  CPRecord* gone = Find(*store, "gone from the handheld meanwhile");
  ASSERT_NE(gone, nullptr);
  EXPECT_TRUE(gone->IsNew());
  EXPECT_EQ(gone->Id(), 0u);
  EXPECT_EQ(Find(*store, "archive me")->Status(), kStatusArchived);
  EXPECT_EQ(CountText(*store, "twin"), 2);
  EXPECT_EQ(store->RecordCount(), 3 + 5);
}

// The save comes first and the file's removal second; a kill in between leaves both,
// and the next login merges the same file into the saved store again.
TEST_F(KeptMemoTest, AMergeRunAgainAfterItWasSavedChangesNothing) {
  {
    auto store = OpenStore();
    MergeInto(*store);
    ASSERT_EQ(store->Save(), kOk);
  }  // killed here: record.OLD is still there
  auto store = OpenStore();
  const std::vector<std::uint8_t> saved = ReadBytes(data_);
  const KeptMemoMergeCounts counts = MergeInto(*store);
  EXPECT_EQ(counts.added, 0);
  EXPECT_EQ(counts.updated, 0);
  EXPECT_EQ(counts.categoriesAdded, 0);
  EXPECT_EQ(counts.alreadyThere, 6);
  EXPECT_EQ(counts.dropped, 1);
  EXPECT_FALSE(store->IsDirty());
  EXPECT_EQ(store->RecordCount(), 8);
  EXPECT_EQ(CountText(*store, "twin"), 2);
  EXPECT_EQ(store->Save(), kOk);
  EXPECT_EQ(ReadBytes(data_), saved);

  // What was saved is enciphered with the new password and carries the new digest.
  EXPECT_FALSE(CheckUserPassword(data_, "old-pw").accepted);
  CProtectedRecordFile disk(data_, "new-pw");
  ASSERT_EQ(disk.Load(), kOk);
  EXPECT_NE(Find(disk, "trip plan"), nullptr);
  EXPECT_NE(Find(disk, "shared memo v2"), nullptr);
  EXPECT_TRUE(Find(disk, "trip plan")->IsPrivate());
}

TEST_F(KeptMemoTest, WithoutRoomForAPreviousCategoryItsMemosGoToUnfiled) {
  ProtectedFileSpec full;
  full.password = "new-pw";
  full.categories = {"Unfiled"};
  for (int i = 1; i < 16; ++i) full.categories.push_back("Cat" + std::to_string(i));
  full.memos = {{10, 0, 0, PlainMemo("shared memo v1")}};
  ASSERT_TRUE(WriteBytes(data_, ProtectedFileBytes(full)));
  kept_.memos = {{0, 2, kNew, PlainMemo("trip plan")}, {0, 2, kNew, PlainMemo("another trip")},
                 {0, 1, kNew, PlainMemo("personal memo")}};
  kept_.categories = {"Unfiled", "cat7", "Travel"};
  ASSERT_TRUE(WriteBytes(old_, ProtectedFileBytes(kept_)));

  auto store = OpenStore();
  const KeptMemoMergeCounts counts = MergeInto(*store);
  EXPECT_EQ(counts.categoriesAdded, 0);
  EXPECT_EQ(counts.unfiled, 2);
  EXPECT_EQ(Find(*store, "trip plan")->Category(), 0);
  EXPECT_EQ(Find(*store, "another trip")->Category(), 0);
  EXPECT_EQ(Find(*store, "personal memo")->Category(), 7);
}

TEST_F(KeptMemoTest, AKeptFileReadOnlyInPartIsRefusedWholeAndLeftAsItIs) {
  std::vector<std::uint8_t> damaged = ProtectedFileBytes(kept_);
  damaged.resize(testing::RecordImageOffset(kept_, 3) + 12);
  ASSERT_TRUE(WriteBytes(old_, damaged));
  KeptMemoFile kept(old_);
  EXPECT_EQ(kept.Inspect(), kErrKeptFileUnreadable);
  EXPECT_EQ(kept.Read("old-pw"), kErrKeptFileUnreadable);
  EXPECT_TRUE(kept.Memos().empty());
  EXPECT_EQ(ReadBytes(old_), damaged);
}

// The handheld got a password where the desktop had none: the memos were kept plain.
TEST_F(KeptMemoTest, MemosKeptWithoutAPasswordNeedNone) {
  kept_.password = nullptr;
  kept_.hint = "";
  ASSERT_TRUE(WriteBytes(old_, ProtectedFileBytes(kept_)));
  KeptMemoFile kept(old_);
  ASSERT_EQ(kept.Inspect(), kOk);
  EXPECT_FALSE(kept.NeedsPassword());
  ASSERT_EQ(kept.Read(nullptr), kOk);
  EXPECT_EQ(kept.Memos()[1].text, "trip plan");
}

}  // namespace
}  // namespace tallimor
