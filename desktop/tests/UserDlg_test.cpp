// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The user dialog: the sorted user list with its preselection, the hint following the
// selection, the 16-character password, wrong passwords refused without limit, passwords
// beyond ASCII reaching MD5 and Blowfish as code page 932 bytes, and Cancel.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "desktop/CProfile.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/CUserDlg.h"
#include "protect/StoredMemo.h"
#include "desktop/TextConversion.h"
#include "desktop/tests/GuiTestSupport.h"

namespace tallimor::test {
namespace {

// "パス" and "ヒント" in code page 932.
const std::string kKanaPassword = "\x83\x70\x83\x58";
const std::string kKanaHint = "\x83\x71\x83\x93\x83\x67";

class UserDlgTest : public DesktopSandbox {
 protected:
  void SetUp() override {
    DesktopSandbox::SetUp();
    RecordFileFixture yamada;
    yamada.password = "tiger";
    yamada.hint = "the usual cat";
    yamada.memos = {{1, 0, "Yamada's memo"}};
    yamada_ = AddUser("yamada", 5001, &yamada);

    RecordFileFixture abe;
    abe.password = kKanaPassword.c_str();
    abe.hint = kKanaHint;
    abe.memos = {{2, 0, "Abe's memo"}};
    abe_ = AddUser("Abe", 5002, &abe);

    RecordFileFixture open;
    open.memos = {{3, 0, "Mori's open memo"}};
    mori_ = AddUser("Mori", 5003, &open);
  }

  std::unique_ptr<CUserDlg> Dialog(CDesktopApp& app) {
    auto dialog = std::make_unique<CUserDlg>(app, app.MainFrame());
    dialog->show();
    return dialog;
  }
  static std::string FirstMemo(CDesktopApp& app) {
    return std::string(StoredMemoText(*app.GetStore()->RecordAt(0)));
  }

  std::int32_t yamada_ = 0, abe_ = 0, mori_ = 0;
};

TEST_F(UserDlgTest, ListsUsersSortedWithIdsAndPreselectsTheRememberedOne) {
  CProfile(profile_).WriteString("Settings", "UserID", std::to_string(mori_));
  auto app = StartApp();
  auto dialog = Dialog(*app);
  QComboBox* list = dialog->UserList();
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->itemText(0), QStringLiteral("Abe"));
  EXPECT_EQ(list->itemText(1), QStringLiteral("Mori"));
  EXPECT_EQ(list->itemText(2), QStringLiteral("yamada"));
  EXPECT_EQ(dialog->UserIdAt(0), abe_);
  EXPECT_EQ(dialog->UserIdAt(2), yamada_);
  EXPECT_EQ(list->currentIndex(), 1);
  EXPECT_EQ(dialog->Hint()->toPlainText(), QString());
  EXPECT_EQ(dialog->Password()->echoMode(), QLineEdit::Password);
  EXPECT_EQ(app->OpenDialogCount(), 1);
  dialog.reset();
  EXPECT_EQ(app->OpenDialogCount(), 0);
}

TEST_F(UserDlgTest, AForgottenUserFallsBackToTheFirstEntryAndItsHint) {
  CProfile(profile_).WriteString("Settings", "UserID", "777");
  auto app = StartApp();
  auto dialog = Dialog(*app);
  EXPECT_EQ(dialog->UserList()->currentIndex(), 0);
  EXPECT_EQ(dialog->Hint()->toPlainText(), QStringLiteral("ヒント"));
}

TEST_F(UserDlgTest, TheHintFollowsTheSelectionAndThePasswordStays) {
  auto app = StartApp();
  auto dialog = Dialog(*app);
  QTest::keyClicks(dialog->Password(), QStringLiteral("typed"));
  dialog->UserList()->setCurrentIndex(2);
  EXPECT_EQ(dialog->Hint()->toPlainText(), QStringLiteral("the usual cat"));
  EXPECT_EQ(dialog->Password()->text(), QStringLiteral("typed"));
}

TEST_F(UserDlgTest, ThePasswordTakesSixteenCharacters) {
  auto app = StartApp();
  auto dialog = Dialog(*app);
  QTest::keyClicks(dialog->Password(), QStringLiteral("abcdefghijklmnopqrstu"));
  EXPECT_EQ(dialog->Password()->text(), QStringLiteral("abcdefghijklmnop"));
}

TEST_F(UserDlgTest, CaptionAndLabelsReadExactly) {
  auto app = StartApp();
  auto dialog = Dialog(*app);
  EXPECT_EQ(dialog->windowTitle(), QStringLiteral("ユーザ"));
  EXPECT_EQ(ControlTexts(*dialog), (std::vector<std::string>{"ユーザ：", "パスワード：", "ヒント", "OK", "キャンセル"}));
}

TEST_F(UserDlgTest, WrongPasswordsAreRefusedAsOftenAsTheyComeThenTheRightOneOpens) {
  auto app = StartApp();
  auto dialog = Dialog(*app);
  dialog->UserList()->setCurrentIndex(2);  // yamada
  for (int attempt = 0; attempt < 3; ++attempt) {
    dialog->Password()->setText(QStringLiteral("lion%1").arg(attempt));
    dialog->accept();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->Password()->selectedText(), QStringLiteral("lion%1").arg(attempt));
  }
  ASSERT_EQ(messages_.size(), 3u);
  for (const ShownMessage& m : messages_) {
    EXPECT_EQ(m.textId, 149);
    EXPECT_EQ(m.captionId, 128);
    EXPECT_EQ(m.flags, kMbIconExclamation);
  }
  EXPECT_EQ(app->GetStore(), nullptr);
  EXPECT_FALSE(CProfile(profile_).Find("Settings", "UserID"));

