// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Locking the memos away: the store is written back first, then the key and every
// deciphered memo are forgotten and the view emptied, and only the password brings
// them back; a lock waits for an open dialog and for a HotSync; a HotSync while locked
// finds no store. The triggers: the screen saver's signal and idle time.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>

#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "desktop/CUserDlg.h"
#include "desktop/SessionLockWatcher.h"
#include "desktop/resources/StringTable.h"
#include "desktop/tests/ViewTestSupport.h"
#include "notifier/HotSyncNotification.h"
#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"

namespace tallimor::test {
namespace {

class SessionLockTest : public ViewSandbox {
 protected:
  void SetUp() override {
    ViewSandbox::SetUp();
    Open(UsualFile());
  }
  // Edits memo 0 in memory only, as the memo edit dialog leaves it before a save.
  void EditFirstMemo(const char* text) {
    ASSERT_EQ(StoreMemo(*Store()->RecordAt(0), text), kOk);
    ASSERT_EQ(Store()->MarkModified(0, true), kOk);
  }
  // The first memo as the file on disk holds it, read with the password.
  std::string FirstMemoOnDisk() const {
    CProtectedRecordFile disk(DataPath(user_), kViewPassword);
    if (disk.Load() != kOk || disk.RecordAt(0) == nullptr) return "<unreadable>";
    return std::string(StoredMemoText(*disk.RecordAt(0)));
  }
  // Answers the user dialog that the lock brings up: first with each wrong password
  // (the dialog stays, the memos stay away), then with the right one. *locked tells
  // whether the memos were gone while the dialog was up.
  std::shared_ptr<bool> LogInAgain(std::vector<const char*> wrong, std::shared_ptr<bool> locked) {
    return WhenShown<CUserDlg>([this, wrong, locked](CUserDlg* dialog) {
      *locked = app_->IsLocked() && app_->GetStore() == nullptr &&
                View()->MemoList()->model()->rowCount() == 0;
      for (const char* password : wrong) {
        dialog->Password()->setText(QString::fromUtf8(password));
        dialog->OkButton()->click();
        *locked = *locked && app_->GetStore() == nullptr && !messages_.empty() &&
                  messages_.back().textId == kIdsWrongPassword;
      }
      dialog->Password()->setText(QString::fromUtf8(kViewPassword));
      dialog->OkButton()->click();
    });
  }
};

TEST_F(SessionLockTest, ALockSavesForgetsTheMemosAndOnlyThePasswordBringsThemBack) {
  EditFirstMemo("edited before the lock");
  ASSERT_GT(View()->MemoList()->model()->rowCount(), 0);

  auto locked = std::make_shared<bool>(false);
  std::shared_ptr<bool> answered = LogInAgain({"not the password", ""}, locked);
  ASSERT_EQ(app_->Lock(), kOk);
  EXPECT_TRUE(app_->IsLocked());
  EXPECT_EQ(app_->GetStore(), nullptr);
  EXPECT_EQ(FirstMemoOnDisk(), "edited before the lock");
  EXPECT_EQ(View()->MemoList()->model()->rowCount(), 0);
  EXPECT_TRUE(View()->DetailPane()->toPlainText().isEmpty());
  EXPECT_EQ(app_->MainFrame()->PaneText(kPaneMessage), QString::fromUtf8(LoadString(kIdsLocked)));

  ASSERT_TRUE(SpinUntil([&] { return *answered && app_->GetStore() != nullptr; }));
  EXPECT_TRUE(*locked);  // two wrong passwords brought nothing back
  DrainEvents();
  EXPECT_FALSE(app_->IsLocked());
  EXPECT_EQ(MemoAt(0), "edited before the lock");
  EXPECT_EQ(Column(0).size(), 5u);
}

TEST_F(SessionLockTest, ALockWaitsForAnOpenDialog) {
  EditFirstMemo("edited in a dialog");
  app_->DialogOpened(0);  // a memo edit dialog is open
  app_->RequestLock();
  SpinUntil([] { return false; }, 600);
  EXPECT_NE(app_->GetStore(), nullptr);
  EXPECT_FALSE(app_->IsLocked());

  auto locked = std::make_shared<bool>(false);
  std::shared_ptr<bool> answered = LogInAgain({}, locked);
  app_->DialogOpened(1);
  ASSERT_TRUE(SpinUntil([&] { return *answered && app_->GetStore() != nullptr; }));
  EXPECT_TRUE(*locked);
  EXPECT_EQ(FirstMemoOnDisk(), "edited in a dialog");
}

TEST_F(SessionLockTest, ALockWaitsForAHotSyncAndAHotSyncWhileLockedFindsNoStore) {
  CMainFrame* frame = app_->MainFrame();
  ASSERT_EQ(frame->OnHotSyncNotify(kHotSyncStarted), 0);
  app_->RequestLock();
  DrainEvents();
  EXPECT_NE(app_->GetStore(), nullptr);  // the conduit has the file
  ASSERT_EQ(frame->OnHotSyncNotify(kHotSyncEndedNormally), 0);

  std::shared_ptr<bool> cancelled = WhenShown<CUserDlg>([](CUserDlg* dialog) { dialog->reject(); });
  ASSERT_TRUE(SpinUntil([&] { return app_->IsLocked() && *cancelled; }));
  const std::vector<std::uint8_t> before = ReadFile(DataPath(user_));
  // Cancelled: still locked; a HotSync now neither writes nor reads memos.
  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncStarted), 0);
  EXPECT_EQ(frame->OnHotSyncNotify(kHotSyncEndedNormally), 0);
  DrainEvents();
  EXPECT_EQ(app_->GetStore(), nullptr);
  EXPECT_EQ(View()->MemoList()->model()->rowCount(), 0);
  EXPECT_EQ(ReadFile(DataPath(user_)), before);
}

