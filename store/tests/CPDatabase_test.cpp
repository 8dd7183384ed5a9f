// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the database manager base: first-fit add and the high-water mark, look-up
// by id, the iteration modes, the sorts (checked against a literal rendering of the
// exchange sort written here), id lists and reorder, capability flags, and a list of
// 65,535 records.
#include "store/CPDatabase.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "store/CPCategoryTable.h"

namespace tallimor {
namespace {

// A manager over the in-memory list alone, as the desktop-file manager is once its
// file has been read: the record count is the list's and the walks scan the list.
class ListDatabase : public CPDatabase {
 public:
  explicit ListDatabase(std::uint32_t caps = 0, std::int32_t syncType = 0)
      : CPDatabase(caps, syncType) {}

  Result RecordCount(std::int32_t& count) override {
    count = StoredRecordCount() + countSkew;
    return kOk;
  }
  std::uint8_t* ApplicationData() override { return nullptr; }
  Result NextRecordAny(CPRecord& r) override { return ScanNext(RecordFilter::kAny, r); }
  Result NextRecordWithStatus(CPRecord& r) override {
    return ScanNext(RecordFilter::kAnyStatus, r);
  }
  Result NextPendingRecord(CPRecord& r) override { return ScanNext(RecordFilter::kPending, r); }
  Result NextRecordInCategory(CPRecord& r) override {
    return ScanNext(RecordFilter::kInCategory, r);
  }
  Result NextChangedRecordInCategory(CPRecord& r) override {
    return ScanNext(RecordFilter::kChangedInCategory, r);
  }
  // Deleting empties the record's slot (the desktop-file manager's behaviour).
  Result DeleteRecord(CPRecord& r) override {
    return TakeRecordAt(FindSlotById(r.Id())) ? kOk : kErrRecordNotFound;
  }

  using CPDatabase::EditRecordAt;
  using CPDatabase::PutRecordAt;
  using CPDatabase::SetCategoryTable;
  using CPDatabase::SetIterationMode;
  using CPDatabase::TakeRecordAt;

