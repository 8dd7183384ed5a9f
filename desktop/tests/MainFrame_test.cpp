// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The main frame: every HotSync notification code with and without a dialog open and
// before any user is logged in, the socket's synchronous answer, Save All and Restore
// (also when the file cannot be written), the enabling rules, the accelerators, and the
// window placement and bar state kept in the profile.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTest>
#include <fstream>
#include <QToolBar>
#include <atomic>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#include <thread>

#include "desktop/CFrameClientWnd.h"
#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "desktop/CProfile.h"
#include "desktop/HotSyncRunWatch.h"
#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/resources/StringTable.h"
#include "desktop/tests/GuiTestSupport.h"
#include "notifier/HotSyncNotification.h"
#include "notifier/WindowMessageClient.h"

namespace tallimor::test {
namespace {

constexpr char kPassword[] = "secret";

class MainFrameTest : public DesktopSandbox {
 protected:
  void SetUp() override {
    DesktopSandbox::SetUp();
    RecordFileFixture fixture;
    fixture.categories = {"Unfiled", "Business"};
    fixture.password = kPassword;
    fixture.hint = "usual";
    fixture.memos = {{101, 0, "first memo\nline two"}, {102, 1, "second"}};
    user_ = AddUser("Taro", 3001, &fixture);
  }

  // Edits the first memo in memory, as the views do, without saving.
  static void EditFirstMemo(CDesktopApp& app, const std::string& text) {
    CPRecord* record = app.GetStore()->RecordAt(0);
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(StoreMemo(*record, text), kOk);
    ASSERT_EQ(app.GetStore()->MarkModified(0, true), kOk);
  }
  static std::string FirstMemo(CDesktopApp& app) {
    return std::string(StoredMemoText(*app.GetStore()->RecordAt(0)));
  }
  // The first memo as it now lies in the file, deciphered by a store of its own.
  std::string FirstMemoOnDisk() const {
    CProtectedRecordFile disk(DataPath(user_), kPassword);
    if (disk.Load() != kOk) return "<unreadable>";
    return std::string(StoredMemoText(*disk.RecordAt(0)));
  }
  static QString Text(int id) { return QString::fromUtf8(LoadString(id)); }

  std::int32_t user_ = 0;
};

TEST_F(MainFrameTest, ProbeAndStartQueryWithoutDialog) {
  auto app = StartLoggedIn(user_, kPassword);
  CMainFrame* frame = app->MainFrame();
  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncProbe), 5120);
  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncStartQuery), 0);
  DrainEvents();
  EXPECT_TRUE(messages_.empty());
  // Codes that carry nothing for the program.
  for (std::uint64_t code : {kHotSyncEvent4, std::uint64_t{4}, std::uint64_t{8}, std::uint64_t{99}})
    EXPECT_EQ(frame->OnHotSyncNotify(code), 0) << code;
  EXPECT_TRUE(frame->isEnabled());
}

TEST_F(MainFrameTest, StartQueryRefusedWhileADialogIsOpenAndExplainedAfterTheAnswer) {
  auto app = StartLoggedIn(user_, kPassword);
  app->DialogOpened(0);
  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncStartQuery), 1);
  // The message comes only once the answer is on its way, from the posted code 7.
  EXPECT_TRUE(messages_.empty());
  DrainEvents();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 135);
  EXPECT_EQ(messages_[0].captionId, 128);
  EXPECT_EQ(messages_[0].flags, kMbIconExclamation);
  EXPECT_TRUE(app->MainFrame()->isEnabled());
}

TEST_F(MainFrameTest, StartQueryRefusedWhileAPopupIsOpenAndExplainedOnceItCloses) {
  auto app = StartLoggedIn(user_, kPassword);
  QMenu menu(app->MainFrame());
  menu.addAction(QStringLiteral("entry"));
  menu.popup(app->MainFrame()->mapToGlobal(QPoint(20, 20)));
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 3000));
  EXPECT_FALSE(app->NoDialogOpen());
  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncStartQuery), 1);
  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncStarted), 1);  // agreed earlier, objected now
  DrainEvents();
  EXPECT_TRUE(messages_.empty()) << "a box under an open pop-up";
  menu.close();
  ASSERT_TRUE(QTest::qWaitFor([this] { return messages_.size() == 2; }, 3000));
  EXPECT_EQ(messages_[0].textId, 135);
  EXPECT_TRUE(app->NoDialogOpen());
  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncStartQuery), 0);
}

