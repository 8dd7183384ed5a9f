// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The preferences dialog reached through Tools > Options: it shows the preferences in
// effect, each delay editable only with its option, and OK puts the choice into effect
// and into Tallimor.ini while Cancel changes nothing.
#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>

#include "desktop/CMainFrame.h"
#include "desktop/CPreferencesDlg.h"
#include "desktop/ClipboardGuard.h"
#include "desktop/Preferences.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/tests/ViewTestSupport.h"

namespace tallimor::test {
namespace {

class PreferencesDlgTest : public ViewSandbox {
 protected:
  void SetUp() override {
    ViewSandbox::SetUp();
    Open(UsualFile());
  }
};

TEST_F(PreferencesDlgTest, ShowsTheDefaultsAndOkPutsTheChoiceIntoEffectAndTheProfile) {
  auto seen = std::make_shared<Preferences>();
  auto enabledBefore = std::make_shared<bool>(true);
  std::shared_ptr<bool> answered = WhenShown<CPreferencesDlg>([seen, enabledBefore](CPreferencesDlg* dialog) {
    *seen = dialog->Chosen();
    *enabledBefore = dialog->ClearSeconds()->isEnabled() || dialog->IdleMinutes()->isEnabled();
    dialog->ClearClipboard()->click();
    dialog->ClearSeconds()->setValue(30);
    dialog->IdleLock()->click();
    dialog->IdleMinutes()->setValue(5);
    dialog->LockOnScreenLock()->click();
    dialog->OkButton()->click();
  });
  ASSERT_TRUE(app_->MainFrame()->OnCommand(kCmdPreferences));
  ASSERT_TRUE(*answered);
  EXPECT_EQ(*seen, Preferences());  // the defaults: clearing off at 10 s, screen lock on
  EXPECT_FALSE(*enabledBefore);

  Preferences expected;
  expected.clearClipboard = true;
  expected.clearSeconds = 30;
  expected.idleLock = true;
  expected.idleMinutes = 5;
  expected.lockOnScreenLock = false;
  EXPECT_EQ(app_->CurrentPreferences(), expected);
  EXPECT_EQ(app_->Clipboard().ClearAfter(), 30000);
  EXPECT_EQ(Preferences::Load(app_->Profile()), expected);
}

TEST_F(PreferencesDlgTest, CancelChangesNothing) {
  std::shared_ptr<bool> answered = WhenShown<CPreferencesDlg>([](CPreferencesDlg* dialog) {
    dialog->ClearClipboard()->click();
    dialog->reject();
  });
  app_->MainFrame()->OnCommand(kCmdPreferences);
  ASSERT_TRUE(*answered);
  EXPECT_EQ(app_->CurrentPreferences(), Preferences());
  EXPECT_EQ(app_->Clipboard().ClearAfter(), 0);
  EXPECT_FALSE(app_->Profile().Find("Preferences", "ClearClipboard").has_value());
}

}  // namespace
}  // namespace tallimor::test