  std::int32_t countSkew = 0;  // makes the manager's count differ from the list's
};

// The base alone: only the one operation that every manager must supply.
class BareDatabase : public CPDatabase {
 public:
  BareDatabase() : CPDatabase(0, 0) {}
  std::uint8_t* ApplicationData() override { return nullptr; }
};

CPRecord MakeRecord(std::uint32_t id, std::int32_t category = 0, std::uint32_t status = 0,
                    std::int32_t tag = -1) {
  CPRecord r;
  r.SetId(id);
  r.SetCategory(category);
  r.SetStatus(status);
  r.SetHandheldIndex(tag);  // tells apart records with equal keys
  return r;
}

void Add(CPDatabase& db, std::uint32_t id, std::int32_t category = 0, std::uint32_t status = 0,
         std::int32_t tag = -1) {
  CPRecord r = MakeRecord(id, category, status, tag);
  ASSERT_EQ(db.AddRecord(r), kOk);
}

void Delete(ListDatabase& db, std::uint32_t id) {
  CPRecord r = MakeRecord(id);
  ASSERT_EQ(db.DeleteRecord(r), kOk);
}

// Ids per slot up to the high-water mark; kNoRecordId - 1 marks an empty slot.
constexpr std::uint32_t kHole = kNoRecordId - 1;
std::vector<std::uint32_t> SlotIds(const CPDatabase& db) {
  std::vector<std::uint32_t> ids;
  for (std::int32_t s = 0; s < db.HighWaterMark(); ++s) {
    const CPRecord* r = db.RecordAt(s);
    ids.push_back(r ? r->Id() : kHole);
  }
  return ids;
}

// Every stored record's index is its slot.
void ExpectIndexesMatchSlots(const CPDatabase& db) {
  for (std::int32_t s = 0; s < db.Capacity(); ++s) {
    if (const CPRecord* r = db.RecordAt(s)) {
      EXPECT_EQ(r->Index(), s) << "slot " << s;
    }
  }
}

// Walks an iteration to its end and gives the ids it returned.
template <typename First>
std::vector<std::uint32_t> Walk(CPDatabase& db, First first) {
  std::vector<std::uint32_t> ids;
  CPRecord r;
  Result result = first(r);
  while (result == kOk) {
    ids.push_back(r.Id());
    result = db.NextRecord(r);
  }
  EXPECT_EQ(result, kErrNoMatch);
  return ids;
}

// ---------------------------------------------------------------------------

TEST(CPDatabaseAdd, FillsTheLowestHoleAndKeepsTheHighWaterMark) {
  ListDatabase db;
  Add(db, 10);
  Add(db, 11);
  Add(db, 12);
  Delete(db, 11);
  CPRecord r = MakeRecord(20);
  ASSERT_EQ(db.AddRecord(r), kOk);
  EXPECT_EQ(r.Index(), 1);  // the caller learns the slot
  EXPECT_EQ(db.RecordAt(1)->Index(), 1);
  EXPECT_EQ(db.HighWaterMark(), 3);
  EXPECT_EQ(db.StoredRecordCount(), 3);
  EXPECT_EQ(SlotIds(db), (std::vector<std::uint32_t>{10, 20, 12}));
}

TEST(CPDatabaseAdd, AnEmptyListGrowsBy2000SlotsAndUsesSlot0) {
  ListDatabase db;
  EXPECT_EQ(db.Capacity(), 0);
  Add(db, 1);
  EXPECT_EQ(db.Capacity(), 2000);
  EXPECT_EQ(db.RecordAt(0)->Id(), 1u);
  EXPECT_EQ(db.HighWaterMark(), 1);
}

TEST(CPDatabaseAdd, AFullListGrowsAndUsesTheFirstNewSlot) {
  ListDatabase db;
  ASSERT_EQ(db.AllocateSlots(3), kOk);
  for (std::uint32_t id = 1; id <= 3; ++id) Add(db, id);
  EXPECT_EQ(db.Capacity(), 3);
  CPRecord r = MakeRecord(4);
  ASSERT_EQ(db.AddRecord(r), kOk);
  EXPECT_EQ(r.Index(), 3);
  EXPECT_EQ(db.Capacity(), 2003);
  for (std::uint32_t id = 1; id <= 4; ++id) EXPECT_EQ(db.FindSlotById(id), std::int32_t(id - 1));
}

TEST(CPDatabaseAdd, StoresAnIndependentCopyAndAddCleanClearsStatusAndMarks) {
  ListDatabase db;
  CPRecord r = MakeRecord(5, 3, kStatusModified | kStatusNew);
  const std::uint8_t bytes[] = {1, 2, 3};
  ASSERT_EQ(r.SetData(3, bytes), kOk);
  r.SetPendingMark(true);
  ASSERT_EQ(db.AddRecord(r), kOk);
  r.SetCategory(9);
  ASSERT_EQ(r.SetData(0, nullptr), kOk);
  const CPRecord* stored = db.RecordAt(0);
  EXPECT_EQ(stored->Category(), 3);
  ASSERT_EQ(stored->DataLength(), 3u);
  EXPECT_EQ(stored->Data()[2], 3);
  EXPECT_EQ(stored->Status(), kStatusModified | kStatusNew);
  EXPECT_TRUE(stored->HasPendingMark());

  CPRecord clean = MakeRecord(6, 0, kStatusDeleted);
  clean.SetPendingMark(true);
  ASSERT_EQ(db.AddCleanRecord(clean), kOk);
  EXPECT_EQ(clean.Status(), 0u);  // the caller's record is cleaned as well
  EXPECT_FALSE(db.RecordAt(1)->HasAnyStatus());
  EXPECT_FALSE(db.RecordAt(1)->HasPendingMark());
}

TEST(CPDatabaseHighWater, StaysAfterEveryRecordIsDeletedAndIterationEndsAtOnce) {
  ListDatabase db;
  for (std::uint32_t id = 1; id <= 4; ++id) Add(db, id);
  for (std::uint32_t id = 1; id <= 4; ++id) Delete(db, id);
  EXPECT_EQ(db.StoredRecordCount(), 0);
  EXPECT_EQ(db.HighWaterMark(), 4);
  CPRecord r;
  EXPECT_EQ(db.FirstRecord(r), kErrNoMatch);
  EXPECT_EQ(db.GetNthRecord(0, r), kErrNoMatch);
  Add(db, 9);
  EXPECT_EQ(db.FindSlotById(9), 0);
  EXPECT_EQ(db.HighWaterMark(), 4);
}

TEST(CPDatabaseHighWater, DestroyAllAndResetEmptyEverything) {
  ListDatabase db(kCapCategories | kCapAppInfo, 1);
  db.SetCategoryTable(std::make_unique<CPCategoryTable>());
  for (std::uint32_t id = 1; id <= 3; ++id) Add(db, id);
  db.DestroyAllRecords();
  EXPECT_EQ(db.Capacity(), 0);
  EXPECT_EQ(db.StoredRecordCount(), 0);
  EXPECT_EQ(db.HighWaterMark(), 0);
  EXPECT_EQ(db.FindSlotById(1), -1);
  Add(db, 7);
  EXPECT_EQ(db.FindSlotById(7), 0);
  EXPECT_NE(db.CategoryTable(), nullptr);

  db.Reset();
  EXPECT_EQ(db.CategoryTable(), nullptr);
  EXPECT_EQ(db.Capacity(), 0);
  EXPECT_EQ(db.FindSlotById(7), -1);
  EXPECT_EQ(db.CapabilityFlags(), 0u);
  EXPECT_EQ(db.SyncType(), 0);
  Add(db, 8);
  EXPECT_EQ(db.FindSlotById(8), 0);
}

TEST(CPDatabaseFindById, GivesTheLowestSlotAmongRecordsSharingAnId) {
  ListDatabase db;
  Add(db, 0, 0, 0, 100);  // desktop records not yet numbered all have id 0
  Add(db, 5);
  Add(db, 0, 0, 0, 102);
  Add(db, 0, 0, 0, 103);
  EXPECT_EQ(db.FindSlotById(0), 0);
  ASSERT_TRUE(db.TakeRecordAt(0));
  EXPECT_EQ(db.FindSlotById(0), 2);
  CPRecord r;
  ASSERT_EQ(db.GetRecordById(0, r), kOk);
  EXPECT_EQ(r.HandheldIndex(), 102);
  Add(db, 0, 0, 0, 104);  // refills slot 0
  EXPECT_EQ(db.FindSlotById(0), 0);
  EXPECT_EQ(db.FindSlotById(6), -1);
  EXPECT_EQ(db.GetRecordById(6, r), kErrNoMatch);
}

TEST(CPDatabaseFindById, FollowsIdsChangedInPlaceAndRecordsReplacedInASlot) {
  ListDatabase db;
  Add(db, 1);
  Add(db, 2);
  ASSERT_EQ(db.EditRecordAt(0, [](CPRecord& r) { r.SetId(40); }), kOk);
  EXPECT_EQ(db.FindSlotById(1), -1);
  EXPECT_EQ(db.FindSlotById(40), 0);
  EXPECT_EQ(db.EditRecordAt(7, [](CPRecord&) {}), kErrRecordNotFound);

  ASSERT_EQ(db.PutRecordAt(1, std::make_unique<CPRecord>(MakeRecord(50))), kOk);
  EXPECT_EQ(db.FindSlotById(2), -1);
  EXPECT_EQ(db.FindSlotById(50), 1);
  EXPECT_EQ(db.StoredRecordCount(), 2);
  ASSERT_EQ(db.PutRecordAt(9, std::make_unique<CPRecord>(MakeRecord(60))), kOk);
  EXPECT_EQ(db.RecordAt(9)->Index(), 9);
  EXPECT_EQ(db.HighWaterMark(), 10);
  EXPECT_EQ(db.PutRecordAt(db.Capacity(), std::make_unique<CPRecord>()), kErrBadCategoryIndex);
  EXPECT_EQ(db.PutRecordAt(0, nullptr), kErrNullArgument);
  Add(db, 70);
  EXPECT_EQ(db.FindSlotById(70), 2);
}

TEST(CPDatabaseLookup, NthRecordAndHandheldIndexLookups) {
  ListDatabase db;
  for (std::uint32_t id = 1; id <= 6; ++id) Add(db, id, 0, 0, std::int32_t(id % 3));
  Delete(db, 2);
  Delete(db, 3);
  CPRecord r;
  ASSERT_EQ(db.GetNthRecord(1, r), kOk);
  EXPECT_EQ(r.Id(), 4u);
  ASSERT_EQ(db.GetNthRecord(3, r), kOk);
  EXPECT_EQ(r.Id(), 6u);
  EXPECT_EQ(db.GetNthRecord(4, r), kErrNoMatch);
  EXPECT_EQ(db.GetNthRecord(-1, r), kErrNoMatch);
  ASSERT_EQ(db.GetRecordByHandheldIndex(1, r), kOk);  // ids 1 and 4 carry 1
  EXPECT_EQ(r.Id(), 1u);
  ASSERT_EQ(db.GetRecordByHandheldIndex(0, r), kOk);  // id 3 is gone; id 6 carries 0
  EXPECT_EQ(r.Id(), 6u);
  ASSERT_EQ(db.GetRecordByIdAndHandheldIndex(4, 1, r), kOk);
  EXPECT_EQ(r.Id(), 4u);
  EXPECT_EQ(db.GetRecordByIdAndHandheldIndex(4, 2, r), kErrNoMatch);
  EXPECT_EQ(db.GetRecordByHandheldIndex(7, r), kErrNoMatch);
}

// ---------------------------------------------------------------------------

class CPDatabaseIteration : public ::testing::Test {
 protected:
  void SetUp() override {
    // slot: 0      1          2            3         4 (hole)  5
    Add(db, 1, 2, 0);
    Add(db, 2, 3, kStatusModified);
    Add(db, 3, 2, kStatusDeleted | kStatusModified);
    Add(db, 4, 2, 0);
    Add(db, 99);
    Add(db, 6, 3, kStatusNew);
    Delete(db, 99);
    CPRecord pending = MakeRecord(7, 2, kStatusArchived);
    pending.SetPendingMark(true);
    ASSERT_EQ(db.AddRecord(pending), kOk);  // fills slot 4
    ASSERT_EQ(db.EditRecordAt(0, [](CPRecord& r) { r.SetPendingMark(true); }), kOk);
  }
  ListDatabase db;
};

TEST_F(CPDatabaseIteration, AllReturnsEveryRecordInSlotOrder) {
  EXPECT_EQ(Walk(db, [&](CPRecord& r) { return db.FirstRecord(r); }),
            (std::vector<std::uint32_t>{1, 2, 3, 4, 7, 6}));
}

TEST_F(CPDatabaseIteration, PendingReturnsMarkedRecords) {
  EXPECT_EQ(Walk(db, [&](CPRecord& r) { return db.FirstPendingRecord(r); }),
            (std::vector<std::uint32_t>{1, 7}));
}

TEST_F(CPDatabaseIteration, ChangedSortsChangedRecordsToTheFront) {
  EXPECT_EQ(Walk(db, [&](CPRecord& r) { return db.FirstChangedRecord(r); }),
            (std::vector<std::uint32_t>{2, 3, 7, 6}));
  EXPECT_EQ(SlotIds(db), (std::vector<std::uint32_t>{2, 3, 7, 6, 1, 4}));
  ExpectIndexesMatchSlots(db);
}

TEST_F(CPDatabaseIteration, CategoryIterationsFilterByTheGivenCategory) {
  // The sort by category has already brought 7 (category 2) ahead of 2 (category 3).
  EXPECT_EQ(Walk(db, [&](CPRecord& r) { return db.FirstRecordInCategory(2, r); }),
            (std::vector<std::uint32_t>{1, 7, 3, 4}));
  EXPECT_EQ(SlotIds(db), (std::vector<std::uint32_t>{1, 7, 3, 4, 2, 6}));
  EXPECT_EQ(Walk(db, [&](CPRecord& r) { return db.FirstChangedRecordInCategory(3, r); }),
            (std::vector<std::uint32_t>{2, 6}));
  EXPECT_EQ(Walk(db, [&](CPRecord& r) { return db.FirstRecordInCategory(9, r); }),
            std::vector<std::uint32_t>{});
}

TEST_F(CPDatabaseIteration, StateMaskSelectsByStateCode) {
  EXPECT_EQ(Walk(db, [&](CPRecord& r) { return db.FirstRecordByStateMask(kStatusModified, r); }),
            (std::vector<std::uint32_t>{2, 3}));
  EXPECT_EQ(Walk(db, [&](CPRecord& r) {
              return db.FirstRecordByStateMask(kStatusDeleted | kStatusNew, r);
            }),
            (std::vector<std::uint32_t>{3, 6}));
  // 32 is the state code of a record without status.
  EXPECT_EQ(Walk(db, [&](CPRecord& r) { return db.FirstRecordByStateMask(kStateNoStatus, r); }),
            (std::vector<std::uint32_t>{1, 4}));
  EXPECT_EQ(Walk(db, [&](CPRecord& r) { return db.FirstRecordByStateMask(0, r); }),
            std::vector<std::uint32_t>{});
}

TEST_F(CPDatabaseIteration, EveryStateMaskModeAppliesTheMaskAndUnknownModesFail) {
  CPRecord r;
  ASSERT_EQ(db.FirstRecordByStateMask(kStatusArchived, r), kOk);
  EXPECT_EQ(r.Id(), 7u);
  for (std::int32_t mode : {4, 5, 6, 8, 9}) {
    db.SetIterationMode(mode);
    db.FirstRecord(r);  // rewinds (and selects mode 0)
    db.SetIterationMode(mode);
    ASSERT_EQ(db.NextRecord(r), kOk) << "mode " << mode;
    EXPECT_EQ(r.Id(), 7u) << "mode " << mode;
  }
  for (std::int32_t mode : {10, 255, -1}) {
    db.SetIterationMode(mode);
    EXPECT_EQ(db.NextRecord(r), kErrBadIterationMode) << "mode " << mode;
  }
}

// ---------------------------------------------------------------------------

// The exchange sort exactly as the list is specified to do it, over slots where -1
// is a hole; returns the tags (handheld indexes) slot by slot, -1 for a hole.
struct Entry {
  std::int64_t key;
  std::int32_t tag;
};
std::vector<std::int32_t> ReferenceExchangeSort(std::vector<Entry> slots) {
  const std::size_t mark = slots.size();
  for (std::size_t i = 0; i + 1 < mark; ++i) {
    if (slots[i].tag < 0) continue;
    for (std::size_t j = mark - 1; j > i; --j) {
      if (slots[j].tag >= 0 && slots[j].key < slots[i].key) std::swap(slots[i], slots[j]);
    }
  }
  std::vector<std::int32_t> tags;
  for (const Entry& e : slots) tags.push_back(e.tag);
  return tags;
}

std::vector<std::int32_t> ReferenceMoveFirst(std::vector<Entry> slots) {  // key 1 = matches
  const std::size_t mark = slots.size();
  for (std::size_t i = 0; i + 1 < mark; ++i) {
    if (slots[i].tag >= 0 && slots[i].key == 1) continue;
    for (std::size_t j = i + 1; j < mark; ++j) {
      if (slots[j].tag >= 0 && slots[j].key == 1) {
        std::swap(slots[i], slots[j]);
        break;
      }
    }
  }
  std::vector<std::int32_t> tags;
  for (const Entry& e : slots) tags.push_back(e.tag);
  return tags;
}

std::vector<std::int32_t> SlotTags(const CPDatabase& db) {
  std::vector<std::int32_t> tags;
  for (std::int32_t s = 0; s < db.HighWaterMark(); ++s) {
    const CPRecord* r = db.RecordAt(s);
    tags.push_back(r ? r->HandheldIndex() : -1);
  }
  return tags;
}

TEST(CPDatabaseSort, ByIdOrdersIdsAndRenumbersIndexes) {
  ListDatabase db;
  Add(db, 9);
  Add(db, 3);
  Add(db, 5);
  ASSERT_EQ(db.Sort(kSortById), kOk);
  EXPECT_EQ(SlotIds(db), (std::vector<std::uint32_t>{3, 5, 9}));
  ExpectIndexesMatchSlots(db);
  EXPECT_EQ(db.FindSlotById(9), 2);
  EXPECT_EQ(db.FindSlotById(3), 0);
}

TEST(CPDatabaseSort, ByIdLeavesHolesWhereTheyAreAndTreatsIdsAsUnsigned) {
  ListDatabase db;
  for (std::uint32_t id : {8u, 99u, kNoRecordId, 99u, 2u, 0u}) Add(db, id);
  Delete(db, 99);
  Delete(db, 99);
  ASSERT_EQ(db.SortById(), kOk);
  EXPECT_EQ(SlotIds(db), (std::vector<std::uint32_t>{0, kHole, 2, kHole, 8, kNoRecordId}));
  ExpectIndexesMatchSlots(db);
  Add(db, 50);  // the holes are still the first free slots
  EXPECT_EQ(db.FindSlotById(50), 1);
}

TEST(CPDatabaseSort, EqualKeysEndInTheSameOrderAsTheListsExchangeSort) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 90; ++round) {
    const bool byId = round % 2 == 0;
    ListDatabase db;
    std::vector<Entry> slots;
    const int size = 1 + static_cast<int>(random() % 200);
    // Few distinct keys give many ties; every fourth round has distinct, descending ids.
    const int distinct = 1 + static_cast<int>(random() % (round % 3 == 0 ? 5 : 60));
    for (int s = 0; s < size; ++s) {
      const auto key =
          round % 4 == 2 ? std::int32_t(size - s) : static_cast<std::int32_t>(random() % distinct);
      Add(db, byId ? std::uint32_t(key) : 1000 + std::uint32_t(s), byId ? 0 : key, 0, s);
      slots.push_back({key, s});
    }
    for (int s = 0; s < size; ++s) {
      if (random() % 4 == 0) {
        ASSERT_TRUE(db.TakeRecordAt(s));
        slots[s].tag = -1;
      }
    }
    if (db.StoredRecordCount() == 0) continue;
    const std::int32_t type =
        byId ? kSortById : (round % 3 == 1 ? kSortByCategory : kSortByCategoryChanged);
    ASSERT_EQ(db.Sort(type), kOk);
    EXPECT_EQ(SlotTags(db), ReferenceExchangeSort(slots)) << "round " << round;
    ExpectIndexesMatchSlots(db);
    for (std::int32_t s = 0; s < size; ++s) {  // look-up by id follows the moves
      const CPRecord* r = db.RecordAt(s);
      if (r == nullptr) continue;
      const std::int32_t found = db.FindSlotById(r->Id());
      EXPECT_LE(found, s);
      EXPECT_EQ(db.RecordAt(found)->Id(), r->Id());
    }
  }
}

