// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// What the program leaves on the clipboard: every memo text carries the secret hint,
// a copy is cleared after the chosen delay and at exit only while the clipboard still
// holds it, and a cut's text (the only way back to the memos it deleted) never is.
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>

#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "desktop/ClipboardGuard.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/tests/ViewTestSupport.h"

namespace tallimor::test {
namespace {

class ClipboardHygieneTest : public ViewSandbox {
 protected:
  void SetUp() override {
    ViewSandbox::SetUp();
    QGuiApplication::clipboard()->clear();
    Open(UsualFile());
  }
  void Command(int command) { app_->MainFrame()->OnCommand(command); }
  static QString ClipboardText() { return QGuiApplication::clipboard()->text(); }
  static QByteArray Hint() {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data == nullptr ? QByteArray() : data->data(QString::fromLatin1(ClipboardGuard::kHintFormat));
  }
  void ClearAfter(int ms) { app_->Clipboard().SetClearAfter(ms); }
  // Lets the clearing timer run out (and some more).
  static void WaitPast(int ms) {
    SpinUntil([] { return false; }, ms);
  }
};

TEST_F(ClipboardHygieneTest, CopyAndCutCarryTheSecretHint) {
  SelectRows({0});
  Command(kCmdCopy);
  EXPECT_EQ(ClipboardText(), QStringLiteral("alpha"));
  EXPECT_EQ(Hint(), QByteArray("secret"));

  SelectRows({2});
  Command(kCmdCut);
  EXPECT_EQ(ClipboardText(), QStringLiteral("gamma"));
  EXPECT_EQ(Hint(), QByteArray("secret"));
}

TEST_F(ClipboardHygieneTest, ACopyIsClearedAfterTheDelayWhenTheOptionIsOn) {
  ClearAfter(100);
  SelectRows({0});
  Command(kCmdCopy);
  EXPECT_TRUE(app_->Clipboard().ClearPending());
  EXPECT_EQ(ClipboardText(), QStringLiteral("alpha"));
  ASSERT_TRUE(SpinUntil([] { return ClipboardText().isEmpty(); }, 3000));
  EXPECT_FALSE(app_->Clipboard().ClearPending());
}

TEST_F(ClipboardHygieneTest, WithTheOptionOffACopyStays) {
  SelectRows({0});
  Command(kCmdCopy);
  EXPECT_FALSE(app_->Clipboard().ClearPending());
  WaitPast(300);
  EXPECT_EQ(ClipboardText(), QStringLiteral("alpha"));
}

TEST_F(ClipboardHygieneTest, AnotherProgramsTextIsLeftAlone) {
  ClearAfter(100);
  SelectRows({0});
  Command(kCmdCopy);
  // Another program takes the clipboard before the delay runs out.
  QGuiApplication::clipboard()->setText(QStringLiteral("someone else's"));
  WaitPast(400);
  EXPECT_EQ(ClipboardText(), QStringLiteral("someone else's"));
  // Nor at exit.
  EXPECT_FALSE(app_->Clipboard().ClearCopy());
  EXPECT_EQ(ClipboardText(), QStringLiteral("someone else's"));
}

TEST_F(ClipboardHygieneTest, ACutIsNeverClearedNeitherByTheTimerNorAtExit) {
  ClearAfter(100);
  SelectRows({0});
  Command(kCmdCopy);
  SelectRows({1});
  Command(kCmdCut);  // replaces the copy, whose timer must not clear the cut's text
  EXPECT_FALSE(app_->Clipboard().ClearPending());
  WaitPast(400);
  EXPECT_EQ(ClipboardText(), QStringLiteral("beta\r\nsecond line"));

  Preferences on = app_->CurrentPreferences();
  on.clearClipboard = true;
  app_->ApplyPreferences(on);
  app_->ExitInstance();
  EXPECT_EQ(ClipboardText(), QStringLiteral("beta\r\nsecond line"));
}

TEST_F(ClipboardHygieneTest, WithTheOptionOffExitLeavesACopy) {
  SelectRows({0});
  Command(kCmdCopy);
  app_->ExitInstance();
  EXPECT_EQ(ClipboardText(), QStringLiteral("alpha"));
}

TEST_F(ClipboardHygieneTest, WithTheOptionOnExitClearsACopy) {
  Preferences on = app_->CurrentPreferences();
  on.clearClipboard = true;
  on.clearSeconds = 3600;  // the timer has not run out at exit
  app_->ApplyPreferences(on);
  SelectRows({4});
  Command(kCmdCopy);
  EXPECT_EQ(ClipboardText(), QStringLiteral("epsilon"));
  app_->ExitInstance();
  EXPECT_TRUE(ClipboardText().isEmpty());
}

// A control's own copy (the memo pane's text) is given the hint as well; clearing it
// by time is left alone, since a control's cut looks the same.
TEST_F(ClipboardHygieneTest, DataWithoutTheHintGetsItKeepingEveryFormat) {
  QMimeData plain;
  plain.setText(QStringLiteral("pane text"));
  plain.setHtml(QStringLiteral("<b>pane text</b>"));
  std::unique_ptr<QMimeData> hinted(ClipboardGuard::WithHint(plain));
  EXPECT_EQ(hinted->text(), QStringLiteral("pane text"));
  EXPECT_EQ(hinted->html(), QStringLiteral("<b>pane text</b>"));
  EXPECT_EQ(hinted->data(QString::fromLatin1(ClipboardGuard::kHintFormat)), QByteArray("secret"));
}

}  // namespace
}  // namespace tallimor::test
