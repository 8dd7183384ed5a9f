// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The real program in processes of its own: a second start ends silently, an instance
// killed outright does not block the next start, and the notifier library's HS_Notify,
// called from this process, reaches it for every event type, with its user dialog open
// and, under a virtual X server where xdotool types the password, after the login, when
// a program of another session is also kept off the user it has open.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "desktop/CWindowMessageEvent.h"
#include "desktop/UserDataLock.h"
#include "desktop/tests/GuiTestSupport.h"
#include "notifier/HotSyncNotification.h"
#include "notifier/WindowMessageClient.h"
#include "tests/support/Subprocess.h"

namespace tallimor::test {
namespace {

using Clock = std::chrono::steady_clock;

// A child process on the test's own streams, killed if the test ends before it does.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env)
      : process_(testing::Subprocess::Start(argv[0], {argv.begin() + 1, argv.end()}, Options(env))) {}

  bool Running() const { return process_.started(); }
  pid_t Pid() const { return process_.pid(); }

  // The exit status, or -1 when it has not ended within `ms`.
  int Wait(int ms) { return process_.WaitFor(std::chrono::milliseconds(ms)).value_or(-1); }

  void Kill(int signal) { process_.Kill(signal); }

 private:
  static testing::SubprocessOptions Options(const std::map<std::string, std::string>& env) {
    testing::SubprocessOptions options;
    options.inheritStreams = true;
    for (const auto& [name, value] : env) options.environment.push_back({name, value});
    return options;
  }

  testing::Subprocess process_;
};

class DesktopProgramRun : public DesktopSandbox {
 protected:
  void SetUp() override {
    DesktopSandbox::SetUp();
    RecordFileFixture fixture;
    fixture.password = "tiger";
    fixture.hint = "cat";
    fixture.memos = {{1, 0, "memo"}};
    AddUser("Taro", 4242, &fixture);
  }

  std::map<std::string, std::string> Environment(const std::string& platform) const {
    return {{"XDG_RUNTIME_DIR", dir_ + "/run"},
            {"XDG_CONFIG_HOME", dir_ + "/config"},
            {"QT_QPA_PLATFORM", platform},
            {"ASAN_OPTIONS", "detect_leaks=0"}};
  }
  std::unique_ptr<Child> StartProgram(const std::string& platform = "offscreen",
                                      const std::map<std::string, std::string>& extra = {}) {
    auto env = Environment(platform);
    for (const auto& [name, value] : extra) env[name] = value;
    return std::make_unique<Child>(std::vector<std::string>{TALLIMOR_PROGRAM, "--root", root_}, env);
  }

  // Sends one message to the running program; -1 when nothing answers.
  static std::int64_t Send(int message, std::uint64_t wParam) {
    std::int64_t answer = -1;
    if (SendWindowMessage(kDesktopWindowClass, static_cast<std::uint32_t>(message), wParam, 0,
                          &answer, 5000) != kOk)
      return -1;
    return answer;
  }
  // Waits until the program answers the probe.
  static bool WaitForProgram(int ms = 30000) {
    auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < deadline) {
      if (Send(static_cast<int>(kHotSyncNotifyMessage), kHotSyncProbe) == 5120) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return false;
  }