TEST(CPDatabaseSort, ChangedFirstAndPendingFirstMoveMatchesIntoHolesAtTheFront) {
  std::mt19937 random(99);
  for (int round = 0; round < 60; ++round) {
    const bool pending = round % 2 == 1;
    ListDatabase db;
    std::vector<Entry> slots;
    const int size = 1 + static_cast<int>(random() % 40);
    for (int s = 0; s < size; ++s) {
      const bool match = random() % 3 == 0;
      CPRecord r = MakeRecord(std::uint32_t(s), 0, 0, s);
      if (pending) {
        r.SetPendingMark(match);
        r.SetStatus(kStatusModified);  // status must not count for pending-first
      } else if (match) {
        r.SetStatus(kStatusArchived);
      }
      ASSERT_EQ(db.AddRecord(r), kOk);
      slots.push_back({match ? 1 : 0, s});
    }
    for (int s = 0; s < size; ++s) {
      if (random() % 4 == 0) {
        ASSERT_TRUE(db.TakeRecordAt(s));
        slots[s].tag = -1;
      }
    }
    if (db.StoredRecordCount() == 0) continue;
    ASSERT_EQ(db.Sort(pending ? kSortPendingFirst : kSortChangedFirst), kOk);
    EXPECT_EQ(SlotTags(db), ReferenceMoveFirst(slots)) << "round " << round;
    ExpectIndexesMatchSlots(db);
    // Holes moved; first fit and look-up by id follow them.
    for (int s = 0; s < size; ++s) {
      if (const CPRecord* r = db.RecordAt(s)) {
        EXPECT_EQ(db.FindSlotById(r->Id()), s);
      }
    }
    std::int32_t firstHole = 0;
    while (db.RecordAt(firstHole) != nullptr) ++firstHole;
    CPRecord added = MakeRecord(5000);
    ASSERT_EQ(db.AddRecord(added), kOk);
    EXPECT_EQ(added.Index(), firstHole);
  }
}

