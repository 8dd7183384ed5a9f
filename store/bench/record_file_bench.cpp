// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Load and save of a full-size record file (65,535 records of 200 bytes, the
// handheld's limit) next to a plain read and a plain synced write of the same
// bytes in the same run, so the cost of the format, the record list and the
// atomic replace shows against the cost of the I/O alone. Rates are against wall
// time, since most of the cost of a synced write is waiting for the disk.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "store/CPRecordFile.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

constexpr std::int32_t kRecords = 65535;
constexpr std::uint32_t kRecordBytes = 200;

// The benchmark file, made once per run in a temporary directory.
class BenchFile {
 public:
  BenchFile() {
    path_ = dir_ + "/record.dat";
    std::FILE* empty = std::fopen(path_.c_str(), "wb");
    if (!empty) std::abort();
    std::fclose(empty);
    CPRecordFile file(path_, 0);
    if (file.Load() != kOk) std::abort();
    std::vector<std::uint8_t> data(kRecordBytes);
    for (std::int32_t i = 0; i < kRecords; ++i) {
      for (std::uint32_t b = 0; b < kRecordBytes; ++b) data[b] = static_cast<std::uint8_t>(i * 31 + b);
      CPRecord record;
      record.SetId(static_cast<std::uint32_t>(0x100000 + i));
      record.SetCategory(i % 16);
      record.SetData(kRecordBytes, data.data());
      if (file.AddRecord(record) != kOk) std::abort();
    }
    if (file.Save() != kOk) std::abort();
    size_ = static_cast<std::int64_t>(std::filesystem::file_size(path_));
  }

  const std::string& Path() const { return path_; }
  const std::string& Dir() const { return dir_; }
  std::int64_t Size() const { return size_; }

 private:
  testing::TempDir temp_{"bench"};  // removed with the file
  const std::string dir_ = temp_.path();
  std::string path_;
  std::int64_t size_ = 0;
};

BenchFile& File() {
  static BenchFile file;
  return file;
}

void BM_RecordFileLoad(benchmark::State& state) {
  for (auto _ : state) {
    CPRecordFile file(File().Path(), 0);
    if (file.Load() != kOk) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(file.RecordCount());
  }
  state.SetBytesProcessed(state.iterations() * File().Size());
}

void BM_RecordFileSave(benchmark::State& state) {
  CPRecordFile file(File().Path(), 0);
  if (file.Load() != kOk) state.SkipWithError("load failed");
  for (auto _ : state) {
    file.SetDirty(true);
    if (file.Save() != kOk) state.SkipWithError("save failed");
  }
  state.SetBytesProcessed(state.iterations() * File().Size());
}

void BM_PlainRead(benchmark::State& state) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(File().Size()));
  for (auto _ : state) {
    const int fd = ::open(File().Path().c_str(), O_RDONLY);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(state.iterations() * File().Size());
}

// Write, fsync and rename: the same care for the data that a save takes.
void BM_PlainWriteSynced(benchmark::State& state) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(File().Size()), 0x5A);
  const std::string temp = File().Dir() + "/plain.tmp";
  const std::string target = File().Dir() + "/plain.dat";
  for (auto _ : state) {
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (put <= 0) break;
      done += static_cast<std::size_t>(put);
    }
    ::fsync(fd);
    ::close(fd);
    ::rename(temp.c_str(), target.c_str());
  }
  state.SetBytesProcessed(state.iterations() * File().Size());
}

BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RecordFileLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PlainWriteSynced)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RecordFileSave)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tallimor

BENCHMARK_MAIN();
