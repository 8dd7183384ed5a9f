// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Costs of the Sync Manager library at handheld scale: reading every record by id,
// deleting every record by id, and closing (writing) a full database. Run with
// 8,192 and 65,535 records to see that the cost grows linearly, not quadratically.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <vector>

#include "hotsync/handheld/SyncManager.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

struct Run {
  testing::TempDir temp{"bench"};  // removed after the handheld is let go
  const std::string dir = temp.path();
  std::uint32_t connection = 0;
  std::vector<std::uint32_t> ids;

  explicit Run(std::size_t records) {
    Handheld::Create(dir, {"Bench", 1}, nullptr);
    SyncAttachHandheld(dir.c_str());
    SyncOpenConduit(&connection);
    DbCreateInfo info;
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.name, "Bench");
    SyncCreateDB(&info);
    std::vector<std::uint8_t> memo(64, 'm');
    RawRecordInfo raw;
    raw.handle = info.handle;
    raw.data = memo.data();
    raw.recordSize = static_cast<std::uint32_t>(memo.size());
    for (std::size_t i = 0; i < records; ++i) {
      raw.recordId = 0;
      raw.category = static_cast<std::int16_t>(i % 16);
      SyncWriteRec(&raw);
      ids.push_back(raw.recordId);
    }
    SyncCloseDB(info.handle);
  }
  ~Run() {
    SyncCloseConduit(connection);
    SyncDetachHandheld();
  }
  std::uint8_t Open() {
    std::uint8_t handle = 0;
    SyncOpenDB("Bench", 0, &handle, kSyncModeReadWrite);
    return handle;
  }
};

void BM_ReadEveryRecordById(benchmark::State& state) {
  Run run(static_cast<std::size_t>(state.range(0)));
  const std::uint8_t handle = run.Open();
  std::vector<std::uint8_t> buffer(kSyncMaxRecordSize);
  for (auto _ : state) {
    RawRecordInfo raw;
    raw.handle = handle;
    raw.data = buffer.data();
    raw.bufferSize = static_cast<std::uint16_t>(buffer.size());
    for (std::uint32_t id : run.ids) {
      raw.recordId = id;
      if (SyncReadRecordById(&raw) != kSyncErrNone) state.SkipWithError("read failed");
    }
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadEveryRecordById)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_DeleteEveryRecordById(benchmark::State& state) {
  Run run(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    const std::uint8_t handle = run.Open();
    state.ResumeTiming();
    RawRecordInfo raw;
    raw.handle = handle;
    for (std::uint32_t id : run.ids) {
      raw.recordId = id;
      if (SyncDeleteRec(&raw) != kSyncErrNone) state.SkipWithError("delete failed");
    }
    state.PauseTiming();
    SyncCloseConduit(run.connection);  // discards the open database unchanged
    SyncOpenConduit(&run.connection);
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_DeleteEveryRecordById)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);

void BM_OpenAndCloseChangedDatabase(benchmark::State& state) {
  Run run(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    const std::uint8_t handle = run.Open();
    SyncResetSyncFlags(handle);
    SyncCloseDB(handle);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OpenAndCloseChangedDatabase)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tallimor

BENCHMARK_MAIN();
