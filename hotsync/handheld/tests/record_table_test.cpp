// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the record table: positions and ids must agree with a plain vector
// after any mix of appends, replacements and removals, including compactions.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "hotsync/handheld/RecordTable.h"

namespace tallimor {
namespace {

PdbRecord Rec(std::uint32_t id, std::uint8_t attributes = 0) {
  return PdbRecord{attributes, id, {static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8)}};
}

void ExpectSame(const RecordTable& table, const std::vector<PdbRecord>& model) {
  ASSERT_EQ(table.size(), model.size());
  for (std::size_t i = 0; i < model.size(); ++i) {
    ASSERT_NE(table.At(i), nullptr) << i;
    ASSERT_EQ(table.At(i)->uniqueId, model[i].uniqueId) << i;
    ASSERT_EQ(table.At(i)->data, model[i].data) << i;
    ASSERT_EQ(table.IndexOfId(model[i].uniqueId), i) << i;
  }
  EXPECT_EQ(table.At(model.size()), nullptr);
  std::size_t visited = 0;
  table.ForEach([&](const PdbRecord& r) { EXPECT_EQ(r.uniqueId, model[visited++].uniqueId); });
  EXPECT_EQ(visited, model.size());
}

TEST(RecordTableIndexes, AgreeWithAPlainListThroughRandomEdits) {
  std::mt19937 random(20240607);
  RecordTable table;
  std::vector<PdbRecord> model;
  for (std::uint32_t id = 1; id <= 50; ++id) model.push_back(Rec(id));
  {
    std::vector<PdbRecord> copy = model;
    table.Assign(std::move(copy));
  }
  std::uint32_t nextId = 1000;
  for (int step = 0; step < 20000; ++step) {
    const int op = static_cast<int>(random() % 10);
    if (op < 4 || model.empty()) {
      model.push_back(Rec(nextId));
      EXPECT_EQ(table.Append(Rec(nextId)), model.size() - 1);
      ++nextId;
    } else if (op < 8) {
      const std::size_t at = random() % model.size();
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
      table.RemoveAt(at);
    } else if (op == 8) {
      const std::size_t at = random() % model.size();
      model[at].data = {9, 9, 9};
      table.At(at)->data = {9, 9, 9};
    } else {
      const std::uint32_t mod = 2 + static_cast<std::uint32_t>(random() % 7);
      auto odd = [mod](const PdbRecord& r) { return r.uniqueId % mod == 0; };
      const auto before = model.size();
      model.erase(std::remove_if(model.begin(), model.end(), odd), model.end());
      EXPECT_EQ(table.RemoveIf(odd), before - model.size());
    }
    if (step % 997 == 0) ExpectSame(table, model);
  }
  ExpectSame(table, model);
}

TEST(RecordTableIndexes, RemovingEverythingFromTheFrontKeepsOrder) {
  RecordTable table;
  std::vector<PdbRecord> model;
  for (std::uint32_t id = 1; id <= 3000; ++id) {
    model.push_back(Rec(id));
    table.Append(Rec(id));
  }
  while (!model.empty()) {
    model.erase(model.begin());
    table.RemoveAt(0);
    if (model.size() % 500 == 0) ExpectSame(table, model);
  }
  EXPECT_FALSE(table.IndexOfId(1).has_value());
  EXPECT_FALSE(table.ContainsId(3000));
}

}  // namespace
}  // namespace tallimor