TEST_F(MainFrameTest, AHotSyncThatDiesWithoutAnEndCodeEndsAsAnAbnormalEnd) {
  auto app = StartLoggedIn(user_, kPassword);
  CMainFrame* frame = app->MainFrame();
  const std::string lockPath = HotSyncRunWatch::LockPathFor(DataPath(user_));
  // The HotSync's lock, held on a descriptor of its own as another process holds it.
  const int held = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  ASSERT_EQ(frame->OnHotSyncNotify(kHotSyncStarted, user_), 0);
  ASSERT_TRUE(frame->HotSyncRunning());
  EXPECT_FALSE(frame->isEnabled());
  QTest::qWait(600);  // alive: nothing changes
  EXPECT_TRUE(frame->HotSyncRunning());
  EXPECT_FALSE(frame->isEnabled());

  ::close(held);  // the HotSync dies
  ASSERT_TRUE(QTest::qWaitFor([frame] { return !frame->HotSyncRunning(); }, 3000));
  EXPECT_TRUE(frame->isEnabled());
  EXPECT_EQ(frame->PaneText(kPaneMessage), Text(kIdsHotSyncFailed));
  EXPECT_TRUE(frame->close());
}

TEST_F(MainFrameTest, StartedWritesTheEditsAndEndedReloadsWhatTheConduitWrote) {
  auto app = StartLoggedIn(user_, kPassword);
  CMainFrame* frame = app->MainFrame();
  int reloads = frame->View()->ReloadCount();
  EditFirstMemo(*app, "edited on the desktop");

  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncStarted), 0);
  EXPECT_FALSE(frame->isEnabled());
  EXPECT_EQ(frame->PaneText(kPaneMessage), Text(130));
  EXPECT_TRUE(frame->HotSyncRunning());
  EXPECT_EQ(FirstMemoOnDisk(), "edited on the desktop");
  EXPECT_EQ(FirstMemo(*app), "edited on the desktop");  // read back: plain again
  EXPECT_FALSE(app->GetStore()->IsDirty());

  // The conduit rewrites the file meanwhile.
  RecordFileFixture synced;
  synced.password = kPassword;
  synced.memos = {{101, 0, "from the handheld"}, {102, 0, "second"}, {103, 0, "third"}};
  std::vector<std::uint8_t> bytes = BuildRecordFile(synced);
  std::ofstream(DataPath(user_), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncEndedNormally), 0);
  EXPECT_TRUE(frame->isEnabled());
  EXPECT_FALSE(frame->HotSyncRunning());
  EXPECT_EQ(frame->PaneText(kPaneMessage), Text(131));
  EXPECT_EQ(app->GetStore()->RecordCount(), 3);
  EXPECT_EQ(FirstMemo(*app), "from the handheld");
  DrainEvents();
  EXPECT_EQ(frame->View()->ReloadCount(), reloads + 1);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MainFrameTest, AbnormalEndEnablesOnlyWithoutADialogAndKeepsTheStore) {
  auto app = StartLoggedIn(user_, kPassword);
  CMainFrame* frame = app->MainFrame();
  int reloads = frame->View()->ReloadCount();
  ASSERT_EQ(frame->OnHotSyncNotify(kHotSyncStarted), 0);
  ASSERT_FALSE(frame->isEnabled());
  EditFirstMemo(*app, "not reloaded");  // stands for what the screen shows

  app->DialogOpened(0);
  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncEndedAbnormally), 0);
  EXPECT_EQ(frame->PaneText(kPaneMessage), Text(133));
  EXPECT_FALSE(frame->isEnabled());
  app->DialogOpened(1);

  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncEndedAbnormally), 0);
  EXPECT_TRUE(frame->isEnabled());
  EXPECT_EQ(FirstMemo(*app), "not reloaded");
  DrainEvents();
  EXPECT_EQ(frame->View()->ReloadCount(), reloads);
}

