// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Costs of the handheld database manager at handheld scale: getting every record
// by id, listing the record ids, and loading every record for a slow
// synchronization. Run with 8,192 and 65,535 records: each cost should grow in
// proportion to the record count (a ratio near 8), not faster.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "conduit/HandheldDatabaseManager.h"
#include "hotsync/handheld/SyncManager.h"
#include "hotsync/pdb/PdbWriter.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

// A handheld holding one memo database of `records` 64-byte records (every third
// one modified), attached and connected for as long as the run lives.
struct Run {
  testing::TempDir temp{"bench"};  // removed after the handheld is let go
  const std::string dir = temp.path();
  std::uint32_t connection = 0;
  std::vector<std::uint32_t> ids;

  explicit Run(std::size_t records) {
    Handheld::Create(dir, {"Bench", 1}, nullptr);
    PdbFile file;
    file.header.name = "Bench";
    for (std::uint32_t i = 0; i < records; ++i) {
      const std::uint8_t attributes = static_cast<std::uint8_t>((i % 3 == 0 ? kPdbRecDirty : 0) | (i % 16));
      file.records.push_back({attributes, i + 1, std::vector<std::uint8_t>(64, 'm')});
      ids.push_back(i + 1);
    }
    PdbWriter::WriteFile(dir + "/Bench.pdb", file, nullptr);
    SyncAttachHandheld(dir.c_str());
    SyncOpenConduit(&connection);
  }
  ~Run() {
    SyncCloseConduit(connection);
    SyncDetachHandheld();
  }
  // A manager of the database, opened for a slow synchronization.
  std::unique_ptr<HandheldDatabaseManager> Manager() const {
    auto manager = std::make_unique<HandheldDatabaseManager>(nullptr, kCapCategories | kCapAppInfo, "Bench", 0, 0,
                                                             0, 0, 0, 1);
    manager->OpenForSyncType();
    return manager;
  }
};

void BM_GetEveryRecordById(benchmark::State& state) {
  Run run(static_cast<std::size_t>(state.range(0)));
  auto manager = run.Manager();
  CPRecord record;
  for (auto _ : state) {
    for (std::uint32_t id : run.ids) {
      if (manager->GetRecordById(id, record) != kOk) state.SkipWithError("get by id failed");
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_GetEveryRecordById)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_ListRecordIds(benchmark::State& state) {
  Run run(static_cast<std::size_t>(state.range(0)));
  auto manager = run.Manager();
  std::vector<std::uint32_t> ids(run.ids.size());
  for (auto _ : state) {
    std::int32_t count = static_cast<std::int32_t>(ids.size());
    if (manager->ListRecordIds(ids.data(), count) != kOk || ids.back() != run.ids.back()) {
      state.SkipWithError("id list wrong");
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ListRecordIds)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_ReadAllRecords(benchmark::State& state) {
  Run run(static_cast<std::size_t>(state.range(0)));
  auto manager = run.Manager();
  for (auto _ : state) {
    if (manager->ReadAllRecords() != kOk || manager->StoredRecordCount() != state.range(0)) {
      state.SkipWithError("load failed");
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadAllRecords)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_ReadModifiedRecords(benchmark::State& state) {
  Run run(static_cast<std::size_t>(state.range(0)));
  auto manager = run.Manager();
  for (auto _ : state) {
    if (manager->ReadModifiedRecords() != kOk) state.SkipWithError("load failed");
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadModifiedRecords)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tallimor

BENCHMARK_MAIN();
