// Making, copying and running the worlds of the whole-program trials.
#include "tests/reliability/World.h"

#include <stdlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "desktop/CProtectedRecordFile.h"
#include "desktop/StoredMemo.h"

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

testing::ProcessResult HandheldTool(const World& world, std::vector<std::string> arguments) {
  arguments.insert(arguments.begin(), {"--handheld", world.handheld()});
  return testing::RunProcess(TALLIMOR_HANDHELD_PROGRAM, arguments, std::string(kPassword) + "\n");
}

bool Step(const testing::ProcessResult& result, const std::string& what, std::string* error) {
  if (result.status == 0) return true;
  *error = what + " failed (status " + std::to_string(result.status) + "): " + result.err;
  return false;
}

// The desktop's changes, made as the desktop program makes them: through the
// protected record store, marking what changed for the next HotSync.
bool ChangeDesktop(const World& world, std::string* error) {
  CProtectedRecordFile file(world.recordFile(), kPassword);
  if (file.Load() != kOk) {
    *error = "cannot load " + world.recordFile();
    return false;
  }
  std::map<std::string, std::int32_t> indexOf;
  for (CPRecord* record = file.FirstRecord(); record != nullptr; record = file.NextRecord()) {
    indexOf[std::string(StoredMemoText(*record))] = record->Index();
  }
  for (const char* text : {"edited later on the desktop", "deleted later on the desktop",
                           "edited later on both sides"}) {
    if (indexOf.count(text) == 0) {
      *error = std::string("the desktop file lacks \"") + text + "\"";
      return false;
    }
  }
  bool ok = StoreMemo(*file.RecordAt(indexOf["edited later on the desktop"]), kDesktopEdited) == kOk &&
            file.MarkModified(indexOf["edited later on the desktop"], true) == kOk &&
            StoreMemo(*file.RecordAt(indexOf["edited later on both sides"]), kBothDesktop) == kOk &&
            file.MarkModified(indexOf["edited later on both sides"], true) == kOk &&
            file.MarkDeleted(indexOf["deleted later on the desktop"], true) == kOk;
  CPRecord* added = file.AddEmptyRecord();
  ok = ok && added != nullptr && StoreMemo(*added, kDesktopAdded) == kOk;
  if (ok) added->SetCategory(0);
  if (!ok || file.Save() != kOk) {
    *error = "cannot change " + world.recordFile();
    return false;
  }
  return true;
}

}  // namespace

bool WorldMemos::operator==(const WorldMemos& other) const {
  return desktop.live == other.desktop.live && desktop.archived == other.desktop.archived &&
         handheld.live == other.handheld.live && handheld.archived == other.handheld.archived;
}

std::string WorldMemos::Describe() const {
  std::string text = "desktop: ";
  text += desktop.ok ? Join(desktop.live) + "; archived " + Join(desktop.archived) : desktop.error;
  text += "\nhandheld: ";
  text += handheld.ok ? Join(handheld.live) + "; archived " + Join(handheld.archived) : handheld.error;
  return text;
}

WorldMemos ReadWorld(const World& world) {
  return {ReadDesktopMemos(world.recordFile()), ReadHandheldMemos(world.handheld())};
}

void PrepareEnvironment() {
  setenv("TALLIMOR_CONDUIT", TALLIMOR_CONDUIT_LIBRARY, 1);
  setenv("TALLIMOR_NOTIFIER", "", 1);  // no desktop program to ask
  for (const char* variable : {"TALLIMOR_HOTSYNC_ROOT", "TALLIMOR_SYNC_FAULT", "TALLIMOR_HOTSYNC_LOG"}) {
    unsetenv(variable);
  }
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
    const testing::ProcessResult added = HandheldTool(world, arguments);
    if (!Step(added, "add", error)) return false;
    idOf[key] = added.out.substr(0, added.out.find_first_of(" \n"));
  }
  if (!Step(RunHotSync(world, "fast"), "the first HotSync", error)) return false;

  if (!Step(HandheldTool(world, {"edit", idOf["hh-edit"], kHandheldEdited}), "edit", error) ||
      !Step(HandheldTool(world, {"edit", idOf["both"], kBothHandheld}), "edit", error) ||
      !Step(HandheldTool(world, {"delete", idOf["hh-delete"]}), "delete", error) ||
      !Step(HandheldTool(world, {"delete", idOf["hh-archive"], "--archive"}), "archive", error) ||
      !Step(HandheldTool(world, {"add", kHandheldAdded}), "add", error) ||
      !Step(HandheldTool(world, {"add", "--private", kHandheldAddedPrivate}), "add", error)) {
    return false;
  }
  return ChangeDesktop(world, error);
}

World CopyWorld(const World& from, const std::string& dir) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy(from.dir, dir, fs::copy_options::recursive);
  return World{dir};
}

std::vector<std::string> TemplateTexts() {
  std::vector<std::string> texts;
  for (const auto& memo : kFirstMemos) texts.push_back(memo.second);
  for (const char* text : {kHandheldEdited, kHandheldAdded, kHandheldAddedPrivate, kDesktopEdited,
                           kDesktopAdded, kBothHandheld, kBothDesktop}) {
    texts.push_back(text);
  }
  std::sort(texts.begin(), texts.end());
  return texts;
}

testing::ProcessResult RunHotSync(const World& world, const std::string& action, const std::string& fault,
                                  Run run) {
  if (!fault.empty()) setenv("TALLIMOR_SYNC_FAULT", fault.c_str(), 1);
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string kept = asan != nullptr ? asan : "";
  if (run == Run::kPlain) setenv("ASAN_OPTIONS", (kept + (kept.empty() ? "" : ":") + "detect_leaks=0").c_str(), 1);
  testing::ProcessResult result = testing::RunProcess(
      TALLIMOR_HOTSYNC_PROGRAM,
      {"--root", world.root(), "sync", "--handheld", world.handheld(), "--action", action});
  if (asan != nullptr) {
    setenv("ASAN_OPTIONS", kept.c_str(), 1);
  } else {
    unsetenv("ASAN_OPTIONS");
  }
  unsetenv("TALLIMOR_SYNC_FAULT");
  return result;
}

pid_t StartHotSync(const World& world, const std::string& action) {
  return testing::StartProcess(
      TALLIMOR_HOTSYNC_PROGRAM,
      {"--root", world.root(), "sync", "--handheld", world.handheld(), "--action", action});
}

}  // namespace tallimor::reliability
