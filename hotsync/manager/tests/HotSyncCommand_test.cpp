// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The `hotsync` program as users and scripts run it: whole HotSyncs of handhelds made
// with tallimor-handheld, checked from outside with tallimor-dump and
// tallimor-handheld. The real conduit shows that memos arrive; a stand-in conduit that
// records what it is handed shows which action, directory and first-sync indicator
// the program chose; a stand-in desktop program answers the real notifier.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "hotsync/users/UserData.h"
#include "notifier/HotSyncNotification.h"
#include "notifier/tests/TestSupport.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;
using testing::ProcessResult;
using testing::ReadWholeFile;
using testing::Subprocess;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The values of every "text" member of JSON written by the tools (plain ASCII memos).
std::vector<std::string> JsonTexts(const std::string& json) {
  std::vector<std::string> texts;
  const std::string key = "\"text\": \"";
  for (std::size_t at = json.find(key); at != std::string::npos; at = json.find(key, at)) {
    at += key.size();
    std::string text;
    while (at < json.size() && json[at] != '"') {
      if (json[at] == '\\') ++at;
      text += json[at++];
    }
    texts.push_back(text);
  }
  std::sort(texts.begin(), texts.end());
  return texts;
}

class HotSyncCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    root_ = dir_ + "/root";
    handheld_ = dir_ + "/handheld";
    setenv("TALLIMOR_CONDUIT", TALLIMOR_CONDUIT_LIBRARY, 1);
    setenv("TALLIMOR_NOTIFIER", "", 1);  // no notifier unless a test brings one
    setenv("TALLIMOR_FAKE_CONDUIT_LOG", (dir_ + "/conduit.log").c_str(), 1);
    for (const char* variable : {"TALLIMOR_HOTSYNC_ROOT", "TALLIMOR_SYNC_FAULT",
                                 "TALLIMOR_HOTSYNC_LOG", "TALLIMOR_FAKE_CONDUIT_MODE"}) {
      unsetenv(variable);
    }
  }

  ProcessResult HotSync(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--root", root_});
    return Subprocess::Run(TALLIMOR_HOTSYNC_PROGRAM, arguments);
  }
  ProcessResult Sync(std::vector<std::string> more = {}) {
    std::vector<std::string> arguments = {"sync", "--handheld", handheld_};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return HotSync(arguments);
  }
  // tallimor-handheld on the handheld, with the password on standard input.
  ProcessResult Handheld(std::vector<std::string> arguments, const std::string& handheld = "") {
    arguments.insert(arguments.begin(), {"--handheld", handheld.empty() ? handheld_ : handheld});
    return Subprocess::Run(TALLIMOR_HANDHELD_PROGRAM, arguments, "secret\n");
  }
  // A handheld of "Taro Yamada" with a protected memo database and two memos.
  void MakeHandheld(const std::string& handheld = "", const std::string& userId = "") {
    std::vector<std::string> init = {"init", "--user", "Taro Yamada"};
    if (!userId.empty()) init.insert(init.end(), {"--user-id", userId});
    ASSERT_EQ(Handheld(init, handheld).status, 0);
    ASSERT_EQ(Handheld({"create-db", "--password", "--hint", "pet"}, handheld).status, 0);
    ASSERT_EQ(Handheld({"add", "first memo"}, handheld).status, 0);
    ASSERT_EQ(Handheld({"category", "add", "Work"}, handheld).status, 0);
    ASSERT_EQ(Handheld({"add", "--category", "1", "work memo"}, handheld).status, 0);
  }

  std::string UserDirectory() const { return root_ + "/YamadaT"; }
  std::string DesktopFile() const { return UserDirectory() + "/Tallimor-Vexa/record.dat"; }
  bool Unfinished() const { return fs::exists(UserDirectory() + "/HotSync.unfinished"); }

  std::vector<std::string> DesktopMemos() {
    const ProcessResult dump = Subprocess::Run(
        TALLIMOR_DUMP_PROGRAM, {"--json", "--password", DesktopFile()}, "secret\n");
    EXPECT_EQ(dump.status, 0) << dump.err;
    return JsonTexts(dump.out);
  }
  std::vector<std::string> HandheldMemos() {
    const ProcessResult list = Handheld({"list", "--json"});
    EXPECT_EQ(list.status, 0) << list.err;
    return JsonTexts(list.out);
  }

  // Runs the stand-in conduit instead of the real one, ending as `mode` says.
  void UseFakeConduit(const char* mode = "") {
    setenv("TALLIMOR_CONDUIT", TALLIMOR_FAKE_CONDUIT_LIBRARY, 1);
    setenv("TALLIMOR_FAKE_CONDUIT_MODE", mode, 1);
  }
  // What the stand-in conduit was handed, one line per run.
  std::vector<std::string> ConduitRuns() const { return Lines(ReadWholeFile(dir_ + "/conduit.log")); }
  // The sync type of the stand-in's last run, or -100.
  int LastSyncType() const {
    const std::vector<std::string> runs = ConduitRuns();
    return runs.empty() ? -100 : std::stoi(runs.back().substr(runs.back().find('=') + 1));
  }

  testing::ScopedRuntimeDir runtime_;  // no real desktop program is ever reached
  tallimor::testing::TempDir temp_{"hotsync"};  // removed after the test
  std::string dir_;
  std::string root_;
  std::string handheld_;
};

