// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A HotSync "world" for whole-program trials: a HotSync root (users file, the user's
// HotSync directory with record.dat and its archives) and an emulated handheld, both on
// disk and made by the real programs. The template world has been synchronized once and
// then changed on both sides, as a user does between HotSyncs; each trial works on a
// copy. Scenario trials build worlds of their own with the same helpers.
#pragma once

#include <sys/types.h>

#include <set>
#include <string>
#include <vector>

#include "tests/reliability/MemoSides.h"
#include "tests/support/Subprocess.h"

namespace tallimor {
class CProtectedRecordFile;
}

namespace tallimor::reliability {

// The children of the suite are run by the shared test support.
using testing::Environment;
using testing::EnvSetting;
using testing::Subprocess;
using ChildResult = testing::ProcessResult;

struct World {
  std::string dir;  // holds root/ and handheld/
  std::string root() const { return dir + "/root"; }
  std::string handheld() const { return dir + "/handheld"; }
  std::string userDirectory() const { return root() + "/YamadaT"; }
  std::string desktopDirectory() const { return userDirectory() + "/Tallimor-Vexa"; }
  std::string recordFile() const { return desktopDirectory() + "/record.dat"; }
  // Where the desktop's changes go when they are under a password the handheld has left.
  std::string setAsideFile() const { return desktopDirectory() + "/record.OLD"; }
  std::string unfinishedMark() const { return userDirectory() + "/HotSync.unfinished"; }
  std::string usersFile() const { return root() + "/users.ini"; }
  std::string memoDatabase() const { return handheld() + "/" + kMemoDatabase + ".pdb"; }
};

// Everything of a world that a trial judges.
struct WorldMemos {
  SideMemos desktop;
  SideMemos handheld;
  std::vector<ArchivedMemo> archives;  // sorted
  std::string archiveError;            // archives that could not be read
  bool hasSetAside = false;            // record.OLD exists
  SideMemos setAside;                  // its memos (live and pending alike in `live`)
  bool ok() const { return desktop.ok && handheld.ok && archiveError.empty() && (!hasSetAside || setAside.ok); }
  bool operator==(const WorldMemos& other) const;
  std::string Describe() const;
};
WorldMemos ReadWorld(const World& world, const Keyring& keys);

// Sets the environment every program run needs: the built conduit, no notifier, no
// fault, no HotSync root other than the one given on the command line; and takes it as
// the environment of every child. Main thread only.
void PrepareEnvironment();

// `tallimor-handheld --handheld HANDHELD ARGUMENTS...` with `input` on standard input
// (the password's line by default).
ChildResult HandheldTool(const World& world, std::vector<std::string> arguments,
                         const std::string& input = std::string(kPassword) + "\n");
// The id tallimor-handheld printed for a memo it added.
std::string AddedId(const ChildResult& added);

// True when `result` ended well; else false with *error naming `what`.
bool Step(const ChildResult& result, const std::string& what, std::string* error);

// Makes the template world in `dir` (created): a handheld of "Taro Yamada" with a
// protected memo database, synchronized once; then memos added, edited, deleted and
// archived on the handheld, added, edited and deleted on the desktop, and one memo
// edited on both. On failure returns false with *error.
bool MakeTemplateWorld(const std::string& dir, std::string* error);

// Copies world `from` to a fresh world in `dir` (removed first).
World CopyWorld(const World& from, const std::string& dir);

// Every memo text either side of the template world held at any point.
const std::set<std::string>& TemplateTexts();

// How a HotSync is run. A run that only brings a world back, not one under test, is
// `plain`: it skips the leak scan at exit, which would double the suite's time; the
// runs that meet faults and kills keep it, since error paths are where leaks hide.
struct RunOptions {
  std::string fault;      // TALLIMOR_SYNC_FAULT for this run; empty: none
  bool plain = false;
  Environment extra;      // further variables (a disk fault library)
};
// `hotsync --root ROOT sync --handheld HANDHELD --action ACTION`.
ChildResult RunHotSync(const World& world, const std::string& action, const RunOptions& options = {});
// The same with the plain options.
ChildResult RunPlainHotSync(const World& world, const std::string& action);
// The same command started for a trial that ends it from outside.
testing::Subprocess StartHotSync(const World& world, const std::string& action);
// The environment of a run with `options`.
Environment RunEnvironment(const RunOptions& options);
// The arguments of `hotsync` for a sync of `world` with `action`.
std::vector<std::string> HotSyncArguments(const World& world, const std::string& action);

// Changes record.dat as the desktop program does, through the protected record store
// keyed with `password`, marking what changed for the next HotSync: memo `from` gets the
// text `to` (edits), memos in `deleted` are deleted, memos in `added` are added to the
// category `category` (index). False with *error when a memo is missing or the save fails.
struct DesktopChanges {
  std::vector<std::pair<std::string, std::string>> edits;  // {from, to}
  std::vector<std::string> deleted;
  std::vector<std::string> added;
  int category = 0;
};
bool ChangeDesktop(const World& world, const std::string& password, const DesktopChanges& changes,
                   std::string* error);
// The changes alone, on a loaded store, for a writer that saves (and retries) itself.
bool ApplyDesktopChanges(CProtectedRecordFile& file, const DesktopChanges& changes, std::string* error);

}  // namespace tallimor::reliability
