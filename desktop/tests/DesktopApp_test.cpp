// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The application object: the single instance (in process and with the real program),
// the profile's remembered user, the per-user "LastCategory", the open-dialog count, the
// data path, the user switch and exit when the current data cannot be written, and the
// About box.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <chrono>
#include <thread>

#include "desktop/CAboutDlg.h"
#include "desktop/CMainFrame.h"
#include "desktop/CProfile.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/ProfileLocation.h"
#include "desktop/CWindowMessageEvent.h"
#include "protect/StoredMemo.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/resources/StringTable.h"
#include "desktop/tests/GuiTestSupport.h"
#include "notifier/HotSyncNotification.h"
#include "notifier/WindowMessageClient.h"
#include "notifier/WindowMessageResult.h"

extern char** environ;

namespace tallimor::test {
namespace {

class DesktopAppTest : public DesktopSandbox {
 protected:
  void SetUp() override {
    DesktopSandbox::SetUp();
    RecordFileFixture fixture;
    fixture.password = "pw";
    fixture.memos = {{1, 0, "kept"}};
    taro_ = AddUser("Taro", 7001, &fixture);
    RecordFileFixture other;
    other.memos = {{2, 0, "Hanako's"}};
    hanako_ = AddUser("Hanako", 7002, &other);
  }

  // Asks the running instance over the socket from another thread, as a second start does.
  std::int64_t QueryInstance() {
    std::atomic<bool> done{false};
    std::int64_t answer = -1;
    std::thread asker([&] {
      SendWindowMessage(kDesktopWindowClass, static_cast<std::uint32_t>(kWmInstanceQuery), 0, 0,
                        &answer, 3000);
      done = true;
    });
    SpinUntil([&] { return done.load(); });
    asker.join();
    return answer;
  }

  std::int32_t taro_ = 0, hanako_ = 0;
};

TEST_F(DesktopAppTest, ASecondStartInTheSameSessionGivesWay) {
  auto first = StartApp();
  auto second = MakeApp();
  std::atomic<bool> done{false};
  Result result = kOk;
  std::thread starter([&] {
    result = second->Start();
    done = true;
  });
  EXPECT_TRUE(SpinUntil([&] { return done.load(); }));
  starter.join();
  EXPECT_EQ(result, kWmAlreadyRunning);
  EXPECT_EQ(second->MainFrame(), nullptr);
  // The first answers "not logged in" until a user is open, then comes forward.
  EXPECT_EQ(QueryInstance(), 0);
  bool success = false;
  first->OpenUserData(hanako_, "", &success);
  ASSERT_TRUE(success);
  EXPECT_TRUE(first->IsLoggedIn());
  EXPECT_EQ(QueryInstance(), 1);
  DrainEvents();
}

TEST_F(DesktopAppTest, RememberedUserComesFromTheProfile) {
  auto app = MakeApp();
  EXPECT_EQ(app->GetProfileUserId(), -1);
  CProfile profile(profile_);
  profile.WriteString("Settings", "UserID", "abc");
  EXPECT_EQ(app->GetProfileUserId(), 0);
  app->SetCurrentUser(-5);
  EXPECT_EQ(app->CurrentUserId(), -5);
  EXPECT_EQ(profile.GetString("Settings", "UserID"), "-5");
}

TEST_F(DesktopAppTest, LastCategoryIsKeptPerUser) {
  auto app = MakeApp();
  EXPECT_EQ(app->GetLastCategory(), -1);  // no current user
  app->SetCurrentUser(taro_);
  EXPECT_EQ(app->GetLastCategory(), -1);
  app->SetLastCategory(3);
  EXPECT_EQ(app->GetLastCategory(), 3);
  app->SetCurrentUser(hanako_);
  EXPECT_EQ(app->GetLastCategory(), -1);
  app->SetCurrentUser(taro_);
  EXPECT_EQ(MakeApp()->GetLastCategory(), -1);  // a new app has no current user yet
  EXPECT_EQ(app->GetLastCategory(), 3);
}

TEST_F(DesktopAppTest, TheDialogCountNeverGoesBelowZero) {
  auto app = MakeApp();
  app->DialogOpened(1);
  EXPECT_TRUE(app->NoDialogOpen());
  app->DialogOpened(0);
  app->DialogOpened(0);
  EXPECT_EQ(app->OpenDialogCount(), 2);
  app->DialogOpened(7);
  app->DialogOpened(1);
  app->DialogOpened(1);
  EXPECT_EQ(app->OpenDialogCount(), 0);
}

// The delete question waits with the list rows it is about to delete: a HotSync that
// reloaded the file meanwhile would have them delete other memos.
TEST_F(DesktopAppTest, AMessageBoxCountsAsAnOpenDialogUntilItIsAnswered) {
  auto app = StartLoggedIn(taro_, "pw");
  std::int64_t startQuery = -1;
  int openWhileAsked = -1;
  app->SetMessageHook([&](int, int, unsigned, const QString&) {
    openWhileAsked = app->OpenDialogCount();
    startQuery = app->MainFrame()->OnHotSyncNotify(kHotSyncStartQuery);
    return kIdOk;
  });
  EXPECT_EQ(app->ShowMessage(kIdsDeleteMemoConfirm, kIdsDeleteMemoCaption, kMbOkCancel | kMbIconQuestion),
            kIdOk);
  EXPECT_EQ(openWhileAsked, 1);
  EXPECT_EQ(startQuery, 1);  // refused
  EXPECT_TRUE(app->NoDialogOpen());
  app->SetMessageHook([](int, int, unsigned, const QString&) { return kIdOk; });
  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncStartQuery), 0);
}

