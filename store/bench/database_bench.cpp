// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of the database manager base at the sizes a user's file or a handheld
// reaches: filling a list by first-fit add, refilling holes, and looking every record
// up by id. Total time should grow linearly with the record count (8,192 vs 65,535).
#include <benchmark/benchmark.h>

#include <cstdint>

#include "store/CPDatabase.h"

namespace tallimor {
namespace {

class ListDatabase : public CPDatabase {
 public:
  ListDatabase() : CPDatabase(kCapCategories | kCapAppInfo, 0) {}
  Result RecordCount(std::int32_t& count) override {
    count = StoredRecordCount();
    return kOk;
  }
  std::uint8_t* ApplicationData() override { return nullptr; }
  using CPDatabase::TakeRecordAt;
};

void Fill(ListDatabase& db, std::int64_t records) {
  CPRecord r;
  for (std::int64_t n = 0; n < records; ++n) {
    r.SetId(static_cast<std::uint32_t>(records - n));  // ids not in slot order
    db.AddRecord(r);
  }
}

// N first-fit adds into an empty list (growing it 2,000 slots at a time).
void BM_AddRecords(benchmark::State& state) {
  const std::int64_t records = state.range(0);
  for (auto _ : state) {
    ListDatabase db;
    Fill(db, records);
    benchmark::DoNotOptimize(db.HighWaterMark());
  }
  state.SetComplexityN(records);
  state.SetItemsProcessed(state.iterations() * records);
}

// Empties every other slot of a full list, then refills all the holes: each add
// must find the lowest hole, which sits ever higher in the list.
void BM_RefillHoles(benchmark::State& state) {
  const std::int64_t records = state.range(0);
  ListDatabase db;
  Fill(db, records);
  CPRecord r;
  for (auto _ : state) {
    state.PauseTiming();
    for (std::int32_t slot = 0; slot < records; slot += 2) db.TakeRecordAt(slot);
    state.ResumeTiming();
    for (std::int32_t slot = 0; slot < records; slot += 2) {
      r.SetId(static_cast<std::uint32_t>(slot));
      db.AddRecord(r);
    }
  }
  state.SetComplexityN(records);
  state.SetItemsProcessed(state.iterations() * ((records + 1) / 2));
}

// N look-ups by id in a list of N records.
void BM_FindById(benchmark::State& state) {
  const std::int64_t records = state.range(0);
  ListDatabase db;
  Fill(db, records);
  for (auto _ : state) {
    std::int64_t found = 0;
    for (std::int64_t id = 1; id <= records; ++id) {
      found += db.FindSlotById(static_cast<std::uint32_t>(id));
    }
    benchmark::DoNotOptimize(found);
  }
  state.SetComplexityN(records);
  state.SetItemsProcessed(state.iterations() * records);
}

BENCHMARK(BM_AddRecords)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefillHoles)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindById)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tallimor

BENCHMARK_MAIN();