  dialog->Password()->setText(QStringLiteral("tiger"));
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  ASSERT_NE(app->GetStore(), nullptr);
  EXPECT_EQ(FirstMemo(*app), "Yamada's memo");
  EXPECT_EQ(app->CurrentUserId(), yamada_);
  EXPECT_EQ(CProfile(profile_).GetInt("Settings", "UserID", -1), yamada_);
  int reloads = app->MainView()->ReloadCount();
  DrainEvents();
  EXPECT_EQ(app->MainView()->ReloadCount(), reloads + 1);
}

TEST_F(UserDlgTest, APasswordBeyondAsciiIsCheckedAndKeyedAsCodePage932) {
  auto app = StartApp();
  auto dialog = Dialog(*app);
  dialog->UserList()->setCurrentIndex(0);  // Abe, whose password is "パス"
  dialog->Password()->setText(QStringLiteral("パス"));
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_TRUE(messages_.empty());
  ASSERT_NE(app->GetStore(), nullptr);
  EXPECT_EQ(FirstMemo(*app), "Abe's memo");
}

TEST_F(UserDlgTest, ACharacterOutsideCodePage932IsRefusedWithItsOwnMessage) {
  auto app = StartApp();
  auto dialog = Dialog(*app);
  dialog->UserList()->setCurrentIndex(1);  // Mori, who takes any password
  dialog->Password()->setText(QStringLiteral("caf\u00E9\U0001F600"));
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, 174);
  EXPECT_EQ(app->GetStore(), nullptr);
}

TEST_F(UserDlgTest, AUserWithoutPasswordOpensWithAnyTextAlsoAnEmptyOne) {
  auto app = StartApp();
  for (QString typed : {QString(), QStringLiteral("anything")}) {
    auto dialog = Dialog(*app);
    dialog->UserList()->setCurrentIndex(1);
    dialog->Password()->setText(typed);
    dialog->accept();
    EXPECT_EQ(dialog->result(), QDialog::Accepted) << typed.toStdString();
    EXPECT_EQ(FirstMemo(*app), "Mori's open memo");
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(UserDlgTest, AUserWithoutARecordFileGetsAnEmptyStore) {
  std::int32_t ito = AddUser("Ito", 5004, nullptr);
  auto app = StartApp();
  auto dialog = Dialog(*app);
  int index = dialog->UserList()->findText(QStringLiteral("Ito"));
  ASSERT_GE(index, 0);
  dialog->UserList()->setCurrentIndex(index);
  EXPECT_EQ(dialog->Hint()->toPlainText(), QString());
  dialog->Password()->setText(QStringLiteral("whatever"));
  typed_ = {QStringLiteral("whatever")};  // the confirmation
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(prompts_.size(), 1u);
  ASSERT_NE(app->GetStore(), nullptr);
  EXPECT_EQ(app->GetStore()->RecordCount(), 0);
  EXPECT_EQ(app->CurrentUserId(), ito);
}

TEST_F(UserDlgTest, CancelChangesNothing) {
  auto app = StartLoggedIn(mori_, "");
  std::string profileBefore = CProfile(profile_).GetString("Settings", "UserID");
  auto dialog = Dialog(*app);
  dialog->UserList()->setCurrentIndex(2);
  dialog->Password()->setText(QStringLiteral("tiger"));
  dialog->reject();
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(app->CurrentUserId(), mori_);
  EXPECT_EQ(FirstMemo(*app), "Mori's open memo");
  EXPECT_EQ(CProfile(profile_).GetString("Settings", "UserID"), profileBefore);
}

TEST_F(UserDlgTest, WithoutUsersOnlyCancelEndsTheDialog) {
  root_ = dir_ + "/empty-root/";
  auto app = StartApp();
  auto dialog = Dialog(*app);
  EXPECT_EQ(dialog->UserList()->count(), 0);
  EXPECT_EQ(dialog->Hint()->toPlainText(), QString());
  dialog->accept();
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace tallimor::test