TEST(CPDatabaseSort, UnknownTypesAndManagersWithoutACountDoNothing) {
  ListDatabase db;
  Add(db, 2);
  Add(db, 1);
  EXPECT_EQ(db.Sort(0), kErrNotSupported);
  EXPECT_EQ(db.Sort(6), kErrNotSupported);
  EXPECT_EQ(SlotIds(db), (std::vector<std::uint32_t>{2, 1}));
  db.countSkew = -2;  // the manager reports no records
  EXPECT_EQ(db.SortById(), kOk);
  EXPECT_EQ(SlotIds(db), (std::vector<std::uint32_t>{2, 1}));

  BareDatabase bare;  // no record count at all
  CPRecord r = MakeRecord(2);
  ASSERT_EQ(bare.AddRecord(r), kOk);
  r = MakeRecord(1);
  ASSERT_EQ(bare.AddRecord(r), kOk);
  EXPECT_EQ(bare.Sort(kSortById), kErrNotSupported);
  EXPECT_EQ(bare.RecordAt(0)->Id(), 2u);
}

// ---------------------------------------------------------------------------

TEST(CPDatabaseIdList, WritesIdsInSlotOrderOrAsksForRoom) {
  ListDatabase db;
  for (std::uint32_t id : {30u, 10u, 20u, 40u}) Add(db, id);
  Delete(db, 10);
  std::uint32_t ids[4] = {};
  std::int32_t count = 2;
  EXPECT_EQ(db.ListRecordIds(ids, count), kErrBufferTooSmall);
  EXPECT_EQ(count, 3);
  count = 3;
  EXPECT_EQ(db.ListRecordIds(nullptr, count), kErrNullArgument);
  count = 4;
  ASSERT_EQ(db.ListRecordIds(ids, count), kOk);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(std::vector<std::uint32_t>(ids, ids + 3), (std::vector<std::uint32_t>{30, 20, 40}));
}