TEST_F(HotSyncCommand, FirstHotSyncMakesTheUserAndBringsTheMemosOver) {
  MakeHandheld();
  const ProcessResult first = Sync();
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.err.find("new HotSync user \"Taro Yamada\""), std::string::npos) << first.err;
  EXPECT_NE(first.err.find("slow synchronization (first HotSync of this user"), std::string::npos);
  EXPECT_NE(first.out.find("OK Generic Conduit"), std::string::npos) << first.out;

  const ProcessResult users = HotSync({"users"});
  EXPECT_EQ(users.out, "1\tTaro Yamada\t" + UserDirectory() + "\n");
  EXPECT_NE(ReadWholeFile(handheld_ + "/handheld.ini").find("UserId=1"), std::string::npos);
  EXPECT_EQ(DesktopMemos(), (std::vector<std::string>{"first memo", "work memo"}));
  EXPECT_FALSE(Unfinished());

  // Both sides changed: the next, ordinary HotSync is a fast one and carries the edit.
  ASSERT_EQ(Handheld({"edit", "1", "first memo, edited"}).status, 0);
  const ProcessResult second = Sync();
  ASSERT_EQ(second.status, 0) << second.err;
  EXPECT_NE(second.err.find(": fast synchronization\n"), std::string::npos) << second.err;
  EXPECT_EQ(DesktopMemos(), (std::vector<std::string>{"first memo, edited", "work memo"}));
}

TEST_F(HotSyncCommand, FailedHotSyncIsFollowedByASlowOneThatConverges) {
  MakeHandheld();
  ASSERT_EQ(Sync().status, 0);
  ASSERT_EQ(Handheld({"edit", "2", "work memo, edited"}).status, 0);
  ASSERT_EQ(Handheld({"add", "third memo"}).status, 0);

  // The link to the handheld is lost part way through the conduit.
  setenv("TALLIMOR_SYNC_FAULT", "call=14,kind=comm", 1);
  const ProcessResult failed = Sync();
  unsetenv("TALLIMOR_SYNC_FAULT");
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.out.find("FAILED Generic Conduit"), std::string::npos) << failed.out;
  EXPECT_NE(failed.err.find("next HotSync of this handheld compares every record"), std::string::npos);
  EXPECT_TRUE(Unfinished());

  const ProcessResult next = Sync();
  ASSERT_EQ(next.status, 0) << next.err;
  EXPECT_NE(next.err.find("slow synchronization (the last HotSync of this handheld did not finish)"),
            std::string::npos)
      << next.err;
  EXPECT_FALSE(Unfinished());
  const std::vector<std::string> expected = {"first memo", "third memo", "work memo, edited"};
  EXPECT_EQ(DesktopMemos(), expected);
  EXPECT_EQ(HandheldMemos(), expected);

  const ProcessResult log = HotSync({"log"});
  EXPECT_NE(log.out.find(": failed\n"), std::string::npos) << log.out;
  EXPECT_NE(log.out.find("Slow synchronization: the last HotSync of this handheld did not finish."),
            std::string::npos);
}

