// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of RecordSlots against a plain model: after any mix of adds, removals,
// puts, takes, id changes and rearrangements, an add takes exactly the lowest
// empty slot and a look-up by id finds exactly the lowest slot with that id,
// across the 2,000-slot growth steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <vector>

#include "store/RecordSlots.h"

namespace tallimor {
namespace {

std::unique_ptr<CPRecord> RecordWithId(std::uint32_t id) {
  auto record = std::make_unique<CPRecord>();
  record->SetId(id);
  return record;
}

TEST(RecordSlots, AddTakesLowestEmptySlotAcrossGrowth) {
  RecordSlots slots;
  std::int32_t slot = -1;
  for (std::uint32_t i = 0; i < 4100; ++i) {
    ASSERT_EQ(slots.Add(RecordWithId(i), slot), kOk);
    ASSERT_EQ(slot, static_cast<std::int32_t>(i));
  }
  EXPECT_EQ(slots.Capacity(), 6000);
  for (std::int32_t hole : {4000, 64, 5, 1999, 2000}) ASSERT_TRUE(slots.Remove(hole));
  for (std::int32_t expected : {5, 64, 1999, 2000, 4000, 4100}) {
    ASSERT_EQ(slots.Add(RecordWithId(9), slot), kOk);
    EXPECT_EQ(slot, expected);
    EXPECT_EQ(slots.At(slot)->Index(), expected);
  }
  EXPECT_EQ(slots.HighWater(), 4101);
}

TEST(RecordSlots, MatchesAModelUnderRandomChanges) {
  RecordSlots slots;
  std::vector<std::int64_t> model;  // id per slot, -1 when empty
  std::int32_t highWater = 0;
  std::mt19937 random(12345);
  auto lowestEmpty = [&] {
    for (std::size_t i = 0; i < model.size(); ++i)
      if (model[i] == -1) return static_cast<std::int32_t>(i);
    return static_cast<std::int32_t>(model.size());
  };
  auto lowestWithId = [&](std::uint32_t id, std::size_t from) {
    for (std::size_t i = from; i < model.size(); ++i)
      if (model[i] == id) return static_cast<std::int32_t>(i);
    return -1;
  };
  auto nth = [&](std::int32_t n) {
    for (std::size_t i = 0; i < model.size(); ++i)
      if (model[i] != -1 && n-- == 0) return static_cast<std::int32_t>(i);
    return -1;
  };
  for (int step = 0; step < 12000; ++step) {
    const std::uint32_t id = random() % 50;
    const int what = static_cast<int>(random() % 12);
    if (what < 5 || model.empty()) {
      std::int32_t slot = -1;
      const std::int32_t expected = lowestEmpty();
      ASSERT_EQ(slots.Add(RecordWithId(id), slot), kOk);
      ASSERT_EQ(slot, expected) << "step " << step;
      model.resize(static_cast<std::size_t>(slots.Capacity()), -1);
      model[expected] = id;
      highWater = std::max(highWater, expected + 1);
    } else if (what < 7) {
      const std::int32_t slot = static_cast<std::int32_t>(random() % model.size());
      ASSERT_EQ(slots.Remove(slot), model[slot] != -1);
      model[slot] = -1;
    } else if (what < 8) {
      const std::int32_t slot = static_cast<std::int32_t>(random() % model.size());
      const std::unique_ptr<CPRecord> taken = slots.Take(slot);
      ASSERT_EQ(taken ? static_cast<std::int64_t>(taken->Id()) : -1, model[slot]);
      model[slot] = -1;
    } else if (what < 9) {
      const std::int32_t slot = static_cast<std::int32_t>(random() % model.size());
      ASSERT_EQ(slots.SetId(slot, id), model[slot] != -1);
      if (model[slot] != -1) model[slot] = id;
    } else if (what < 10) {
      // An id changed in place, then reported.
      const std::int32_t slot = static_cast<std::int32_t>(random() % model.size());
      if (CPRecord* record = slots.At(slot)) {
        const std::uint32_t before = record->Id();
        record->SetId(id);
        slots.IdChanged(slot, before);
        model[slot] = id;
      }
    } else if (what < 11) {
      const std::int32_t slot = static_cast<std::int32_t>(random() % model.size());
      ASSERT_EQ(slots.Put(slot, RecordWithId(id)), kOk);
      EXPECT_EQ(slots.At(slot)->Index(), slot);
      model[slot] = id;
      highWater = std::max(highWater, slot + 1);
    } else if (step % 7 == 0) {
      // Rearrange: the occupied slots in reverse, one slot further up.
      std::vector<CPRecord*> arrangement(model.size() + 1, nullptr);
      std::vector<std::int64_t> moved(model.size() + 1, -1);
      for (std::size_t i = 0; i < model.size(); ++i) {
        arrangement[model.size() - i] = slots.At(static_cast<std::int32_t>(i));
        moved[model.size() - i] = model[i];
      }
      ASSERT_EQ(slots.Rearrange(arrangement, false), kOk);
      model = moved;
      for (std::size_t i = 0; i < model.size(); ++i) {
        if (model[i] != -1) {
          ASSERT_EQ(slots.At(static_cast<std::int32_t>(i))->Index(), static_cast<std::int32_t>(i));
          highWater = std::max(highWater, static_cast<std::int32_t>(i) + 1);
        }
      }
    }
    ASSERT_EQ(slots.FindById(id), lowestWithId(id, 0)) << "step " << step;
    const std::size_t from = random() % model.size();
    ASSERT_EQ(slots.FindById(id, static_cast<std::int32_t>(from)), lowestWithId(id, from));
    const auto n = static_cast<std::int32_t>(random() % (model.size() / 2 + 1));
    ASSERT_EQ(slots.NthOccupied(n), nth(n)) << "step " << step;
    ASSERT_EQ(slots.HighWater(), highWater);
    ASSERT_EQ(slots.LowestFree(), lowestEmpty() < slots.Capacity() ? lowestEmpty() : -1);
  }
  std::int32_t count = 0;
  for (std::int32_t s = slots.NextOccupied(0); s != -1; s = slots.NextOccupied(s + 1)) {
    ASSERT_NE(model[s], -1);
    ++count;
  }
  EXPECT_EQ(count, slots.Count());
}

TEST(RecordSlots, GrowAndAllocateKeepOrDropTheRecords) {
  RecordSlots slots;
  std::int32_t slot = -1;
  ASSERT_EQ(slots.Add(RecordWithId(7), slot), kOk);
  ASSERT_EQ(slots.GrowTo(5000), kOk);
  EXPECT_EQ(slots.Capacity(), 5000);
  EXPECT_EQ(slots.GrowTo(10), kOk);  // never shrinks
  EXPECT_EQ(slots.Capacity(), 5000);
  EXPECT_EQ(slots.GrowTo(-1), kErrOutOfMemory);
  EXPECT_EQ(slots.FindById(7), 0);
  ASSERT_EQ(slots.Put(4999, RecordWithId(8)), kOk);
  EXPECT_EQ(slots.Put(5000, RecordWithId(8)), kErrBadCategoryIndex);
  EXPECT_EQ(slots.Put(0, nullptr), kErrNullArgument);
  EXPECT_EQ(slots.HighWater(), 5000);
  ASSERT_EQ(slots.Allocate(130), kOk);
  EXPECT_EQ(slots.Capacity(), 130);
  EXPECT_EQ(slots.Count(), 0);
  EXPECT_EQ(slots.HighWater(), 0);
  EXPECT_EQ(slots.FindById(8), -1);
  for (std::int32_t expected = 0; expected < 130; ++expected) {
    ASSERT_EQ(slots.Add(RecordWithId(1), slot), kOk);
    ASSERT_EQ(slot, expected);
  }
  EXPECT_EQ(slots.LowestFree(), -1);
  ASSERT_EQ(slots.Add(RecordWithId(1), slot), kOk);
  EXPECT_EQ(slot, 130);
  EXPECT_EQ(slots.Capacity(), 130 + RecordSlots::kGrowth);
}

TEST(RecordSlots, ClearEmptiesEverything) {
  RecordSlots slots;
  std::int32_t slot = -1;
  slots.Add(RecordWithId(1), slot);
  slots.Clear();
  EXPECT_EQ(slots.Count(), 0);
  EXPECT_EQ(slots.HighWater(), 0);
  EXPECT_EQ(slots.FindById(1), -1);
  EXPECT_EQ(slots.NextOccupied(0), -1);
  EXPECT_EQ(slots.Add(nullptr, slot), kErrNullArgument);
  ASSERT_EQ(slots.Add(RecordWithId(1), slot), kOk);
  EXPECT_EQ(slot, 0);
}

}  // namespace
}  // namespace tallimor