TEST(CPDatabaseIdList, NeverWritesPastTheCallersArrayWhenTheCountLags) {
  ListDatabase db;
  for (std::uint32_t id = 1; id <= 5; ++id) Add(db, id);
  db.countSkew = -3;  // the manager claims 2 records, the list holds 5
  std::uint32_t ids[3] = {0, 0, 0xABCD};
  std::int32_t count = 2;
  EXPECT_EQ(db.ListRecordIds(ids, count), kErrBufferTooSmall);
  EXPECT_EQ(count, 5);
  EXPECT_EQ(ids[2], 0xABCDu);
}

TEST(CPDatabaseReorder, PlacesRecordsByTheListAndRenumbersThem) {
  ListDatabase db;
  Add(db, 4);
  Add(db, 7);
  const std::uint32_t three[] = {7, kReorderEmptySlot, 4};
  EXPECT_EQ(db.ReorderByIdList(three, 3), kErrReorderCountMismatch);
  EXPECT_EQ(SlotIds(db), (std::vector<std::uint32_t>{4, 7}));
  const std::uint32_t two[] = {7, 4};
  ASSERT_EQ(db.ReorderByIdList(two, 2), kOk);
  EXPECT_EQ(SlotIds(db), (std::vector<std::uint32_t>{7, 4}));
  ExpectIndexesMatchSlots(db);
  EXPECT_EQ(db.FindSlotById(4), 1);
  EXPECT_EQ(db.FindSlotById(7), 0);
}

