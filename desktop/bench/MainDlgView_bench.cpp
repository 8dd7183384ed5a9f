// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Benchmarks of the main view on a 65,535-memo file (the handheld's limit), on Qt's
// offscreen platform with the frame shown, so each rebuild includes laying out and
// painting the list: the reload message (combo and list), the list rebuild under
// "すべて", and a user switching the filter between a category and "すべて" (which also
// writes "LastCategory"). The file comes from the independent test writer (OpenSSL
// digest and cipher). The list's own memory per memo is reported as a counter. The
// find field's filtering is measured for a one-letter, a Japanese and a no-match query,
// each against the category filter alone in the same run.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QTreeView>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "desktop/CDesktopApp.h"
#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "desktop/CWindowMessageEvent.h"
#include "protect/tests/ProtectedFileWriter.h"
#include "hotsync/users/UserData.h"
#include "tests/support/TempDir.h"

namespace {

constexpr char kPassword[] = "bench password";
constexpr int kMemoCount = 65535;

tallimor::CDesktopApp* g_app = nullptr;

tallimor::CMainDlgView* View() { return g_app->MainView(); }

void Settle() { QApplication::processEvents(); }

// Resident memory of the process in bytes.
// Heap bytes in use. The resident size would read 0 after the first rebuild, since
// the allocator keeps the pages of the list it freed and hands them out again.
long HeapBytesInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long>(info.uordblks + info.hblkhd);
}

void ReloadMessage(benchmark::State& state) {
  g_app->SetLastCategory(-1);
  for (auto _ : state) {
    tallimor::PostWindowMessage(View(), tallimor::kWmUserReload);
    Settle();
  }
  if (View()->MemoList()->model()->rowCount() != kMemoCount) state.SkipWithError("rows missing");
  state.SetItemsProcessed(state.iterations() * kMemoCount);
}
BENCHMARK(ReloadMessage)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

void RebuildAllMemos(benchmark::State& state) {
  g_app->SetLastCategory(-1);
  for (auto _ : state) {
    View()->RebuildMemoList();
    Settle();
  }
  state.SetItemsProcessed(state.iterations() * kMemoCount);
}
BENCHMARK(RebuildAllMemos)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

void SwitchCategoryFilter(benchmark::State& state) {
  QComboBox* combo = View()->CategoryCombo();
  const int business = combo->findData(1);
  const int all = combo->findData(-1);
  bool toCategory = true;
  for (auto _ : state) {
    View()->OnCategorySelected(toCategory ? business : all);
    Settle();
    toCategory = !toCategory;
  }
  state.SetItemsProcessed(state.iterations() * kMemoCount);
}
BENCHMARK(SwitchCategoryFilter)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The reference of the search figures: the list refilled by the category filter alone
// (one category, half the memos), as picking a category does.
void FilterByCategoryAlone(benchmark::State& state) {
  g_app->SetLastCategory(1);
  View()->SetSearchText(QString());
  for (auto _ : state) {
    View()->RebuildMemoList();
    Settle();
  }
  g_app->SetLastCategory(-1);
  View()->RebuildMemoList();
  state.SetItemsProcessed(state.iterations() * kMemoCount);
}
BENCHMARK(FilterByCategoryAlone)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// Typing a query into an empty find field under "すべて": the list refilled with the
// memos holding it, laid out and painted. The field is emptied between runs, untimed.
void Search(benchmark::State& state, const char* query, int expectedRows) {
  g_app->SetLastCategory(-1);
  View()->RebuildMemoList();
  const QString text = QString::fromUtf8(query);
  for (auto _ : state) {
    state.PauseTiming();
    View()->SetSearchText(QString());
    Settle();
    state.ResumeTiming();
    View()->SetSearchText(text);
    Settle();
  }
  if (View()->MemoList()->model()->rowCount() != expectedRows) state.SkipWithError("wrong rows found");
  View()->SetSearchText(QString());
  state.SetItemsProcessed(state.iterations() * kMemoCount);
}
// Every memo's first line holds an "m"; one in seven holds "会議"; none holds the last.
BENCHMARK_CAPTURE(Search, OneLetter, "M", kMemoCount)
    ->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(Search, Japanese, "会議", (kMemoCount + 6) / 7)
    ->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(Search, NoMatch, "no such memo", 0)
    ->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

// The list's memory: heap growth from an empty list to one of every memo.
void ListMemoryPerMemo(benchmark::State& state) {
  long perMemo = 0;
  for (auto _ : state) {
    g_app->SetLastCategory(3);  // no such category: an empty list
    View()->RebuildMemoList();
    Settle();
    const long before = HeapBytesInUse();
    g_app->SetLastCategory(-1);
    View()->RebuildMemoList();
    Settle();
    perMemo = (HeapBytesInUse() - before) / kMemoCount;
  }
  state.counters["bytes_per_memo"] = static_cast<double>(perMemo);
}
BENCHMARK(ListMemoryPerMemo)->Iterations(1)->Unit(benchmark::kMillisecond);

// A HotSync root with one user whose record.dat holds kMemoCount memos.
std::string MakeRoot(const std::string& dir, std::int32_t* userId) {
  const std::string root = dir + "/root/";
  ::mkdir(root.c_str(), 0700);
  tallimor::UserData users(root);
  tallimor::HotSyncUser user;
  if (users.AddUser("Bench User", 9001, &user) != tallimor::kOk) std::abort();
  *userId = static_cast<std::int32_t>(user.id);
  const std::string data = root + user.directory + "/Tallimor-Vexa";
  ::mkdir(data.c_str(), 0700);
  tallimor::testing::ProtectedFileSpec spec;
  spec.password = kPassword;
  spec.hint = "bench";
  for (int i = 0; i < kMemoCount; ++i) {
    std::string text = "memo " + std::to_string(i) + "\n" + std::string(static_cast<std::size_t>(i % 200), 'x');
    // One memo in seven holds a Japanese word (会議, code page 932 89 EF 8B 63).
    if (i % 7 == 0) text += "\x89\xEF\x8B\x63";
    spec.memos.push_back({static_cast<std::uint32_t>(i + 1), static_cast<std::uint32_t>(i % 2), 0,
                          tallimor::testing::PlainMemo(text)});
  }
  if (!tallimor::testing::WriteBytes(data + "/record.dat", tallimor::testing::ProtectedFileBytes(spec)))
    std::abort();
  return root;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  tallimor::testing::TempDir temp("view-bench");  // removed when main returns
  const std::string dir = temp.path();
  ::mkdir((dir + "/run").c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", (dir + "/run").c_str(), 1);

  QApplication qt(argc, argv);
  std::int32_t userId = 0;
  tallimor::DesktopOptions options;
  options.hotSyncRoot = MakeRoot(dir, &userId);
  options.profilePath = dir + "/Tallimor.ini";
  options.executableName = "tallimor-bench";
  int status = 1;
  {
    tallimor::CDesktopApp app(options);
    g_app = &app;
    bool opened = false;
    if (app.Start() == tallimor::kOk && app.OpenUserData(userId, kPassword, &opened) == tallimor::kOk &&
        opened) {
      app.MainFrame()->resize(1000, 700);
      Settle();
      benchmark::Initialize(&argc, argv);
      benchmark::RunSpecifiedBenchmarks();
      benchmark::Shutdown();
      status = 0;
    } else {
      std::fprintf(stderr, "could not open the benchmark user's data\n");
    }
    g_app = nullptr;
  }
  return status;
}
