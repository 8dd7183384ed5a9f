// Tests of RecordSlots against a plain model: after any mix of adds, removals
// and id changes, an add takes exactly the lowest empty slot and a look-up by id
// finds exactly the lowest slot with that id, across the 2,000-slot growth steps.
#include <gtest/gtest.h>

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
  std::mt19937 random(12345);
  auto lowestEmpty = [&] {
    for (std::size_t i = 0; i < model.size(); ++i)
      if (model[i] == -1) return static_cast<std::int32_t>(i);
    return static_cast<std::int32_t>(model.size());
  };
  auto lowestWithId = [&](std::uint32_t id) {
    for (std::size_t i = 0; i < model.size(); ++i)
      if (model[i] == id) return static_cast<std::int32_t>(i);
    return -1;
  };
  for (int step = 0; step < 12000; ++step) {
    const std::uint32_t id = random() % 50;
    const int what = static_cast<int>(random() % 10);
    if (what < 5 || model.empty()) {
      std::int32_t slot = -1;
      const std::int32_t expected = lowestEmpty();
      ASSERT_EQ(slots.Add(RecordWithId(id), slot), kOk);
      ASSERT_EQ(slot, expected) << "step " << step;
      if (expected == static_cast<std::int32_t>(model.size())) model.push_back(-1);
      model[expected] = id;
    } else if (what < 8) {
      const std::int32_t slot = static_cast<std::int32_t>(random() % model.size());
      ASSERT_EQ(slots.Remove(slot), model[slot] != -1);
      model[slot] = -1;
    } else if (what < 9) {
      const std::int32_t slot = static_cast<std::int32_t>(random() % model.size());
      ASSERT_EQ(slots.SetId(slot, id), model[slot] != -1);
      if (model[slot] != -1) model[slot] = id;
    }
    ASSERT_EQ(slots.FindById(id), lowestWithId(id)) << "step " << step;
  }
  std::int32_t count = 0;
  for (std::int32_t s = slots.NextOccupied(0); s != -1; s = slots.NextOccupied(s + 1)) {
    ASSERT_NE(model[s], -1);
    ++count;
  }
  EXPECT_EQ(count, slots.Count());
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
