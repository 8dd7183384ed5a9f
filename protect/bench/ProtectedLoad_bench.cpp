// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of opening a large protected record file: 65,535 memos of 0 to 255 text
// bytes written by the independent test writer (OpenSSL digest and cipher), loaded and
// deciphered by a keyed store; beside it the same load without deciphering, and the
// whole user switch (password check on a temporary store, then the keyed load).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "protect/CProtectedRecordFile.h"
#include "protect/UserStore.h"
#include "protect/tests/ProtectedFileWriter.h"

namespace {

constexpr char kPassword[] = "bench password";
constexpr int kMemoCount = 65535;

// Writes the file once per process; main() removes it.
const std::string& BenchFile() {
  static const std::string path = [] {
    const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string p = std::string(dir) + "/tallimor-protected-bench-" + std::to_string(getpid()) + ".dat";
    tallimor::testing::ProtectedFileSpec spec;
    spec.password = kPassword;
    spec.hint = "bench";
    for (int i = 0; i < kMemoCount; ++i) {
      const std::string text(static_cast<std::size_t>(i % 256), static_cast<char>('a' + i % 26));
      spec.memos.push_back({static_cast<std::uint32_t>(i + 1), static_cast<std::uint32_t>(i % 2), 0,
                            tallimor::testing::PlainMemo(text)});
    }
    if (!tallimor::testing::WriteBytes(p, tallimor::testing::ProtectedFileBytes(spec))) std::abort();
    return p;
  }();
  return path;
}

void LoadAndDecipher(benchmark::State& state) {
  const std::string& path = BenchFile();
  for (auto _ : state) {
    tallimor::CProtectedRecordFile store(path, kPassword);
    if (store.Load() != tallimor::kOk || store.RecordCount() != kMemoCount) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(store.RecordAt(kMemoCount - 1)->Data());
  }
  state.SetItemsProcessed(state.iterations() * kMemoCount);
}
BENCHMARK(LoadAndDecipher)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

void LoadWithoutKey(benchmark::State& state) {
  const std::string& path = BenchFile();
  for (auto _ : state) {
    tallimor::CProtectedRecordFile store(path, nullptr);
    if (store.Load() != tallimor::kOk) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(store.RecordAt(kMemoCount - 1)->Data());
  }
}
BENCHMARK(LoadWithoutKey)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

void OpenUserStoreWholeSwitch(benchmark::State& state) {
  const std::string& path = BenchFile();
  for (auto _ : state) {
    std::unique_ptr<tallimor::CProtectedRecordFile> current;
    tallimor::UserStoreOutcome outcome;
    tallimor::OpenUserStore(path, kPassword, current, &outcome);
    if (!outcome.opened || outcome.loadResult != tallimor::kOk) {
      state.SkipWithError("open failed");
      break;
    }
  }
}
BENCHMARK(OpenUserStoreWholeSwitch)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::remove(BenchFile().c_str());
  return 0;
}