TEST_F(DesktopAppTest, DataPathIsRootUserDirectoryAndTheFixedFile) {
  auto app = MakeApp();
  std::string path;
  EXPECT_EQ(app->GetUserDataPath(taro_, &path), kOk);
  EXPECT_EQ(path, DataPath(taro_));
  EXPECT_EQ(path.substr(0, root_.size()), root_);
  EXPECT_EQ(path.substr(path.size() - 25), "/Tallimor-Vexa/record.dat");
  EXPECT_NE(app->GetUserDataPath(999, &path), kOk);
  EXPECT_EQ(path, "");
}

TEST_F(DesktopAppTest, ASwitchThatCannotWriteTheCurrentDataAsksFirst) {
  auto app = StartLoggedIn(taro_, "pw");
  CPRecord* record = app->GetStore()->RecordAt(0);
  ASSERT_EQ(StoreMemo(*record, "unsaved edit"), kOk);
  app->GetStore()->MarkModified(0, true);
  ASSERT_EQ(std::remove(DataPath(taro_).c_str()), 0);

  answer_ = kIdNo;
  bool success = true;
  EXPECT_NE(app->OpenUserData(hanako_, "", &success), kOk);
  EXPECT_FALSE(success);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 173);
  EXPECT_EQ(messages_[0].flags, kMbYesNo | kMbIconExclamation | kMbDefButton2);
  EXPECT_EQ(app->CurrentUserId(), taro_);
  EXPECT_EQ(StoredMemoText(*app->GetStore()->RecordAt(0)), "unsaved edit");

  answer_ = kIdYes;
  EXPECT_EQ(app->OpenUserData(hanako_, "", &success), kOk);
  EXPECT_TRUE(success);
  EXPECT_EQ(app->CurrentUserId(), hanako_);
  EXPECT_EQ(StoredMemoText(*app->GetStore()->RecordAt(0)), "Hanako's");
}

TEST_F(DesktopAppTest, ASwitchWritesTheCurrentDataBack) {
  auto app = StartLoggedIn(taro_, "pw");
  ASSERT_EQ(StoreMemo(*app->GetStore()->RecordAt(0), "written on switch"), kOk);
  app->GetStore()->MarkModified(0, true);
  bool success = false;
  ASSERT_EQ(app->OpenUserData(hanako_, "", &success), kOk);
  ASSERT_TRUE(success);
  CProtectedRecordFile disk(DataPath(taro_), "pw");
  ASSERT_EQ(disk.Load(), kOk);
  EXPECT_EQ(StoredMemoText(*disk.RecordAt(0)), "written on switch");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(DesktopAppTest, ExitAsksBeforeGivingUnsavedEditsUp) {
  auto app = StartLoggedIn(taro_, "pw");
  ASSERT_EQ(StoreMemo(*app->GetStore()->RecordAt(0), "exit edit"), kOk);
  app->GetStore()->MarkModified(0, true);
  ASSERT_EQ(std::remove(DataPath(taro_).c_str()), 0);
  answer_ = kIdNo;
  EXPECT_FALSE(app->MainFrame()->close());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 172);
  EXPECT_EQ(StoredMemoText(*app->GetStore()->RecordAt(0)), "exit edit");
  answer_ = kIdYes;
  EXPECT_TRUE(app->MainFrame()->close());
}