TEST(CPDatabaseReorder, ClosesHolesAndMovesDuplicateIdsOnePerEntry) {
  ListDatabase db;
  for (std::uint32_t id : {0u, 99u, 3u, 0u}) Add(db, id, 0, 0, std::int32_t(id) + 10 * db.HighWaterMark());
  Delete(db, 99);
  const std::uint32_t order[] = {3, 0, 0};
  ASSERT_EQ(db.ReorderByIdList(order, 3), kOk);
  // The first 0 in the list takes the 0 of the lower slot.
  EXPECT_EQ(SlotTags(db), (std::vector<std::int32_t>{23, 0, 30, -1}));
  ExpectIndexesMatchSlots(db);
  EXPECT_EQ(db.FindSlotById(0), 1);
  Add(db, 8);
  EXPECT_EQ(db.FindSlotById(8), 3);
}

TEST(CPDatabaseReorder, ErrorsLeaveTheListUnchanged) {
  ListDatabase db;
  for (std::uint32_t id : {1u, 2u, 3u}) Add(db, id, 0, 0, std::int32_t(id));
  const std::vector<std::int32_t> before = SlotTags(db);
  const std::uint32_t unknown[] = {3, 9, 1};
  EXPECT_EQ(db.ReorderByIdList(unknown, 3), kErrReorderUnknownId);
  const std::uint32_t repeated[] = {3, 3, 1};
  EXPECT_EQ(db.ReorderByIdList(repeated, 3), kErrReorderUnknownId);
  const std::uint32_t withHole[] = {3, kReorderEmptySlot, 1};
  EXPECT_EQ(db.ReorderByIdList(withHole, 3), kErrReorderCountMismatch);
  EXPECT_EQ(db.ReorderByIdList(nullptr, 3), kErrNullArgument);
  EXPECT_EQ(SlotTags(db), before);
  ExpectIndexesMatchSlots(db);

  db.countSkew = -3;  // a manager without records accepts any list
  EXPECT_EQ(db.ReorderByIdList(unknown, 3), kOk);
  EXPECT_EQ(SlotTags(db), before);
}

// ---------------------------------------------------------------------------