  // The notifier library as the HotSync manager loads it.
  using NotifyFunction = std::int32_t (*)(std::int32_t, std::uint32_t);
  NotifyFunction LoadNotifier() {
    library_ = ::dlopen(TALLIMOR_NOTIFIER_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (library_ == nullptr) return nullptr;
    return reinterpret_cast<NotifyFunction>(::dlsym(library_, "HS_Notify"));
  }
  void TearDown() override {
    if (library_ != nullptr) ::dlclose(library_);
    DesktopSandbox::TearDown();
  }

  void* library_ = nullptr;
};

// Runs a command and waits for it; its exit status.
int RunCommand(const std::vector<std::string>& argv, const std::map<std::string, std::string>& env,
        int ms = 30000) {
  Child child(argv, env);
  return child.Wait(ms);
}

TEST_F(DesktopProgramRun, HelpAndBadArguments) {
  Child help({TALLIMOR_PROGRAM, "--help"}, Environment("offscreen"));
  EXPECT_EQ(help.Wait(20000), 0);
  Child bad({TALLIMOR_PROGRAM, "--frobnicate"}, Environment("offscreen"));
  EXPECT_EQ(bad.Wait(20000), 2);
  Child missing({TALLIMOR_PROGRAM, "--root"}, Environment("offscreen"));
  EXPECT_EQ(missing.Wait(20000), 2);

  // Without a display: help, version and a mistyped option still answer, and a start
  // says why it cannot open a window instead of aborting inside Qt.
  std::map<std::string, std::string> headless = Environment("offscreen");
  headless["QT_QPA_PLATFORM"] = "";
  headless["DISPLAY"] = "";
  headless["WAYLAND_DISPLAY"] = "";
  EXPECT_EQ(RunCommand({TALLIMOR_PROGRAM, "--version"}, headless), 0);
  EXPECT_EQ(RunCommand({TALLIMOR_PROGRAM, "-h"}, headless), 0);
  EXPECT_EQ(RunCommand({TALLIMOR_PROGRAM, "--frobnicate"}, headless), 2);
  EXPECT_EQ(RunCommand({TALLIMOR_PROGRAM, "--root", root_}, headless), 1);
}

TEST_F(DesktopProgramRun, ASecondStartEndsSilentlyAndAKilledOneBlocksNothing) {
  auto first = StartProgram();
  ASSERT_TRUE(WaitForProgram());
  // Still at its user dialog: not logged in.
  EXPECT_EQ(Send(kWmInstanceQuery, 0), 0);

  auto second = StartProgram();
  EXPECT_EQ(second->Wait(30000), 0);
  EXPECT_EQ(Send(static_cast<int>(kHotSyncNotifyMessage), kHotSyncProbe), 5120);

  // Killed outright, the first leaves its socket file and its lock file behind.
  first->Kill(SIGKILL);
  struct stat st {};
  EXPECT_EQ(::stat((dir_ + "/run/Tallimor-Vexa").c_str(), &st), 0);
  EXPECT_EQ(Send(static_cast<int>(kHotSyncNotifyMessage), kHotSyncProbe), -1);
  auto third = StartProgram();
  EXPECT_TRUE(WaitForProgram());
  EXPECT_EQ(third->Wait(500), -1);  // still running
}

TEST_F(DesktopProgramRun, TheNotifierReachesTheProgramWhileItsUserDialogIsOpen) {
  auto notify = LoadNotifier();
  ASSERT_NE(notify, nullptr) << ::dlerror();
  // Not running: every event type proceeds.
  for (std::int32_t event = 0; event <= 4; ++event) EXPECT_EQ(notify(event, 0), 1) << event;

  auto program = StartProgram();
  ASSERT_TRUE(WaitForProgram());
  EXPECT_EQ(notify(0, 0), 0);  // the user dialog is open: refused
  EXPECT_EQ(notify(1, 0), 0);  // and a start under it is objected to
  EXPECT_EQ(notify(3, 0), 1);
  EXPECT_EQ(notify(4, 0), 1);
  EXPECT_EQ(notify(9, 0), 1);
  EXPECT_EQ(program->Wait(200), -1);
}

TEST_F(DesktopProgramRun, AfterALoginUnderXTheNotifierRunsEveryEventThroughTheProgram) {
  if (::access("/usr/bin/Xvfb", X_OK) != 0 || ::access("/usr/bin/xdotool", X_OK) != 0)
    GTEST_SKIP() << "needs Xvfb and xdotool";
  auto notify = LoadNotifier();
  ASSERT_NE(notify, nullptr) << ::dlerror();

  // A virtual X server on a display it picks itself.
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  Child xvfb({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
              "1024x768x24", "-nolisten", "tcp"},
             {});
  ::close(fds[1]);
  // The server writes its display number and a newline once it is ready.
  std::string number;
  char c = 0;
  while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  ASSERT_FALSE(number.empty());
  std::string display = ":" + number;
  std::map<std::string, std::string> x = {{"DISPLAY", display}};

  auto program = StartProgram("xcb", x);
  ASSERT_TRUE(WaitForProgram());
  ASSERT_EQ(RunCommand({"/usr/bin/xdotool", "search", "--sync", "--name", "^ユーザ$", "windowfocus",
                 "--sync", "type", "--delay", "30", "tiger"},
                x),
            0);
  ASSERT_EQ(RunCommand({"/usr/bin/xdotool", "key", "Return"}, x), 0);
  auto deadline = Clock::now() + std::chrono::seconds(20);
  while (Send(kWmInstanceQuery, 0) != 1 && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(Send(kWmInstanceQuery, 0), 1) << "the password did not open the data";

  // A program of another session (its own runtime directory, so the single-instance
  // lock cannot see the first) is refused the user that the first has open.
  ::mkdir((dir_ + "/run2").c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", (dir_ + "/run2").c_str(), 1);
  {
    auto second = StartApp();
    bool success = true;
    EXPECT_EQ(second->OpenUserData(4242, "tiger", &success), kErrUserOpenElsewhere);
    EXPECT_FALSE(success);
    EXPECT_EQ(second->GetStore(), nullptr);
    pid_t holder = 0;
    EXPECT_EQ(UserDataLock().Acquire(DataPath(4242), &holder), kErrUserOpenElsewhere);
    EXPECT_EQ(holder, program->Pid());
  }
  setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);

  // A whole HotSync, then one that ends abnormally, then event 4 and an unknown one.
  std::vector<std::uint8_t> before = ReadFile(DataPath(4242));
  EXPECT_EQ(notify(0, 0), 1);
  EXPECT_EQ(notify(1, 7), 1);
  EXPECT_EQ(ReadFile(DataPath(4242)), before);  // nothing changed: nothing written
  EXPECT_EQ(notify(2, 7), 1);
  EXPECT_EQ(notify(0, 0), 1);
  EXPECT_EQ(notify(1, 0), 1);
  EXPECT_EQ(notify(3, 0), 1);
  EXPECT_EQ(notify(4, 0), 1);
  EXPECT_EQ(notify(9, 0), 1);

  // The user dialog open again (Tools > User...): the start query is refused.
  ASSERT_EQ(RunCommand({"/usr/bin/xdotool", "search", "--name", "^Tallimor デスクトップ$", "windowfocus",
                 "--sync", "key", "alt+t", "u"},
                x),
            0);
  deadline = Clock::now() + std::chrono::seconds(10);
  std::int32_t answer = 1;
  while ((answer = notify(0, 0)) != 0 && Clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(answer, 0);
  EXPECT_EQ(program->Wait(200), -1);
}

}  // namespace
}  // namespace tallimor::test
