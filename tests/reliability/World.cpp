// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Making, copying, reading and running the worlds of the whole-program trials.
#include "tests/reliability/World.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"

namespace tallimor::reliability {
namespace {

namespace fs = std::filesystem;

// The memos of the first HotSync, by what happens to them afterwards.
const std::vector<std::pair<std::string, std::string>> kFirstMemos = {
    {"kept", "kept as it is"},
    {"work", "a memo filed under Work"},
    {"hh-edit", "edited later on the handheld"},
    {"hh-delete", "deleted later on the handheld"},
    {"hh-archive", "archived later on the handheld"},
    {"pc-edit", "edited later on the desktop"},
    {"pc-delete", "deleted later on the desktop"},
    {"both", "edited later on both sides"},
};
const char* const kHandheldEdited = "edited on the handheld";
const char* const kHandheldAdded = "added on the handheld";
const char* const kHandheldAddedPrivate = "a private memo added on the handheld";
const char* const kDesktopEdited = "edited on the desktop";
const char* const kDesktopAdded = "added on the desktop";
const char* const kBothHandheld = "the handheld's side of a conflict";
const char* const kBothDesktop = "the desktop's side of a conflict";

std::string DescribeSide(const SideMemos& side) {
  if (!side.ok) return side.error;
  std::string text = Join(side.live);
  if (!side.pending.empty()) text += "; marked deleted or archived " + Join(side.pending);
  return text;
}

}  // namespace

bool WorldMemos::operator==(const WorldMemos& other) const {
  return desktop == other.desktop && handheld == other.handheld && archives == other.archives &&
         archiveError == other.archiveError && hasSetAside == other.hasSetAside && setAside == other.setAside;
}

std::string WorldMemos::Describe() const {
  std::string text = "  desktop: " + DescribeSide(desktop) + "\n  handheld: " + DescribeSide(handheld) +
                     "\n  archives:";
  for (const ArchivedMemo& archived : archives) text += " " + archived.file + " " + archived.memo.Describe();
  if (!archiveError.empty()) text += " (unreadable: " + archiveError + ")";
  if (hasSetAside) text += "\n  record.OLD: " + DescribeSide(setAside);
  return text;
}

WorldMemos ReadWorld(const World& world, const Keyring& keys) {
  WorldMemos memos;
  memos.desktop = ReadDesktopMemos(world.recordFile(), keys);
  memos.handheld = ReadHandheldMemos(world.handheld(), keys);
  memos.archives = ReadArchives(world.desktopDirectory(), keys, &memos.archiveError);
  memos.hasSetAside = fs::exists(world.setAsideFile());
  if (memos.hasSetAside) {
    memos.setAside = ReadKeptAside(world.setAsideFile(), keys);
    // What was kept aside counts whatever marks it carries.
    memos.setAside.live.insert(memos.setAside.live.end(), memos.setAside.pending.begin(),
                               memos.setAside.pending.end());
    memos.setAside.pending.clear();
    std::sort(memos.setAside.live.begin(), memos.setAside.live.end());
  }
  return memos;
}

void PrepareEnvironment() {
  setenv("TALLIMOR_CONDUIT", TALLIMOR_CONDUIT_LIBRARY, 1);
  setenv("TALLIMOR_NOTIFIER", "", 1);  // no desktop program to ask
  for (const char* variable : {"TALLIMOR_HOTSYNC_ROOT", "TALLIMOR_SYNC_FAULT", "TALLIMOR_HOTSYNC_LOG",
                               "TALLIMOR_HANDHELD", "TALLIMOR_DISK_FAULT", "LD_PRELOAD"}) {
    unsetenv(variable);
  }
  Subprocess::CaptureBaseEnvironment();
}

ChildResult HandheldTool(const World& world, std::vector<std::string> arguments, const std::string& input) {
  arguments.insert(arguments.begin(), {"--handheld", world.handheld()});
  // The tool is not under test here: no leak scan.
  return Subprocess::Run(TALLIMOR_HANDHELD_PROGRAM, arguments, input, RunEnvironment({"", true, {}}));
}

std::string AddedId(const ChildResult& added) { return added.out.substr(0, added.out.find_first_of(" \n")); }

bool Step(const ChildResult& result, const std::string& what, std::string* error) {
  if (result.status == 0) return true;
  *error = what + " failed (status " + std::to_string(result.status) + "): " + result.err;
  return false;
}

bool ApplyDesktopChanges(CProtectedRecordFile& file, const DesktopChanges& changes, std::string* error) {
  std::map<std::string, std::int32_t> indexOf;
  for (CPRecord* record = file.FirstRecord(); record != nullptr; record = file.NextRecord()) {
    if (!record->IsDeleted()) indexOf[std::string(StoredMemoText(*record))] = record->Index();
  }
  for (const auto& [from, to] : changes.edits) {
    if (indexOf.count(from) == 0) {
      *error = "the desktop file lacks \"" + from + "\"";
      return false;
    }
    if (StoreMemo(*file.RecordAt(indexOf[from]), to) != kOk || file.MarkModified(indexOf[from], true) != kOk) {
      *error = "cannot edit \"" + from + "\"";
      return false;
    }
  }
  for (const std::string& text : changes.deleted) {
    if (indexOf.count(text) == 0 || file.MarkDeleted(indexOf[text], true) != kOk) {
      *error = "cannot delete \"" + text + "\" on the desktop";
      return false;
    }
  }
  for (const std::string& text : changes.added) {
    CPRecord* added = file.AddEmptyRecord();
    if (added == nullptr || StoreMemo(*added, text) != kOk) {
      *error = "cannot add \"" + text + "\" on the desktop";
      return false;
    }
    added->SetCategory(changes.category);
  }
  return true;
}

bool ChangeDesktop(const World& world, const std::string& password, const DesktopChanges& changes,
                   std::string* error) {
  CProtectedRecordFile file(world.recordFile(), password.c_str());
  if (file.Load() != kOk) {
    *error = "cannot load " + world.recordFile();
    return false;
  }
  if (!ApplyDesktopChanges(file, changes, error)) return false;
  if (file.Save() != kOk) {
    *error = "cannot save " + world.recordFile();
    return false;
  }
  return true;
}

bool MakeTemplateWorld(const std::string& dir, std::string* error) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  const World world{dir};
  if (!Step(HandheldTool(world, {"init", "--user", "Taro Yamada"}), "init", error) ||
      !Step(HandheldTool(world, {"create-db", "--password", "--hint", "pet"}), "create-db", error) ||
      !Step(HandheldTool(world, {"category", "add", "Work"}), "category add", error)) {
    return false;
  }
  std::map<std::string, std::string> idOf;
  for (const auto& [key, text] : kFirstMemos) {
    std::vector<std::string> arguments = {"add", text};
    if (key == "work") arguments = {"add", "--category", "1", text};
    const ChildResult added = HandheldTool(world, arguments);
    if (!Step(added, "add", error)) return false;
    idOf[key] = AddedId(added);
  }
  if (!Step(RunPlainHotSync(world, "fast"), "the first HotSync", error)) return false;