TEST(CPDatabaseCapabilities, CategoriesNeedAppInfoAndAppInfoCarriesCategories) {
  BareDatabase db;
  EXPECT_FALSE(db.UsesCategories());
  db.SetUsesCategories(true);
  EXPECT_EQ(db.CapabilityFlags(), kCapCategories | kCapAppInfo);
  EXPECT_TRUE(db.UsesCategories());
  db.SetUsesCategories(false);
  EXPECT_EQ(db.CapabilityFlags(), kCapAppInfo);
  EXPECT_TRUE(db.UsesAppInfo());  // the manager still uses app info

  db.SetUsesCategories(true);
  db.SetUsesSortInfo(true);
  db.SetUsesAppInfo(false);  // no app info: nowhere to keep the categories
  EXPECT_EQ(db.CapabilityFlags(), kCapSortInfo);
  EXPECT_FALSE(db.UsesCategories());
  db.SetUsesAppInfo(true);
  EXPECT_FALSE(db.UsesCategories());
  EXPECT_TRUE(db.UsesSortInfo());
  db.SetUsesSortInfo(false);
  EXPECT_EQ(db.CapabilityFlags(), kCapAppInfo);

  ListDatabase only(kCapCategories, 3);  // categories without app info are not in use
  EXPECT_FALSE(only.UsesCategories());
  EXPECT_EQ(only.SyncType(), 3);
  EXPECT_EQ(only.SetSyncType(5), kOk);
  EXPECT_EQ(only.SyncType(), 5);
}

TEST(CPDatabaseBase, OperationsLeftToTheManagersAreNotSupported) {
  BareDatabase db;
  CPRecord r;
  DbBlockInfo block;
  std::int32_t count = 0;
  std::uint32_t size = 0;
  bool has = false;
  const std::int32_t remap[16] = {};
  const Result results[] = {
      db.Open(0),
      db.OpenForSyncType(),
      db.Close(false),
      db.RecordCount(count),
      db.ReservedOperation(),
      db.DeleteRecordsOfCategory(1, true),
      db.ChangeCategory(1, 2),
      db.ModifyRecordById(r),
      db.DeleteRecord(r),
      db.ModifyRecordAtIndex(0, r),
      db.FindFirstNewRecord(r),
      db.PurgeDeletedRecords(),
      db.ReadForSync(),
      db.FinishSync(),
      db.LoadCategories(),
      db.StoreCategories(),
      db.RemapCategories(remap),
      db.GetSortInfo(block),
      db.SetSortInfo(block),
      db.GetAppInfo(block),
      db.SetAppInfo(block),
      db.HasApplicationData(has),
      db.SetApplicationData(0, nullptr),
      db.GetApplicationData(nullptr, size),
      db.ApplicationDataLength(size),
      db.SetDatabaseInfo("x", 0, 0, 0, 0, 0, 0, 0, 0),
      db.ListRecordIds(nullptr, count),
      db.BuildCategoryTable(),
      db.StoreCategoryTable(),
      db.NextRecordAny(r),
      db.NextRecordWithStatus(r),
      db.NextRecordMatchingStateMask(r),
      db.NextPendingRecord(r),
      db.NextRecordInCategory(r),
      db.NextChangedRecordInCategory(r),
      db.SortById(),
      db.SortChangedFirst(),
      db.SortPendingFirst(),
      db.SortByCategory(),
  };
  for (std::size_t i = 0; i < std::size(results); ++i) {
    EXPECT_EQ(results[i], kErrNotSupported) << "operation #" << i;
  }
  // Without the manager's walks the iterations cannot step, though the list works.
  ASSERT_EQ(db.AddRecord(r), kOk);
  EXPECT_EQ(db.FirstRecord(r), kErrNotSupported);
  EXPECT_EQ(db.FirstPendingRecord(r), kErrNotSupported);
  EXPECT_EQ(db.FirstChangedRecord(r), kErrNotSupported);
  EXPECT_EQ(db.FirstRecordInCategory(0, r), kErrNotSupported);
  EXPECT_EQ(db.FirstRecordByStateMask(kStateNoStatus, r), kErrNotSupported);
  EXPECT_EQ(db.GetRecordById(r.Id(), r), kOk);
  EXPECT_EQ(db.GetNthRecord(0, r), kOk);
  EXPECT_EQ(db.ReorderByIdList(nullptr, 0), kOk);  // no count: nothing to reorder
  EXPECT_EQ(db.CategoryTable(), nullptr);
}

// A manager that keeps application data in place (slots 42 and 43) and leaves
// the copying out to the base.
class AppDataDatabase : public CPDatabase {
 public:
  AppDataDatabase() : CPDatabase(0, 0) {}
  std::uint8_t* ApplicationData() override { return inPlace ? bytes.data() : nullptr; }
  Result ApplicationDataLength(std::uint32_t& length) override {
    length = static_cast<std::uint32_t>(bytes.size());
    return kOk;
  }
  std::vector<std::uint8_t> bytes;
  bool inPlace = true;
};

