// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// `hotsync configure` in this process, with a Qt application on the offscreen platform
// standing in for the user's display: the conduit's dialog is answered from a timer,
// and the chosen action must land in the users file as the default or for the next
// HotSync only. The program asks for a display that answers before it shows the
// dialog, so the test lends it one: a socket where a local X server would listen,
// named by DISPLAY.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "conduit/tests/ActionDialogDriver.h"
#include "hotsync/manager/HotSyncCommands.h"
#include "hotsync/users/UserData.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;

// Listens where the X server of DISPLAY ":N" listens (the abstract socket
// "/tmp/.X11-unix/XN"), for as long as it lives, and names it in the environment.
class LentDisplay {
 public:
  LentDisplay() {
    for (int n = 4000 + getpid() % 1000; fd_ < 0 && n < 6000; n += 7) {
      const std::string name = "/tmp/.X11-unix/X" + std::to_string(n);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      name.copy(address.sun_path + 1, sizeof address.sun_path - 2);
      const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
      if (bind(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 && listen(fd, 4) == 0) {
        fd_ = fd;
        display_ = ":" + std::to_string(n);
      } else {
        close(fd);
      }
    }
    setenv("DISPLAY", display_.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);  // read by the program only: the Qt application exists
    unsetenv("WAYLAND_DISPLAY");
  }
  ~LentDisplay() {
    if (fd_ >= 0) close(fd_);
    unsetenv("DISPLAY");
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
  std::string display_;
};

class HotSyncCommandConfigure : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(display_.ok());
    root_ = temp_.path();
    setenv("TALLIMOR_CONDUIT", TALLIMOR_CONDUIT_LIBRARY, 1);
    HotSyncUser user;
    ASSERT_EQ(UserData(root_).AddUser("Taro Yamada", 0, &user), kOk);
  }

  // Runs `hotsync --root ROOT configure` while the dialog is answered as given.
  int Configure(const QString& action, bool asDefault, bool ok) {
    testing::AnswerActionDialog(action, asDefault, ok, &seen_);
    out_.str("");
    err_.str("");
    return RunHotSyncProgram({"--root", root_, "configure"}, out_, err_);
  }
  LentDisplay display_;
  tallimor::testing::TempDir temp_{"configure"};  // removed after the test
  std::string root_;
  testing::ActionDialogSeen seen_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(HotSyncCommandConfigure, KeepsTheActionForTheNextHotSyncOrAsTheDefault) {
  UserData users(root_);
  ASSERT_EQ(Configure("&Palm organizer overwrites Desktop", false, true), 0) << err_.str();
  EXPECT_EQ(seen_.checked.toStdString(), "&Synchronize the files");  // nothing chosen yet: fast
  EXPECT_TRUE(seen_.labels.contains("Synchronize the files."));
  EXPECT_EQ(out_.str(), "HotSync action for \"Taro Yamada\": handheld overwrites desktop "
                        "(the next HotSync only)\n");
  std::int32_t next = 0, fallback = 0;
  ASSERT_EQ(users.ReadValue(1, "TallimorC", "NextSyncType", &next, -100), kOk);
  ASSERT_EQ(users.ReadValue(1, "TallimorC", "SyncType", &fallback, -100), kOk);
  EXPECT_EQ(next, 2);
  EXPECT_EQ(fallback, -100);  // the default is still unset

  // The dialog now starts from the next HotSync's action; a default replaces it.
  ASSERT_EQ(Configure("&Desktop overwrites Palm organizer", true, true), 0) << err_.str();
  EXPECT_EQ(seen_.checked.toStdString(), "&Palm organizer overwrites Desktop");
  EXPECT_TRUE(seen_.labels.contains("Synchronize the files."));              // the default
  EXPECT_TRUE(seen_.labels.contains("Palm organizer overwrites Desktop."));  // the next
  EXPECT_EQ(out_.str(), "HotSync action for \"Taro Yamada\": desktop overwrites handheld "
                        "(the default from now on)\n");
  ASSERT_EQ(users.ReadValue(1, "TallimorC", "NextSyncType", &next, -100), kOk);
  ASSERT_EQ(users.ReadValue(1, "TallimorC", "SyncType", &fallback, -100), kOk);
  EXPECT_EQ(next, -1);
  EXPECT_EQ(fallback, 3);

  // Cancel changes nothing.
  ASSERT_EQ(Configure("Do &nothing", true, false), 0);
  EXPECT_EQ(seen_.checked.toStdString(), "&Desktop overwrites Palm organizer");
  EXPECT_EQ(out_.str(), "No change.\n");
  ASSERT_EQ(users.ReadValue(1, "TallimorC", "SyncType", &fallback, -100), kOk);
  EXPECT_EQ(fallback, 3);
}

TEST_F(HotSyncCommandConfigure, SeveralUsersNeedToBeTold) {
  UserData users(root_);
  HotSyncUser other;
  ASSERT_EQ(users.AddUser("Hanako", 0, &other), kOk);
  std::ostringstream out, err;
  EXPECT_EQ(RunHotSyncProgram({"--root", root_, "configure"}, out, err), 1);
  EXPECT_NE(err.str().find("choose one with --user NAME"), std::string::npos);

  testing::ActionDialogSeen seen;
  testing::AnswerActionDialog("Do &nothing", false, true, &seen);
  EXPECT_EQ(RunHotSyncProgram({"--root", root_, "configure", "--user", "Hanako"}, out, err), 0)
      << err.str();
  EXPECT_TRUE(seen.shown);
  std::int32_t next = 0;
  ASSERT_EQ(users.ReadValue(other.id, "TallimorC", "NextSyncType", &next, -100), kOk);
  EXPECT_EQ(next, 6);
}

TEST_F(HotSyncCommandConfigure, WithoutDisplayTheDialogIsNotTried) {
  // No display at all, a platform that shows no window, a display nobody serves: each
  // is refused before the dialog is loaded, where it would wait for ever or abort.
  const std::vector<std::pair<std::string, std::string>> environments = {
      {"", ""}, {"offscreen", ""}, {"minimal", ""}, {"offscreen", ":0"}, {"", ":6999"}, {"xcb", "unix:6999.0"}};
  for (const auto& [platform, display] : environments) {
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(variable);
    if (!platform.empty()) setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);
    testing::ActionDialogSeen seen;
    testing::AnswerActionDialog("Do &nothing", true, true, &seen);
    std::ostringstream out, err;
    EXPECT_EQ(RunHotSyncProgram({"--root", root_, "configure"}, out, err), 1) << platform << " " << display;
    EXPECT_NE(err.str().find("needs a display"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("configure --action ACTION"), std::string::npos) << err.str();
    QApplication::processEvents();
    EXPECT_FALSE(seen.shown) << platform << " " << display;
  }
  std::int32_t fallback = 0;
  ASSERT_EQ(UserData(root_).ReadValue(1, "TallimorC", "SyncType", &fallback, -100), kOk);
  EXPECT_EQ(fallback, -100);
}

}  // namespace
}  // namespace tallimor