  if (!Step(HandheldTool(world, {"edit", idOf["hh-edit"], kHandheldEdited}), "edit", error) ||
      !Step(HandheldTool(world, {"edit", idOf["both"], kBothHandheld}), "edit", error) ||
      !Step(HandheldTool(world, {"delete", idOf["hh-delete"]}), "delete", error) ||
      !Step(HandheldTool(world, {"delete", idOf["hh-archive"], "--archive"}), "archive", error) ||
      !Step(HandheldTool(world, {"add", kHandheldAdded}), "add", error) ||
      !Step(HandheldTool(world, {"add", "--private", kHandheldAddedPrivate}), "add", error)) {
    return false;
  }
  DesktopChanges changes;
  changes.edits = {{"edited later on the desktop", kDesktopEdited}, {"edited later on both sides", kBothDesktop}};
  changes.deleted = {"deleted later on the desktop"};
  changes.added = {kDesktopAdded};
  return ChangeDesktop(world, kPassword, changes, error);
}

World CopyWorld(const World& from, const std::string& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy(from.dir, dir, fs::copy_options::recursive);
  return World{dir};
}

const std::set<std::string>& TemplateTexts() {
  static const std::set<std::string> texts = [] {
    std::set<std::string> all;
    for (const auto& memo : kFirstMemos) all.insert(memo.second);
    for (const char* text : {kHandheldEdited, kHandheldAdded, kHandheldAddedPrivate, kDesktopEdited,
                             kDesktopAdded, kBothHandheld, kBothDesktop}) {
      all.insert(text);
    }
    return all;
  }();
  return texts;
}

Environment RunEnvironment(const RunOptions& options) {
  Environment environment = options.extra;
  if (!options.fault.empty()) environment.push_back({"TALLIMOR_SYNC_FAULT", options.fault});
  if (options.plain) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string kept = asan != nullptr ? asan : "";
    environment.push_back({"ASAN_OPTIONS", kept + (kept.empty() ? "" : ":") + "detect_leaks=0"});
  }
  return environment;
}

std::vector<std::string> HotSyncArguments(const World& world, const std::string& action) {
  return {"--root", world.root(), "sync", "--handheld", world.handheld(), "--action", action};
}

ChildResult RunHotSync(const World& world, const std::string& action, const RunOptions& options) {
  return Subprocess::Run(TALLIMOR_HOTSYNC_PROGRAM, HotSyncArguments(world, action), "", RunEnvironment(options));
}

ChildResult RunPlainHotSync(const World& world, const std::string& action) {
  return RunHotSync(world, action, {"", true, {}});
}

Subprocess StartHotSync(const World& world, const std::string& action) {
  return Subprocess::Start(TALLIMOR_HOTSYNC_PROGRAM, HotSyncArguments(world, action));
}

}  // namespace tallimor::reliability