TEST_F(HotSyncCommand, AResetHandheldWhoseFirstHotSyncFailsIsMergedByTheNextOne) {
  MakeHandheld();
  ASSERT_EQ(Sync().status, 0);
  // The handheld is reset and given the same user name; it has one memo of its own.
  std::filesystem::remove_all(handheld_);
  MakeHandheld();
  ASSERT_EQ(Handheld({"add", "typed on the reset handheld"}).status, 0);

  setenv("TALLIMOR_SYNC_FAULT", "call=6,kind=comm", 1);
  EXPECT_EQ(Sync().status, 1);
  unsetenv("TALLIMOR_SYNC_FAULT");
  // Until a HotSync of it succeeds, the handheld has not learnt its user id: the next
  // HotSync is again its first, and merges rather than deleting the desktop's memos.
  EXPECT_EQ(ReadWholeFile(handheld_ + "/handheld.ini").find("UserId=1"), std::string::npos);
  const ProcessResult next = Sync();
  ASSERT_EQ(next.status, 0) << next.err;
  EXPECT_NE(next.out.find("First HotSync of this Palm organizer"), std::string::npos) << next.out;
  EXPECT_NE(ReadWholeFile(handheld_ + "/handheld.ini").find("UserId=1"), std::string::npos);
  const std::vector<std::string> expected = {"first memo", "typed on the reset handheld", "work memo"};
  EXPECT_EQ(DesktopMemos(), expected);
  EXPECT_EQ(HandheldMemos(), expected);
}

TEST_F(HotSyncCommand, DesktopOverwritesHandheldForOneRun) {
  MakeHandheld();
  ASSERT_EQ(Sync().status, 0);
  ASSERT_EQ(Handheld({"edit", "1", "changed on the handheld"}).status, 0);
  ASSERT_EQ(Handheld({"add", "added on the handheld"}).status, 0);

  const ProcessResult overwrite = Sync({"--action", "desktop-to-handheld"});
  ASSERT_EQ(overwrite.status, 0) << overwrite.err;
  EXPECT_NE(overwrite.err.find("desktop overwrites handheld"), std::string::npos);
  EXPECT_EQ(HandheldMemos(), (std::vector<std::string>{"first memo", "work memo"}));
  EXPECT_EQ(DesktopMemos(), (std::vector<std::string>{"first memo", "work memo"}));
}