TEST_F(SessionLockTest, AStoreThatCannotBeWrittenIsNotForgotten) {
  EditFirstMemo("only in memory");
  ::unlink(DataPath(user_).c_str());  // the save refuses: the memory is the only copy
  EXPECT_NE(app_->Lock(), kOk);
  EXPECT_FALSE(app_->IsLocked());
  ASSERT_NE(app_->GetStore(), nullptr);
  EXPECT_EQ(MemoAt(0), "only in memory");
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_.back().textId, kIdsLockSaveFailed);
}

TEST(SessionLockWatcher, TheScreenSaverAsksForTheLockOnlyWhenItStartsAndWhenAllowed) {
  SessionLockWatcher watcher;
  QSignalSpy requested(&watcher, &SessionLockWatcher::lockRequested);
  watcher.OnScreenSaverActiveChanged(false);
  EXPECT_EQ(requested.count(), 0);
  watcher.OnScreenSaverActiveChanged(true);
  EXPECT_EQ(requested.count(), 1);
  watcher.OnSessionLock();
  EXPECT_EQ(requested.count(), 2);
  watcher.SetLockOnScreenLock(false);
  watcher.OnScreenSaverActiveChanged(true);
  watcher.OnSessionLock();
  EXPECT_EQ(requested.count(), 2);
}

TEST(SessionLockWatcher, IdleTimeRunsOutUnlessThereIsInput) {
  SessionLockWatcher watcher;
  QSignalSpy requested(&watcher, &SessionLockWatcher::lockRequested);
  QWidget target;
  watcher.SetIdleTimeout(300);
  // Input every 100 ms for 600 ms keeps the timer from running out.
  for (int i = 0; i < 6; ++i) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier);
    QApplication::sendEvent(&target, &key);
    QTest::qWait(100);
  }
  EXPECT_EQ(requested.count(), 0);
  EXPECT_TRUE(requested.wait(2000));
  EXPECT_EQ(requested.count(), 1);

  watcher.SetIdleTimeout(0);
  QTest::qWait(500);
  EXPECT_EQ(requested.count(), 1);
}

}  // namespace
}  // namespace tallimor::test
