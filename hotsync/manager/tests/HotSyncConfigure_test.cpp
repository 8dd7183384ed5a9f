// `hotsync configure` in this process, with a Qt application on the offscreen platform
// standing in for the user's display: the conduit's dialog is answered from a timer,
// and the chosen action must land in the users file as the default or for the next
// HotSync only.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "conduit/tests/ActionDialogDriver.h"
#include "hotsync/manager/HotSyncCommands.h"
#include "hotsync/users/UserData.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;

class HotSyncCommandConfigure : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tallimor-configure-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    setenv("TALLIMOR_CONDUIT", TALLIMOR_CONDUIT_LIBRARY, 1);
    HotSyncUser user;
    ASSERT_EQ(UserData(root_).AddUser("Taro Yamada", 0, &user), kOk);
  }
  void TearDown() override { fs::remove_all(root_); }

  // Runs `hotsync --root ROOT configure` while the dialog is answered as given.
  int Configure(const QString& action, bool asDefault, bool ok) {
    testing::AnswerActionDialog(action, asDefault, ok, &seen_);
    out_.str("");
    err_.str("");
    return RunHotSyncProgram({"--root", root_, "configure"}, out_, err_);
  }
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
  const char* saved = getenv("QT_QPA_PLATFORM");
  const std::string platform = saved == nullptr ? "" : saved;
  for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(variable);
  std::ostringstream out, err;
  EXPECT_EQ(RunHotSyncProgram({"--root", root_, "configure"}, out, err), 1);
  EXPECT_NE(err.str().find("needs a display"), std::string::npos);
  setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
}

}  // namespace
}  // namespace tallimor