TEST_F(HotSyncCommand, KilledHotSyncMakesTheNextOneSlow) {
  MakeHandheld();
  UseFakeConduit();
  ASSERT_EQ(Sync().status, 0);

  UseFakeConduit("hang");
  Subprocess hotsync = Subprocess::Start(TALLIMOR_HOTSYNC_PROGRAM,
                                         {"--root", root_, "sync", "--handheld", handheld_});
  ASSERT_GT(hotsync.pid(), 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (ConduitRuns().size() < 2 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_EQ(ConduitRuns().size(), 2u) << "the conduit never started";
  hotsync.Signal(SIGKILL);  // half way through the conduit
  EXPECT_EQ(hotsync.Wait(), 128 + SIGKILL);
  EXPECT_EQ(LastSyncType(), 0);
  EXPECT_TRUE(Unfinished());
  EXPECT_NE(HotSync({"log"}).out.find(": did not finish\n"), std::string::npos);

  UseFakeConduit();
  ASSERT_EQ(Sync().status, 0);
  EXPECT_EQ(LastSyncType(), 1);
  EXPECT_FALSE(Unfinished());
  ASSERT_EQ(Sync().status, 0);
  EXPECT_EQ(LastSyncType(), 0);
}

TEST_F(HotSyncCommand, ConduitIsHandedTheMemoDatabaseAndTheFirstSyncIndicator) {
  MakeHandheld();
  UseFakeConduit();
  ASSERT_EQ(Sync().status, 0);
  const std::string directory = UserDirectory() + "/Tallimor-Vexa";
  EXPECT_TRUE(fs::is_directory(directory));
  ASSERT_EQ(ConduitRuns().size(), 1u);
  EXPECT_EQ(ConduitRuns()[0], "syncType=1 firstSync=1 directory=" + directory +
                                  " file=record.dat count=1 name=TallimorDB creator=546c6d72 "
                                  "type=44415441 descriptors=none");

  // A second handheld of the same user that has never been synchronized: it is new.
  const std::string other = dir_ + "/other";
  MakeHandheld(other);
  ASSERT_EQ(HotSync({"sync", "--handheld", other}).status, 0);
  EXPECT_NE(ConduitRuns().back().find("syncType=1 firstSync=2 "), std::string::npos);
  EXPECT_NE(ReadWholeFile(other + "/handheld.ini").find("UserId=1"), std::string::npos);
  ASSERT_EQ(HotSync({"sync", "--handheld", other}).status, 0);
  EXPECT_NE(ConduitRuns().back().find("syncType=0 firstSync=0 "), std::string::npos);

  // A handheld of another user who happens to have the same name is refused.
  const std::string stranger = dir_ + "/stranger";
  MakeHandheld(stranger, "99");
  const ProcessResult refused = HotSync({"sync", "--handheld", stranger});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("different users"), std::string::npos) << refused.err;
  EXPECT_EQ(ConduitRuns().size(), 3u);
}

TEST_F(HotSyncCommand, ActionOptionHoldsForOneRun) {
  MakeHandheld();
  UseFakeConduit();
  ASSERT_EQ(Sync().status, 0);
  const std::map<std::string, int> actions = {{"fast", 0},
                                              {"slow", 1},
                                              {"handheld-to-desktop", 2},
                                              {"desktop-to-handheld", 3},
                                              {"nothing", 6}};
  for (const auto& [name, syncType] : actions) {
    ASSERT_EQ(Sync({"--action", name}).status, 0) << name;
    EXPECT_EQ(LastSyncType(), syncType) << name;
    ASSERT_EQ(Sync().status, 0);
    EXPECT_EQ(LastSyncType(), 0) << "after " << name;
  }
  const ProcessResult bad = Sync({"--action", "sideways"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("unknown action 'sideways'"), std::string::npos);
}

TEST_F(HotSyncCommand, NextHotSyncActionIsUsedUpOnlyBySuccess) {
  MakeHandheld();
  UseFakeConduit();
  ASSERT_EQ(Sync().status, 0);
  UserData users(root_);
  ASSERT_EQ(users.WriteValue(1, "TallimorC", "SyncType", 3), kOk);
  ASSERT_EQ(users.WriteValue(1, "TallimorC", "NextSyncType", 2), kOk);

  UseFakeConduit("fail");
  EXPECT_EQ(Sync().status, 1);
  EXPECT_EQ(LastSyncType(), 2);
  UseFakeConduit();
  ASSERT_EQ(Sync().status, 0);
  EXPECT_EQ(LastSyncType(), 2);  // still owed after the failure; an overwrite needs no slow run
  ASSERT_EQ(Sync().status, 0);
  EXPECT_EQ(LastSyncType(), 3);  // the default again
  std::int32_t next = 0;
  ASSERT_EQ(users.ReadValue(1, "TallimorC", "NextSyncType", &next, 0), kOk);
  EXPECT_EQ(next, -1);
}

// The stand-in desktop program's answers per notification code; missing codes answer 0.
testing::FakeDesktop::Handler Desktop(std::map<std::uint64_t, std::int64_t> answers) {
  answers.emplace(kHotSyncProbe, kHotSyncProbeAnswer);
  return [answers](const WindowMessage& message) -> std::optional<std::int64_t> {
    const auto found = answers.find(message.wParam);
    return found == answers.end() ? 0 : found->second;
  };
}

std::vector<std::uint64_t> Codes(const testing::FakeDesktop& desktop) {
  std::vector<std::uint64_t> codes;
  for (const WindowMessage& message : desktop.received()) {
    if (message.wParam != kHotSyncProbe) codes.push_back(message.wParam);
  }
  return codes;
}

TEST_F(HotSyncCommand, DesktopProgramMayRefuseTheHotSync) {
  MakeHandheld();
  UseFakeConduit();
  ASSERT_EQ(Sync().status, 0);  // no notifier yet: nobody is asked
  setenv("TALLIMOR_NOTIFIER", TALLIMOR_NOTIFIER_LIBRARY, 1);

  {
    testing::FakeDesktop busy(kDesktopWindowClass, Desktop({{kHotSyncStartQuery, 1}}));
    ASSERT_EQ(busy.listenResult(), kOk);
    const ProcessResult refused = Sync();
    EXPECT_EQ(refused.status, 3);
    EXPECT_NE(refused.err.find("refused the HotSync: one of its dialogs is open"), std::string::npos)
        << refused.err;
    EXPECT_NE(refused.out.find("refused the HotSync"), std::string::npos);  // in the log too
    EXPECT_EQ(Codes(busy), (std::vector<std::uint64_t>{kHotSyncStartQuery, kHotSyncEndedAbnormally}));
  }
  {
    testing::FakeDesktop cannotSave(kDesktopWindowClass, Desktop({{kHotSyncStarted, 1}}));
    EXPECT_EQ(Sync().status, 3);
    EXPECT_EQ(Codes(cannotSave), (std::vector<std::uint64_t>{kHotSyncStartQuery, kHotSyncStarted,
                                                             kHotSyncEndedAbnormally}));
  }
  EXPECT_EQ(ConduitRuns().size(), 1u);  // no conduit ran for either
  EXPECT_FALSE(Unfinished());
  {
    testing::FakeDesktop idle(kDesktopWindowClass, Desktop({}));
    ASSERT_EQ(Sync().status, 0);
    EXPECT_EQ(Codes(idle), (std::vector<std::uint64_t>{kHotSyncStartQuery, kHotSyncStarted,
                                                       kHotSyncEndedNormally}));
    UseFakeConduit("fail");
    EXPECT_EQ(Sync().status, 1);
    EXPECT_EQ(Codes(idle).back(), kHotSyncEndedAbnormally);
  }
  EXPECT_EQ(ConduitRuns().size(), 3u);
}

TEST_F(HotSyncCommand, CommandLineMistakesAreUsageErrors) {
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {},
           {"dance"},
           {"sync"},
           {"sync", "--handheld"},
           {"sync", "--handheld", "a", "--handheld", "b"},
           {"sync", "--handheld", "a", "extra"},
           {"users", "--user", "x"},
           {"--root"},
           {"--frobnicate", "users"}}) {
    const ProcessResult result = HotSync(words);
    EXPECT_EQ(result.status, 2) << ::testing::PrintToString(words);
    EXPECT_NE(result.err.find("Try 'hotsync"), std::string::npos) << result.err;
  }
  for (const char* command : {"sync", "configure", "log", "users"}) {
    const ProcessResult help = HotSync({command, "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(std::string("Usage: hotsync [--root DIR] ") + command, 0), 0u) << help.out;
  }
  const ProcessResult help = HotSync({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Exit status"), std::string::npos);
}

TEST_F(HotSyncCommand, MissingThingsAreFailuresWithReasons) {
  const ProcessResult noHandheld = Sync();
  EXPECT_EQ(noHandheld.status, 1);
  EXPECT_NE(noHandheld.err.find("is no emulated handheld"), std::string::npos) << noHandheld.err;

  MakeHandheld();
  setenv("TALLIMOR_CONDUIT", (dir_ + "/nowhere.so").c_str(), 1);
  const ProcessResult noConduit = Sync();
  EXPECT_EQ(noConduit.status, 1);
  EXPECT_NE(noConduit.err.find("cannot load the conduit"), std::string::npos) << noConduit.err;

  EXPECT_EQ(HotSync({"users"}).out, "1\tTaro Yamada\t" + UserDirectory() + "\n");

  // While a HotSync of the user runs (here: this process holds its lock), another waits its turn.
  UseFakeConduit();
  const int held = open((UserDirectory() + "/HotSync.lock").c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  const ProcessResult busy = Sync();
  close(held);
  EXPECT_EQ(busy.status, 1);
  EXPECT_NE(busy.err.find("another HotSync of this user is running"), std::string::npos) << busy.err;
  EXPECT_TRUE(ConduitRuns().empty());
  EXPECT_EQ(Sync().status, 0);

  const ProcessResult nobody = HotSync({"log", "--user", "Nobody"});
  EXPECT_EQ(nobody.status, 1);
  EXPECT_NE(nobody.err.find("no HotSync user \"Nobody\""), std::string::npos);
  const ProcessResult configure = HotSync({"configure", "--user", "Nobody"});
  EXPECT_EQ(configure.status, 1);
}

// 山田 太郎 as typed and as the handheld and the users file store it.
constexpr char kNameUtf8[] = "\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e";
constexpr char kNameCp932[] = "\x8e\x52\x93\x63\x20\x91\xbe\x98\x59";

TEST_F(HotSyncCommand, JapaneseUserNameTravelsInCodePage932AndIsFoundAsTyped) {
  ASSERT_EQ(Handheld({"init", "--user", kNameUtf8}).status, 0);
  ASSERT_EQ(Handheld({"create-db"}).status, 0);
  ASSERT_EQ(Handheld({"add", "memo"}).status, 0);
  const ProcessResult sync = Sync();
  ASSERT_EQ(sync.status, 0) << sync.err;
  EXPECT_NE(sync.err.find(std::string("new HotSync user \"") + kNameUtf8 + "\""), std::string::npos) << sync.err;
  // The users file writes bytes outside ASCII as \xHH: these are the code page 932 ones.
  EXPECT_NE(ReadWholeFile(root_ + "/users.ini").find("Name=\\x8ER\\x93c \\x91\\xBE\\x98Y\n"), std::string::npos)
      << ReadWholeFile(root_ + "/users.ini");
  EXPECT_NE(ReadWholeFile(handheld_ + "/handheld.ini").find(std::string("UserName=") + kNameCp932), std::string::npos);

  const ProcessResult users = HotSync({"users"});
  EXPECT_EQ(users.out.rfind(std::string("1\t") + kNameUtf8 + "\t", 0), 0u) << users.out;
  const ProcessResult log = HotSync({"log", "-u", kNameUtf8});
  EXPECT_EQ(log.status, 0) << log.err;
  EXPECT_NE(log.out.find("completed"), std::string::npos) << log.out;
  const ProcessResult configure = HotSync({"configure", "-a", "slow", "--user", kNameUtf8});
  EXPECT_EQ(configure.status, 0) << configure.err;
  EXPECT_EQ(configure.out,
            std::string("HotSync action for \"") + kNameUtf8 + "\": slow synchronization (the next HotSync only)\n");

  // A name that cannot be stored is refused as such, not reported as an unknown user;
  // an empty one is a usage error.
  const ProcessResult emoji = HotSync({"log", "--user", "\xf0\x9f\x98\x80"});
  EXPECT_EQ(emoji.status, 1);
  EXPECT_NE(emoji.err.find("U+1F600"), std::string::npos) << emoji.err;
  EXPECT_EQ(emoji.err.find("no HotSync user"), std::string::npos) << emoji.err;
  EXPECT_EQ(HotSync({"configure", "--user=", "-a", "slow"}).status, 2);
}

TEST_F(HotSyncCommand, ConfigureActionChoosesWithoutADialog) {
  MakeHandheld();
  UseFakeConduit();
  ASSERT_EQ(Sync().status, 0);
  // No display is needed when the action is given.
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) unsetenv(variable);
  UserData users(root_);
  auto stored = [&users](const char* key) {
    std::int32_t value = -100;
    EXPECT_EQ(users.ReadValue(1, "TallimorC", key, &value, -100), kOk);
    return value;
  };

  const ProcessResult next = HotSync({"configure", "--action", "handheld-to-desktop"});
  ASSERT_EQ(next.status, 0) << next.err;
  EXPECT_EQ(next.out, "HotSync action for \"Taro Yamada\": handheld overwrites desktop (the next HotSync only)\n");
  EXPECT_EQ(stored("NextSyncType"), 2);
  EXPECT_EQ(stored("SyncType"), -100);
  ASSERT_EQ(Sync().status, 0);
  EXPECT_EQ(LastSyncType(), 2);
  ASSERT_EQ(Sync().status, 0);
  EXPECT_EQ(LastSyncType(), 0);  // used up

  ASSERT_EQ(HotSync({"configure", "-a", "nothing"}).status, 0);
  const ProcessResult lasting = HotSync({"configure", "-a", "desktop-to-handheld", "--default"});
  ASSERT_EQ(lasting.status, 0) << lasting.err;
  EXPECT_EQ(lasting.out, "HotSync action for \"Taro Yamada\": desktop overwrites handheld (the default from now on)\n");
  EXPECT_EQ(stored("SyncType"), 3);
  EXPECT_EQ(stored("NextSyncType"), -1);  // the default drops a next-only action
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(Sync().status, 0);
    EXPECT_EQ(LastSyncType(), 3);
  }

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"configure", "--default"}, {"configure", "--action", "sideways"}, {"configure", "-a"}}) {
    const ProcessResult run = HotSync(bad);
    EXPECT_EQ(run.status, 2) << ::testing::PrintToString(bad);
    EXPECT_NE(run.err.find("Try 'hotsync configure --help'"), std::string::npos) << run.err;
  }
  EXPECT_EQ(stored("SyncType"), 3);
}

