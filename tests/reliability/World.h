// A HotSync "world" for whole-program trials: a HotSync root (users file, the user's
// HotSync directory with record.dat) and an emulated handheld, both on disk and made
// by the real programs. The template world has been synchronized once and then
// changed on both sides, as a user does between HotSyncs; each trial works on a copy.
#pragma once

#include <string>
#include <vector>

#include "hotsync/manager/tests/ProcessRunner.h"
#include "tests/reliability/MemoSides.h"

namespace tallimor::reliability {

struct World {
  std::string dir;       // holds root/ and handheld/
  std::string root() const { return dir + "/root"; }
  std::string handheld() const { return dir + "/handheld"; }
  std::string recordFile() const { return root() + "/YamadaT/Tallimor-Vexa/record.dat"; }
  std::string usersFile() const { return root() + "/users.ini"; }
  std::string memoDatabase() const { return handheld() + "/" + kMemoDatabase + ".pdb"; }
};

// Both sides read at once.
struct WorldMemos {
  SideMemos desktop;
  SideMemos handheld;
  bool ok() const { return desktop.ok && handheld.ok; }
  bool operator==(const WorldMemos& other) const;
  std::string Describe() const;
};
WorldMemos ReadWorld(const World& world);

// Sets the environment every program run needs: the built conduit, no notifier, no
// fault, no HotSync root other than the one given on the command line.
void PrepareEnvironment();

// Makes the template world in `dir` (created): a handheld of "Taro Yamada" with a
// protected memo database, synchronized once; then memos added, edited, deleted and
// archived on the handheld, added, edited and deleted on the desktop, and one memo
// edited on both. On failure returns false with *error.
bool MakeTemplateWorld(const std::string& dir, std::string* error);

// Copies world `from` to a fresh world in `dir` (removed first).
World CopyWorld(const World& from, const std::string& dir);

// Every memo text either side held at any point the trials know of.
std::vector<std::string> TemplateTexts();

// `hotsync --root ROOT sync --handheld HANDHELD --action ACTION`, with `fault` (empty:
// none) as the Sync Manager fault. A run that only brings a world back, not one under
// test, is `plain`: it skips the leak scan at exit, which would double the suite's
// time; the runs that meet faults and kills keep it, since error paths are where
// leaks hide.
enum class Run { kUnderTest, kPlain };
testing::ProcessResult RunHotSync(const World& world, const std::string& action,
                                  const std::string& fault = "", Run run = Run::kUnderTest);
// The same command started for a test that ends it from outside.
pid_t StartHotSync(const World& world, const std::string& action);

}  // namespace tallimor::reliability
