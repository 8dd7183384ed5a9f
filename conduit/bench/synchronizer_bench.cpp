// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmark of a whole slow (and, for comparison, fast) HotSync through the synchronizer: an emulated handheld
// and a desktop file of N 64-byte memos each (8,192 and 65,535, the most a handheld
// database holds), one in 64 changed on each side since the last HotSync, whose
// backup copy is in place. Each iteration starts from the same files; only the
// HotSync itself is timed.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "conduit/CPDesktopDatabase.h"
#include "hotsync/plugin/SyncProperties.h"
#include "conduit/Synchronizer.h"
#include "hotsync/handheld/Handheld.h"
#include "hotsync/handheld/SyncManager.h"
#include "hotsync/log/HotSyncLog.h"
#include "store/tests/RecordFileBytes.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;
using testing::Bytes;

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "synchronizer_bench: %s\n", what);
    std::abort();
  }
}

std::string Memo(std::uint32_t i, const char* side) {
  char text[65];
  std::snprintf(text, sizeof text, "%s memo %08u ", side, i);
  std::string memo(text);
  memo.resize(64, '\x5a');
  return memo;
}

// The two sides of one size, built once and restored before every iteration.
class Sides {
 public:
  explicit Sides(std::uint32_t count) {
    handheld_ = root_ + "/handheld";
    user_ = root_ + "/user";
    std::string error;
    Check(Handheld::Create(handheld_, HandheldIdentity{"Taro", 1}, &error) == kOk, "cannot make the handheld");
    fs::create_directories(user_);

    const Bytes categories = testing::CategoryTableBytes({"Unfiled", "Business", "Personal"}, {0, 1, 2});
    PdbHeader header;
    header.name = "TallimorDB";
    header.type = FourCc("DATA");
    header.creator = FourCc("Tlmr");
    HandheldDatabase db(header);
    Check(db.SetAppInfo(categories) == kOk, "app info");
    Bytes desktop;
    Bytes backup;
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::uint32_t id = i + 1;
      const int category = static_cast<int>(i % 3);
      const bool handheldChanged = i % 64 == 0;
      const bool desktopChanged = i % 64 == 32;
      PdbRecord record;
      record.uniqueId = id;
      record.attributes = PdbRecord::MakeAttributes(false, handheldChanged, false, false, false, category);
      const std::string onHandheld = handheldChanged ? Memo(i, "handheld") : Memo(i, "synced");
      record.data.assign(onHandheld.begin(), onHandheld.end());
      std::uint32_t given = 0;
      std::size_t index = 0;
      Check(db.WriteRecord(std::move(record), &given, &index) == kOk, "handheld record");
      testing::Append(desktop, testing::RecordImageBytes(id, desktopChanged ? 0x01 : 0, static_cast<std::uint32_t>(category),
                                                         desktopChanged ? Memo(i, "desktop") : Memo(i, "synced")));
      testing::Append(backup, testing::RecordImageBytes(id, 0, static_cast<std::uint32_t>(category), Memo(i, "synced")));
    }
    std::unique_ptr<Handheld> handheld;
    Check(Handheld::Open(handheld_, &handheld, &error) == kOk, "open the handheld");
    Check(handheld->SaveDatabase("TallimorDB", db, &error) == kOk, "save the handheld database");
    handheldFile_ = testing::ReadFileBytes(handheld_ + "/TallimorDB.pdb");
    desktopFile_ = RecordFile(count, categories, desktop);
    backupFile_ = RecordFile(count, categories, backup);
  }

  void Restore() const {
    testing::WriteFileBytes(handheld_ + "/TallimorDB.pdb", handheldFile_);
    testing::WriteFileBytes(user_ + "/record.dat", desktopFile_);
    testing::WriteFileBytes(user_ + "/record.BAK", backupFile_);
  }

  const std::string& HandheldDir() const { return handheld_; }
  const std::string& UserDir() const { return user_; }

 private:
  static Bytes RecordFile(std::uint32_t count, const Bytes& categories, const Bytes& records) {
    Bytes file = testing::Header(testing::HeaderFields{}, static_cast<std::int32_t>(count),
                                 56 + static_cast<std::uint32_t>(categories.size()), 0);
    testing::Append(file, testing::InfoBlockBytes("TallimorDB", static_cast<std::uint32_t>(categories.size()),
                                                  categories, static_cast<std::uint32_t>(categories.size())));
    testing::Append(file, records);
    return file;
  }

  testing::TempDir temp_{"syncbench"};  // removed with the sides
  const std::string root_ = temp_.path();
  std::string handheld_;
  std::string user_;
  Bytes handheldFile_;
  Bytes desktopFile_;
  Bytes backupFile_;
};

const Sides& SidesOf(std::uint32_t count) {
  static std::map<std::uint32_t, std::unique_ptr<Sides>> built;
  auto& sides = built[count];
  if (!sides) sides = std::make_unique<Sides>(count);
  return *sides;
}

void RunHotSyncs(benchmark::State& state, std::int32_t syncType) {
  const Sides& sides = SidesOf(static_cast<std::uint32_t>(state.range(0)));
  HotSyncLog log(sides.UserDir());
  SyncPropertiesRecord properties;
  properties.syncType = syncType;
  std::snprintf(properties.localDirectory, sizeof properties.localDirectory, "%s", sides.UserDir().c_str());
  std::snprintf(properties.localFileName, sizeof properties.localFileName, "record.dat");
  static const char* const kName = "TallimorDB";
  properties.remoteNames[0] = kName;
  properties.remoteCount = 1;
  properties.creator = FourCc("Tlmr");
  properties.type = FourCc("DATA");
  for (auto _ : state) {
    state.PauseTiming();
    sides.Restore();
    Check(log.BeginRun() == kOk, "log run");
    Check(SyncAttachHandheld(sides.HandheldDir().c_str()) == kOk, "attach");
    state.ResumeTiming();

    Synchronizer synchronizer(properties, kCapCategories | kCapAppInfo);
    const Result result = synchronizer.perform();

    state.PauseTiming();
    SyncDetachHandheld();
    log.EndRun(result == kOk);
    Check(result == kOk, "the HotSync failed");
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
}

void BM_SlowSync(benchmark::State& state) { RunHotSyncs(state, kSyncSlow); }
void BM_FastSync(benchmark::State& state) { RunHotSyncs(state, kSyncFast); }

BENCHMARK(BM_SlowSync)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FastSync)->Arg(8192)->Arg(65535)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace tallimor

BENCHMARK_MAIN();