TEST_F(HotSyncCommand, ConfigureWithoutADisplayIsRefusedAndNeverWaits) {
  MakeHandheld();
  UseFakeConduit();
  ASSERT_EQ(Sync().status, 0);
  unsetenv("WAYLAND_DISPLAY");
  for (const auto& [platform, display] : std::vector<std::pair<const char*, const char*>>{
           {"offscreen", nullptr}, {nullptr, nullptr}, {nullptr, ":6999"}}) {
    platform != nullptr ? setenv("QT_QPA_PLATFORM", platform, 1) : unsetenv("QT_QPA_PLATFORM");
    display != nullptr ? setenv("DISPLAY", display, 1) : unsetenv("DISPLAY");
    const ProcessResult run =
        Subprocess::Run("/usr/bin/timeout", {"60", TALLIMOR_HOTSYNC_PROGRAM, "--root", root_, "configure"});
    EXPECT_EQ(run.status, 1) << (platform ? platform : "") << " " << (display ? display : "") << ": " << run.err;
    EXPECT_NE(run.err.find("needs a display"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("hotsync configure --action ACTION"), std::string::npos) << run.err;
  }
  unsetenv("QT_QPA_PLATFORM");
  unsetenv("DISPLAY");
}

TEST_F(HotSyncCommand, HandheldComesFromTheEnvironmentAndShortOptionsWork) {
  MakeHandheld();
  UseFakeConduit();
  setenv("TALLIMOR_HANDHELD", handheld_.c_str(), 1);
  const ProcessResult fromEnvironment = HotSync({"sync"});
  ASSERT_EQ(fromEnvironment.status, 0) << fromEnvironment.err;
  EXPECT_EQ(ConduitRuns().size(), 1u);
  // The option wins over the environment.
  setenv("TALLIMOR_HANDHELD", (dir_ + "/nowhere").c_str(), 1);
  const ProcessResult shortForms =
      Subprocess::Run(TALLIMOR_HOTSYNC_PROGRAM, {"-r", root_, "sync", "-H", handheld_, "-a", "slow"});
  ASSERT_EQ(shortForms.status, 0) << shortForms.err;
  EXPECT_EQ(LastSyncType(), 1);
  const ProcessResult elsewhere = HotSync({"sync"});
  EXPECT_EQ(elsewhere.status, 1);
  EXPECT_NE(elsewhere.err.find(dir_ + "/nowhere"), std::string::npos) << elsewhere.err;
  unsetenv("TALLIMOR_HANDHELD");
  const ProcessResult none = HotSync({"sync"});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("$TALLIMOR_HANDHELD"), std::string::npos) << none.err;
}