// A HotSync user whose data has never been synchronised has no record.dat: the memos
// typed meanwhile go into a file the program makes, enciphered with the password typed
// (and confirmed), and they are there when the program is started again.
TEST_F(DesktopAppTest, MemosTypedBeforeTheFirstHotSyncAreSavedToANewFile) {
  const std::int32_t jiro = AddUser("Jiro", 7003, nullptr);
  {
    typed_ = {QStringLiteral("jiro-pw")};
    auto app = StartLoggedIn(jiro, "jiro-pw");
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].textId, kIdsConfirmNewPassword);
    CPRecord* added = app->GetStore()->AddEmptyRecord();
    ASSERT_NE(added, nullptr);
    ASSERT_EQ(StoreMemo(*added, "before the first HotSync"), kOk);
    EXPECT_TRUE(app->MainFrame()->OnCommand(kCmdSaveAll));
    EXPECT_TRUE(messages_.empty());  // no save failure, and no failed read-back
    ASSERT_EQ(app->GetStore()->RecordCount(), 1);
    EXPECT_EQ(StoredMemoText(*app->GetStore()->RecordAt(0)), "before the first HotSync");
    EXPECT_FALSE(app->GetStore()->IsDirty());
    ASSERT_EQ(StoreMemo(*app->GetStore()->AddEmptyRecord(), "and one more at exit"), kOk);
    EXPECT_TRUE(app->MainFrame()->close());
    EXPECT_TRUE(messages_.empty());
  }
  CProtectedRecordFile disk(DataPath(jiro), "jiro-pw");
  EXPECT_EQ(disk.Load(), kOk);
  EXPECT_EQ(disk.HasPassword(), 1);
  ASSERT_EQ(disk.RecordCount(), 2);
  EXPECT_EQ(StoredMemoText(*disk.RecordAt(0)), "before the first HotSync");
  EXPECT_EQ(StoredMemoText(*disk.RecordAt(1)), "and one more at exit");
  EXPECT_TRUE(disk.RecordAt(1)->IsNew());
}

TEST_F(DesktopAppTest, MessageBoxButtonsAreLabelledInJapanese) {
  auto app = StartLoggedIn(taro_, "pw");
  app->SetMessageHook(nullptr);  // the real box
  QStringList labels;
  QTimer answer;
  answer.setInterval(10);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    answer.stop();
    for (QAbstractButton* button : box->buttons()) labels << button->text();
    box->button(QMessageBox::No) != nullptr ? box->button(QMessageBox::No)->click()
                                            : box->button(QMessageBox::Cancel)->click();
  });
  answer.start();
  EXPECT_EQ(app->ShowMessage(kIdsDeleteMemoConfirm, kIdsDeleteMemoCaption, kMbOkCancel | kMbIconQuestion),
            kIdCancel);
  labels.sort();
  EXPECT_EQ(labels, (QStringList{QStringLiteral("OK"), QStringLiteral("キャンセル")}));
  labels.clear();
  answer.start();
  EXPECT_EQ(app->ShowMessage(kIdsDeleteMemoConfirm, kIdsDeleteMemoCaption, kMbYesNo | kMbIconQuestion), kIdNo);
  labels.sort();
  EXPECT_EQ(labels, (QStringList{QStringLiteral("いいえ(&N)"), QStringLiteral("はい(&Y)")}));
}

TEST_F(DesktopAppTest, AboutShowsTheBuildVersion) {
  CAboutDlg about(nullptr);
  EXPECT_EQ(about.windowTitle(), QStringLiteral("Tallimor デスクトップについて"));
  EXPECT_EQ(about.VersionLine()->text(), QStringLiteral("Tallimor デスクトップ v.") + CDesktopApp::VersionText());
  EXPECT_TRUE(about.VersionLine()->isReadOnly());
  EXPECT_FALSE(CDesktopApp::VersionText().isEmpty());
}

}  // namespace
}  // namespace tallimor::test

namespace tallimor::test {
namespace {

TEST_F(DesktopAppTest, TheProfileStandsBesideTheProgramOrInTheConfigurationHome) {
  std::string programDir = dir_ + "/bin";
  ::mkdir(programDir.c_str(), 0700);
  EXPECT_EQ(LocateProfile(programDir, "/xdg", "/home/u"), "/xdg/Tallimor/Tallimor.ini");
  EXPECT_EQ(LocateProfile(programDir, nullptr, "/home/u"), "/home/u/.config/Tallimor/Tallimor.ini");
  EXPECT_EQ(LocateProfile(programDir, "relative", "/home/u/"), "/home/u/.config/Tallimor/Tallimor.ini");
  EXPECT_EQ(LocateProfile(programDir, nullptr, nullptr), "");
  // A portable copy beside the program wins.
  std::ofstream(programDir + "/Tallimor.ini") << "[Settings]\n";
  EXPECT_EQ(LocateProfile(programDir + "/", "/xdg", "/home/u"), programDir + "/Tallimor.ini");
}

}  // namespace
}  // namespace tallimor::test