TEST_F(MainFrameTest, StartedBeforeLoginOnlyChangesTheStatusAndDisables) {
  auto app = StartApp();
  CMainFrame* frame = app->MainFrame();
  ASSERT_EQ(app->GetStore(), nullptr);
  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncStarted), 0);
  EXPECT_EQ(frame->PaneText(kPaneMessage), Text(130));
  EXPECT_FALSE(frame->isEnabled());
  EXPECT_EQ(app->GetStore(), nullptr);
  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncEndedNormally), 0);
  EXPECT_TRUE(frame->isEnabled());
  EXPECT_EQ(app->GetStore(), nullptr);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MainFrameTest, StartedUnderADialogIsObjectedToAndNothingIsWritten) {
  auto app = StartLoggedIn(user_, kPassword);
  CMainFrame* frame = app->MainFrame();
  EditFirstMemo(*app, "being edited");
  app->DialogOpened(0);  // opened after the start query was agreed to
  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncStarted), 1);
  EXPECT_TRUE(frame->isEnabled());
  EXPECT_FALSE(frame->HotSyncRunning());
  EXPECT_EQ(FirstMemoOnDisk(), "first memo\nline two");
  DrainEvents();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 135);
  app->DialogOpened(1);
  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncEndedAbnormally), 0);
  EXPECT_EQ(FirstMemo(*app), "being edited");
}

TEST_F(MainFrameTest, AFailedWriteAtHotSyncStartKeepsTheEditsAndObjects) {
  auto app = StartLoggedIn(user_, kPassword);
  CMainFrame* frame = app->MainFrame();
  EditFirstMemo(*app, "only in memory");
  ASSERT_EQ(std::remove(DataPath(user_).c_str()), 0);  // the file has gone

  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncStarted), 1);
  EXPECT_TRUE(frame->isEnabled());
  EXPECT_FALSE(frame->HotSyncRunning());
  // Still plain text in memory, and still to be written.
  EXPECT_EQ(FirstMemo(*app), "only in memory");
  EXPECT_TRUE(app->GetStore()->IsDirty());
  DrainEvents();
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 171);

  // Even if the HotSync ran anyway, its end must not replace the only copy of the edits.
  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncEndedNormally), 0);
  EXPECT_EQ(FirstMemo(*app), "only in memory");
  EXPECT_TRUE(frame->isEnabled());
}

TEST_F(MainFrameTest, TheSocketAnswersOnlyAfterTheStartHasWrittenTheFile) {
  auto app = StartLoggedIn(user_, kPassword);
  EditFirstMemo(*app, "written before the answer");
  std::atomic<bool> done{false};
  std::int64_t probe = -1, started = -1;
  std::string onDiskAtAnswer;
  Result sent = kErrWrite;
  std::thread notifier([&] {
    sent = SendWindowMessage(kDesktopWindowClass, kHotSyncNotifyMessage, kHotSyncProbe, 0, &probe, 5000);
    if (sent == kOk)
      sent = SendWindowMessage(kDesktopWindowClass, kHotSyncNotifyMessage, kHotSyncStarted, 0, &started, 5000);
    onDiskAtAnswer = FirstMemoOnDisk();
    done = true;
  });
  EXPECT_TRUE(SpinUntil([&] { return done.load(); }));
  notifier.join();
  EXPECT_EQ(sent, kOk);
  EXPECT_EQ(probe, 5120);
  EXPECT_EQ(started, 0);
  EXPECT_EQ(onDiskAtAnswer, "written before the answer");
  EXPECT_FALSE(app->MainFrame()->isEnabled());
}

