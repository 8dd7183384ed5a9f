// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of the conduit's desktop-file manager at the largest database a
// handheld holds (65,535 records): reading record.dat for a slow synchronization,
// claiming every record by id, listing the ids, and writing the file back.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "conduit/CPDesktopDatabase.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

constexpr std::int32_t kRecords = 65535;
constexpr std::uint32_t kCategories = kCapCategories | kCapAppInfo;

// A temporary directory holding a record.dat of kRecords 64-byte memos.
class SampleFile {
 public:
  SampleFile() {
    CPDesktopDatabase d(nullptr, kCategories, "TallimorDB", "record.dat", dir_.c_str(), kSyncHandheldToDesktop);
    if (d.OpenForSyncType() != kOk) std::abort();
    d.SetDatabaseInfo("TallimorDB", 8, 0x44415441, 0x546c6d72, 1, 1, 0, 0, 0);
    const std::vector<std::uint8_t> memo(64, 0x5A);
    for (std::int32_t i = 0; i < kRecords; ++i) {
      CPRecord r;
      r.SetId(static_cast<std::uint32_t>(0x100000 + 3 * i));
      r.SetCategory(i % 16);
      r.SetData(static_cast<std::uint32_t>(memo.size()), memo.data());
      if (d.AddRecord(r) != kOk) std::abort();
    }
    if (d.FinishSync() != kOk) std::abort();
  }
  const std::string& Dir() const { return dir_; }

 private:
  testing::TempDir temp_{"bench"};  // removed with the sample
  const std::string dir_ = temp_.path();
};

const SampleFile& Sample() {
  static const SampleFile sample;
  return sample;
}

void ReadForSlowSync(CPDesktopDatabase& d) {
  if (d.OpenForSyncType() != kOk || d.ReadForSync() != kOk) std::abort();
}

void BM_ReadForSlowSync(benchmark::State& state) {
  for (auto _ : state) {
    CPDesktopDatabase d(nullptr, kCategories, "TallimorDB", "record.dat", Sample().Dir().c_str(), kSyncSlow);
    ReadForSlowSync(d);
    benchmark::DoNotOptimize(d.StoredRecordCount());
  }
}
BENCHMARK(BM_ReadForSlowSync)->Unit(benchmark::kMillisecond);

void BM_ClaimEveryRecordById(benchmark::State& state) {
  CPDesktopDatabase d(nullptr, kCategories, "TallimorDB", "record.dat", Sample().Dir().c_str(), kSyncSlow);
  ReadForSlowSync(d);
  std::vector<std::uint32_t> ids(kRecords);
  CPRecord r;
  for (auto _ : state) {
    std::int32_t count = kRecords;
    if (d.ListRecordIds(ids.data(), count) != kOk) std::abort();
    for (std::uint32_t id : ids) benchmark::DoNotOptimize(d.GetRecordById(id, r));
  }
}
BENCHMARK(BM_ClaimEveryRecordById)->Unit(benchmark::kMillisecond);

void BM_FinishSyncWritesTheFile(benchmark::State& state) {
  CPDesktopDatabase d(nullptr, kCategories, "TallimorDB", "record.dat", Sample().Dir().c_str(), kSyncFast);
  ReadForSlowSync(d);
  d.FinishSync();
  for (auto _ : state) {
    d.SetDirty(true);
    if (d.FinishSync() != kOk) std::abort();
  }
}
BENCHMARK(BM_FinishSyncWritesTheFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tallimor

BENCHMARK_MAIN();