TEST_F(HotSyncCommand, NonRegularFilesAreRefusedNamingThemAndNeverWaitedOn) {
  MakeHandheld();
  ASSERT_EQ(Sync().status, 0);
  struct Case {
    std::string path;
    std::vector<std::string> command;
  };
  const std::vector<Case> cases = {
      {handheld_ + "/handheld.ini", {"sync", "--handheld", handheld_}},
      {handheld_ + "/TallimorDB.pdb", {"sync", "--handheld", handheld_}},
      {root_ + "/users.ini", {"sync", "--handheld", handheld_}},
      {root_ + "/users.ini", {"users"}},
      {UserDirectory() + "/HotSync.log", {"sync", "--handheld", handheld_}},
      {UserDirectory() + "/HotSync.log", {"log"}},
  };
  for (const Case& c : cases) {
    fs::rename(c.path, c.path + ".kept");
    ASSERT_EQ(mkfifo(c.path.c_str(), 0600), 0);
    std::vector<std::string> arguments = {"60", TALLIMOR_HOTSYNC_PROGRAM, "--root", root_};
    arguments.insert(arguments.end(), c.command.begin(), c.command.end());
    const ProcessResult run = Subprocess::Run("/usr/bin/timeout", arguments);
    EXPECT_EQ(run.status, 1) << c.path << " " << c.command[0] << ": " << run.err;
    EXPECT_NE(run.err.find(fs::path(c.path).filename().string()), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << c.path << ": " << run.err;
    fs::remove(c.path);
    fs::rename(c.path + ".kept", c.path);
  }
  // Nothing was lost on the way: the next HotSync goes through.
  const ProcessResult after = Sync();
  EXPECT_EQ(after.status, 0) << after.err;
}

}  // namespace
}  // namespace tallimor