TEST_F(MainFrameTest, SaveAllWritesAndReadsBack) {
  auto app = StartLoggedIn(user_, kPassword);
  EditFirstMemo(*app, "saved by Save All");
  EXPECT_TRUE(app->MainFrame()->OnCommand(kCmdSaveAll));
  EXPECT_EQ(FirstMemoOnDisk(), "saved by Save All");
  EXPECT_EQ(FirstMemo(*app), "saved by Save All");
  EXPECT_FALSE(app->GetStore()->IsDirty());
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MainFrameTest, AFailedSaveAllKeepsTheEditsAndSaysSo) {
  auto app = StartLoggedIn(user_, kPassword);
  EditFirstMemo(*app, "kept after a failed save");
  ASSERT_EQ(std::remove(DataPath(user_).c_str()), 0);
  app->MainFrame()->OnCommand(kCmdSaveAll);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 170);
  EXPECT_EQ(FirstMemo(*app), "kept after a failed save");
  EXPECT_TRUE(app->GetStore()->IsDirty());

  // A file removed behind a store with no changes is no better: the memos would go
  // with the reload.
  app->GetStore()->SetDirty(false);
  messages_.clear();
  app->MainFrame()->OnCommand(kCmdSaveAll);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 170);
  EXPECT_EQ(app->GetStore()->RecordCount(), 2);
}

// The last record of the file cannot be read: saving what was read would drop it. Save
// All, the HotSync start and exit all leave the file as it is, and the message says why.
TEST_F(MainFrameTest, AFileReadInPartIsNeverSavedOverAndTheUserIsTold) {
  std::vector<std::uint8_t> damaged = ReadFile(DataPath(user_));
  damaged.resize(damaged.size() - 3);  // the second memo's data runs past the end
  std::ofstream(DataPath(user_), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(damaged.data()), static_cast<std::streamsize>(damaged.size()));
  auto app = StartLoggedIn(user_, kPassword);
  ASSERT_EQ(app->GetStore()->RecordCount(), 1);
  EditFirstMemo(*app, "edited after a partial read");
  QStringList texts;
  app->SetMessageHook([&](int textId, int, unsigned, const QString& text) {
    messages_.push_back({textId, kIdsAppTitle, 0});
    texts << text;
    return kIdYes;
  });

  app->MainFrame()->OnCommand(kCmdSaveAll);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 170);
  EXPECT_TRUE(texts[0].endsWith(Text(182))) << texts[0].toStdString();
  EXPECT_EQ(ReadFile(DataPath(user_)), damaged);
  EXPECT_EQ(FirstMemo(*app), "edited after a partial read");

  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncStarted), 1);
  DrainEvents();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[1].textId, 171);
  EXPECT_TRUE(texts[1].endsWith(Text(182)));
  EXPECT_EQ(ReadFile(DataPath(user_)), damaged);

  // Exit asks; giving the edits up ends the program without touching the file either.
  EXPECT_TRUE(app->MainFrame()->close());
  ASSERT_EQ(messages_.size(), 3u);
  EXPECT_EQ(messages_[2].textId, 172);
  app.reset();
  EXPECT_EQ(ReadFile(DataPath(user_)), damaged);
}

TEST_F(MainFrameTest, RestoreAsksAndOnlyOkGoesBackToTheFile) {
  auto app = StartLoggedIn(user_, kPassword);
  CMainFrame* frame = app->MainFrame();
  int reloads = frame->View()->ReloadCount();
  EditFirstMemo(*app, "unsaved");

  answer_ = kIdCancel;
  frame->OnCommand(kCmdRestore);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 136);
  EXPECT_EQ(messages_[0].flags, kMbOkCancel | kMbIconExclamation);
  EXPECT_EQ(FirstMemo(*app), "unsaved");
  DrainEvents();
  EXPECT_EQ(frame->View()->ReloadCount(), reloads);

  answer_ = kIdOk;
  frame->OnCommand(kCmdRestore);
  EXPECT_EQ(FirstMemo(*app), "first memo\nline two");
  EXPECT_FALSE(app->GetStore()->IsDirty());
  DrainEvents();
  EXPECT_EQ(frame->View()->ReloadCount(), reloads + 1);
}

// Checks every rule of the update handlers against the view's own answers.
void ExpectEnablingRules(CMainFrame* frame) {
  frame->UpdateCommandUI();
  const CMainDlgView* view = frame->View();
  for (int command : {kCmdDelete, kCmdEditMemo, kCmdCopy, kCmdCut})
    EXPECT_EQ(frame->Action(command)->isEnabled(), view->HasCurrentMemo()) << command;
  EXPECT_EQ(frame->Action(kCmdSelectAll)->isEnabled(), view->ListHasItems());
  EXPECT_EQ(frame->Action(kCmdUndo)->isEnabled(), view->CanUndo());
  for (int command : {kCmdSaveAll, kCmdRestore, kCmdExit, kCmdNewMemo, kCmdCategories, kCmdUser,
                      kCmdAbout, kCmdViewToolBar, kCmdViewStatusBar})
    EXPECT_TRUE(frame->Action(command)->isEnabled()) << command;
}