TEST(CPDatabaseApplicationData, CopiesTheDataInPlaceOrAsksForRoom) {
  AppDataDatabase db;
  std::uint8_t buffer[8] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
  std::uint32_t size = sizeof buffer;
  EXPECT_EQ(db.GetApplicationData(buffer, size), kOk);  // no data
  EXPECT_EQ(size, 0u);
  db.bytes = {1, 2, 3, 4, 5};
  size = 4;
  EXPECT_EQ(db.GetApplicationData(buffer, size), kErrBufferTooSmall);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_EQ(db.GetApplicationData(nullptr, size), kErrNullArgument);
  size = sizeof buffer;
  ASSERT_EQ(db.GetApplicationData(buffer, size), kOk);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 8),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 0xEE, 0xEE, 0xEE}));
  db.inPlace = false;  // a length without the data never reads through nullptr
  EXPECT_EQ(db.GetApplicationData(buffer, size), kErrNoAppInfo);
}

TEST(CPDatabaseSlots, GrowKeepsRecordsAndAllocateStartsEmpty) {
  ListDatabase db;
  for (std::uint32_t id = 1; id <= 3; ++id) Add(db, id);
  Delete(db, 2);
  ASSERT_EQ(db.GrowSlots(70000), kOk);
  EXPECT_EQ(db.Capacity(), 70000);
  EXPECT_EQ(SlotIds(db), (std::vector<std::uint32_t>{1, kHole, 3}));
  ASSERT_EQ(db.GrowSlots(10), kOk);  // never shrinks below what is there
  EXPECT_EQ(db.Capacity(), 70000);
  EXPECT_EQ(db.GrowSlots(-1), kErrOutOfMemory);
  Add(db, 4);
  EXPECT_EQ(db.FindSlotById(4), 1);

  ASSERT_EQ(db.AllocateSlots(130), kOk);
  EXPECT_EQ(db.Capacity(), 130);
  EXPECT_EQ(db.StoredRecordCount(), 0);
  EXPECT_EQ(db.HighWaterMark(), 0);
  EXPECT_EQ(db.FindSlotById(1), -1);
  ASSERT_EQ(db.PutRecordAt(129, std::make_unique<CPRecord>(MakeRecord(129))), kOk);
  for (std::uint32_t id = 0; id < 129; ++id) Add(db, id);
  EXPECT_EQ(db.Capacity(), 130);
  Add(db, 500);
  EXPECT_EQ(db.FindSlotById(500), 130);
  EXPECT_EQ(db.Capacity(), 2130);
}

// A user file or a handheld may hold 65,535 records.
TEST(CPDatabaseScale, SixtyFiveThousandRecordsAddFindDeleteAndRefill) {
  constexpr std::int32_t kRecords = 65535;
  ListDatabase db;
  for (std::int32_t n = 0; n < kRecords; ++n) {
    CPRecord r = MakeRecord(std::uint32_t(kRecords - n), n % 16);
    ASSERT_EQ(db.AddRecord(r), kOk);
    ASSERT_EQ(r.Index(), n);
  }
  EXPECT_EQ(db.StoredRecordCount(), kRecords);
  EXPECT_EQ(db.Capacity(), 66000);
  for (std::int32_t n = 0; n < kRecords; n += 97) {
    ASSERT_EQ(db.FindSlotById(std::uint32_t(kRecords - n)), n);
  }
  // Empty every third slot from the top down, then refill: the refill goes bottom up.
  for (std::int32_t n = kRecords - 1; n >= 0; n -= 3) ASSERT_TRUE(db.TakeRecordAt(n));
  EXPECT_EQ(db.HighWaterMark(), kRecords);
  for (std::int32_t n = kRecords - 1, k = 0; n >= 0; n -= 3, ++k) {
    CPRecord r = MakeRecord(100000 + std::uint32_t(k));
    ASSERT_EQ(db.AddRecord(r), kOk);
    ASSERT_EQ(r.Index(), (kRecords - 1) % 3 + 3 * k);
  }
  EXPECT_EQ(db.StoredRecordCount(), kRecords);
  CPRecord r;
  ASSERT_EQ(db.GetNthRecord(kRecords - 1, r), kOk);
  // Categories repeat, so the sort replays the exchange sort's swaps.
  ASSERT_EQ(db.SortByCategory(), kOk);
  for (std::int32_t s = 1; s < kRecords; ++s) {
    ASSERT_LE(db.RecordAt(s - 1)->Category(), db.RecordAt(s)->Category());
  }
  ASSERT_EQ(db.SortById(), kOk);
  ASSERT_EQ(db.GetNthRecord(0, r), kOk);
  EXPECT_EQ(r.Id(), 2u);  // id 1 sat in the top slot, which was emptied
  EXPECT_EQ(db.FindSlotById(100000), kRecords - 21845);
  std::vector<std::uint32_t> ids(kRecords);
  std::int32_t count = kRecords;
  ASSERT_EQ(db.ListRecordIds(ids.data(), count), kOk);
  EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
  std::reverse(ids.begin(), ids.end());
  ASSERT_EQ(db.ReorderByIdList(ids.data(), kRecords), kOk);
  EXPECT_EQ(db.FindSlotById(2), kRecords - 1);
  Add(db, 7);
  EXPECT_EQ(db.FindSlotById(7), kRecords);
}

}  // namespace
}  // namespace tallimor