TEST_F(MainFrameTest, EnablingRulesFollowTheViewAndTheClipboard) {
  auto app = StartLoggedIn(user_, kPassword);
  CMainFrame* frame = app->MainFrame();
  QGuiApplication::clipboard()->setText(QStringLiteral("memo"));
  frame->UpdateCommandUI();
  EXPECT_TRUE(frame->Action(kCmdPaste)->isEnabled());
  QGuiApplication::clipboard()->clear();
  frame->UpdateCommandUI();
  EXPECT_FALSE(frame->Action(kCmdPaste)->isEnabled());

  ExpectEnablingRules(frame);  // two memos listed
  std::int32_t empty = AddUser("Empty", 3002, nullptr);
  bool success = false;
  ASSERT_EQ(app->OpenUserData(empty, "", &success), kOk);
  ASSERT_TRUE(success);
  DrainEvents();
  EXPECT_FALSE(frame->View()->HasCurrentMemo());
  ExpectEnablingRules(frame);  // nothing listed
}

TEST_F(MainFrameTest, AcceleratorsSendTheirCommandsUnlessDisabled) {
  auto app = StartLoggedIn(user_, kPassword);
  CMainFrame* frame = app->MainFrame();
  EditFirstMemo(*app, "saved by Ctrl+S");
  QTest::keyClick(frame->View(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_EQ(FirstMemoOnDisk(), "saved by Ctrl+S");

  // Delete is disabled without a current memo: the key does nothing, not even in the
  // focused control, and no question is asked.
  std::int32_t empty = AddUser("Empty", 3002, nullptr);
  bool success = false;
  ASSERT_EQ(app->OpenUserData(empty, "", &success), kOk);
  DrainEvents();
  ASSERT_FALSE(frame->View()->HasCurrentMemo());
  QTest::keyClick(frame->View(), Qt::Key_Delete);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(MainFrameTest, ClosingDuringAHotSyncIsRefused) {
  auto app = StartLoggedIn(user_, kPassword);
  CMainFrame* frame = app->MainFrame();
  ASSERT_EQ(frame->OnHotSyncNotify(kHotSyncStarted), 0);
  EXPECT_FALSE(frame->close());
  EXPECT_TRUE(frame->isVisible());
  ASSERT_EQ(frame->OnHotSyncNotify(kHotSyncEndedNormally), 0);
  EXPECT_TRUE(frame->close());
}

TEST_F(MainFrameTest, PlacementAndBarStateComeBackNextTime) {
  {
    auto app = StartApp();
    CMainFrame* frame = app->MainFrame();
    frame->setGeometry(40, 50, 700, 500);
    frame->findChild<QToolBar*>()->hide();
    ASSERT_TRUE(frame->close());
  }
  CProfile profile(profile_);
  EXPECT_EQ(profile.GetString("Position", "MainFrame"), "0:1:-1:-1:-1:-1:40:50:740:550");
  EXPECT_EQ(profile.GetString("ContorlBars\\State", "ToolBar"), "0");
  EXPECT_EQ(profile.GetString("ContorlBars\\State", "StatusBar"), "1");
  {
    auto app = StartApp();
    CMainFrame* frame = app->MainFrame();
    EXPECT_EQ(frame->geometry(), QRect(40, 50, 700, 500));
    EXPECT_TRUE(frame->findChild<QToolBar*>()->isHidden());
    EXPECT_FALSE(frame->Action(kCmdViewToolBar)->isChecked());
    frame->OnCommand(kCmdViewToolBar);
    EXPECT_FALSE(frame->findChild<QToolBar*>()->isHidden());
    frame->showMaximized();
    ASSERT_TRUE(frame->close());
  }
  EXPECT_EQ(profile.GetString("Position", "MainFrame").substr(0, 4), "2:3:");
  auto app = StartApp();
  EXPECT_TRUE(app->MainFrame()->ShowsMaximizedAtStart());
  EXPECT_TRUE(app->MainFrame()->isMaximized());

  // A placement that does not parse is ignored.
  app.reset();
  ASSERT_EQ(profile.WriteString("Position", "MainFrame", "1:2:3"), kOk);
  EXPECT_FALSE(StartApp()->MainFrame()->ShowsMaximizedAtStart());
}

// The profile is the user's to edit: a rectangle whose size does not fit an int, or
// that no widget could have, leaves the first-start size in place.
TEST_F(MainFrameTest, AnImpossiblePlacementIsIgnored) {
  CProfile profile(profile_);
  for (const char* placement : {"0:1:-1:-1:-1:-1:-2147483648:-2147483648:2147483647:2147483647",
                                "0:1:-1:-1:-1:-1:0:0:100000000:100"}) {
    SCOPED_TRACE(placement);
    ASSERT_EQ(profile.WriteString("Position", "MainFrame", placement), kOk);
    auto app = StartApp();
    const QRect geometry = app->MainFrame()->geometry();
    EXPECT_GT(geometry.width(), 0);
    EXPECT_LT(geometry.width(), 100000);
    EXPECT_GT(geometry.height(), 0);
    EXPECT_LT(geometry.height(), 100000);
  }
}

TEST_F(MainFrameTest, FrameParts) {
  auto app = StartApp();
  CMainFrame* frame = app->MainFrame();
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("Tallimor デスクトップ"));
  EXPECT_EQ(frame->PaneText(kPaneMessage), QStringLiteral("レディ"));
  frame->SetPaneText(kPanePosition, QStringLiteral("2 / 5"));
  EXPECT_EQ(frame->PaneText(kPanePosition), QStringLiteral("2 / 5"));
  // The client area never becomes smaller than the main view's template.
  QSize minimum = frame->ClientWnd()->minimumSize();
  EXPECT_GE(minimum.width(), frame->View()->sizeHint().width());
  EXPECT_GE(minimum.height(), frame->View()->sizeHint().height());
  frame->resize(100, 100);
  EXPECT_GE(frame->ClientWnd()->width(), frame->View()->sizeHint().width());
  // Tool bar 128: save, cut, copy, paste, undo, about with two separators.
  QList<QAction*> buttons = frame->findChild<QToolBar*>()->actions();
  ASSERT_EQ(buttons.size(), 8);
  EXPECT_EQ(buttons[0]->data().toInt(), kCmdSaveAll);
  EXPECT_TRUE(buttons[1]->isSeparator());
  EXPECT_EQ(buttons[7]->data().toInt(), kCmdAbout);
}

// What the user reads on the menu bar, in the status bar while an entry is highlighted
// and in the tool bar's tips, as the frame builds them from its resources.
TEST_F(MainFrameTest, MenuBarPromptsAndToolTipsReadExactly) {
  auto app = StartApp();
  CMainFrame* frame = app->MainFrame();
  QStringList titles;
  for (QAction* menu : frame->menuBar()->actions()) titles << menu->text();
  EXPECT_EQ(titles, (QStringList{"ファイル(&F)", "編集(&E)", "表示(&V)", "ツール(&T)", "ヘルプ(&H)"}));
  EXPECT_EQ(frame->Action(kCmdCopy)->text(), QStringLiteral("コピー(&C)\tCtrl+C"));
  EXPECT_EQ(frame->Action(kCmdCopy)->statusTip(), QStringLiteral("選択範囲をコピーしてクリップボードに保存"));
  EXPECT_EQ(frame->Action(kCmdUser)->statusTip(), QStringLiteral("ユーザを変更します"));
  EXPECT_EQ(frame->Action(kCmdDelete)->statusTip(), QStringLiteral("選択したデータを削除します"));
  QStringList tips;
  for (QAction* button : frame->findChild<QToolBar*>()->actions())
    if (!button->isSeparator()) tips << button->toolTip();
  EXPECT_EQ(tips, (QStringList{"すべて保存", "切り取り", "保存", "貼り付け", "元に戻す", "バージョン情報"}));
}

}  // namespace
}  // namespace tallimor::test
