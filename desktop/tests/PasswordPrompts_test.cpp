// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The application's password prompts, driven through the real user dialog and the real
// prompt: the confirmation before a user's first data is created (a mismatch refused, a
// match creating the file with the password's digest), and the previous password asked
// for memos kept aside when the password changed on the handheld (a wrong one refused,
// the right one bringing the memos into the list and the file under the new key, Cancel
// leaving everything as it was).
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <sys/stat.h>

#include <fstream>

#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "desktop/CPasswordPromptDlg.h"
#include "protect/CProtectedRecordFile.h"
#include "desktop/CUserDlg.h"
#include "protect/KeptMemoFile.h"
#include "protect/StoredMemo.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/resources/StringTable.h"
#include "desktop/tests/ViewTestSupport.h"
#include "notifier/HotSyncNotification.h"

namespace tallimor::test {
namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class PasswordPromptTest : public ViewSandbox {
 protected:
  // The user dialog on a started program with real prompts, `name` selected and
  // `password` typed.
  std::unique_ptr<CUserDlg> UserDialog(const QString& name, const QString& password) {
    if (!app_) {
      app_ = StartApp();
      app_->SetPasswordHook(nullptr);
    }
    auto dialog = std::make_unique<CUserDlg>(*app_, app_->MainFrame());
    dialog->show();
    const int index = dialog->UserList()->findText(name);
    EXPECT_GE(index, 0);
    dialog->UserList()->setCurrentIndex(index);
    dialog->Password()->setText(password);
    return dialog;
  }

  // Answers the next real prompt with `typed` (nothing: Cancel), recording what it said.
  std::shared_ptr<bool> AnswerPrompt(std::optional<QString> typed) {
    return WhenShown<CPasswordPromptDlg>([this, typed](CPasswordPromptDlg* prompt) {
      shown_.push_back({prompt->windowTitle(), prompt->Text()->text(),
                        prompt->Password()->echoMode() == QLineEdit::Password,
                        prompt->Password()->maxLength()});
      if (!typed) {
        prompt->CancelButton()->click();
        return;
      }
      TypeText(prompt->Password(), *typed);
      prompt->OkButton()->click();
    });
  }

  struct Prompt {
    QString caption, text;
    bool hidden;
    int maxLength;
  };
  std::vector<Prompt> shown_;
};

TEST_F(PasswordPromptTest, ANewUsersPasswordMustBeTypedTwiceTheSameBeforeItsFileIsMade) {
  const std::int32_t ito = AddUser("Ito", 5004, nullptr);

  // A mismatch: refused with its own message, the dialog stays, nothing is opened.
  auto dialog = UserDialog(QStringLiteral("Ito"), QStringLiteral("secret"));
  auto answered = AnswerPrompt(QStringLiteral("secreT"));
  dialog->accept();
  EXPECT_TRUE(*answered);
  ASSERT_EQ(shown_.size(), 1u);
  EXPECT_EQ(shown_[0].caption, QStringLiteral("パスワードの確認"));
  EXPECT_EQ(shown_[0].text, QString::fromUtf8(LoadString(kIdsConfirmNewPassword)));
  EXPECT_TRUE(shown_[0].hidden);
  EXPECT_EQ(shown_[0].maxLength, 16);
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_TRUE(dialog->isVisible());
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, kIdsPasswordMismatch);  // and not "wrong password"
  EXPECT_EQ(app_->GetStore(), nullptr);

  // Cancel at the confirmation: no message, still nothing opened.
  answered = AnswerPrompt(std::nullopt);
  dialog->accept();
  EXPECT_TRUE(*answered);
  EXPECT_EQ(messages_.size(), 1u);
  EXPECT_EQ(app_->GetStore(), nullptr);
  EXPECT_TRUE(dialog->isVisible());

  // A match opens the user; the first memo saved makes the file with the digest.
  answered = AnswerPrompt(QStringLiteral("secret"));
  dialog->accept();
  EXPECT_TRUE(*answered);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  ASSERT_NE(app_->GetStore(), nullptr);
  EXPECT_EQ(app_->CurrentUserId(), ito);
  ASSERT_EQ(StoreMemo(*app_->GetStore()->AddEmptyRecord(), "first memo"), kOk);
  EXPECT_TRUE(app_->MainFrame()->OnCommand(kCmdSaveAll));
  EXPECT_EQ(messages_.size(), 1u);
  dialog.reset();
  app_.reset();

  // The next login checks the password the file carries.
  app_ = StartApp();
  bool success = true;
  EXPECT_EQ(app_->OpenUserData(ito, "Secret", &success), kOk);
  EXPECT_FALSE(success);
  EXPECT_EQ(app_->OpenUserData(ito, "secret", &success), kOk);
  ASSERT_TRUE(success);
  EXPECT_TRUE(prompts_.empty());  // the file is there: nothing to confirm any more
  ASSERT_EQ(app_->GetStore()->RecordCount(), 1);
  EXPECT_EQ(StoredMemoText(*app_->GetStore()->RecordAt(0)), "first memo");
}

TEST_F(PasswordPromptTest, AnEmptyPasswordForANewUserIsNotConfirmed) {
  const std::int32_t mori = AddUser("Mori", 5005, nullptr);
  auto app = StartLoggedIn(mori, "");
  EXPECT_TRUE(prompts_.empty());
  EXPECT_FALSE(app->GetStore()->IsKeyed());
}

class KeptMemoLoginTest : public PasswordPromptTest {
 protected:
  void SetUp() override {
    PasswordPromptTest::SetUp();
    RecordFileFixture current;
    current.categories = {"Unfiled", "Work"};
    current.password = "new-pw";
    current.hint = "the new one";
    current.memos = {{1, 1, "current memo"}};
    sato_ = AddUser("Sato", 6001, &current);
    data_ = DataPath(sato_);
    kept_ = data_.substr(0, data_.rfind('/')) + "/record.OLD";
    RecordFileFixture kept;
    kept.categories = {"Unfiled", "Diary", "Work"};
    kept.password = "old-pw";
    kept.hint = "the old one";
    kept.memos = {{0, 1, "kept diary memo"}, {0, 2, "kept work memo"}};
    keptBytes_ = BuildRecordFile(kept);
    WriteFile(kept_, keptBytes_);
    dataBytes_ = ReadFile(data_);
  }

  std::int32_t sato_ = 0;
  std::string data_, kept_;
  std::vector<std::uint8_t> keptBytes_, dataBytes_;
};

TEST_F(KeptMemoLoginTest, TheOldPasswordBringsTheKeptMemosIntoTheListAndTheFileUnderTheNewKey) {
  auto dialog = UserDialog(QStringLiteral("Sato"), QStringLiteral("new-pw"));
  auto wrong = AnswerPrompt(QStringLiteral("new-pw"));
  // The second prompt comes up only after the first was answered and refused.
  std::shared_ptr<bool> right;
  app_->SetMessageHook([&](int textId, int captionId, unsigned flags, const QString&) {
    messages_.push_back({textId, captionId, flags});
    if (textId == kIdsOldPasswordWrong) right = AnswerPrompt(QStringLiteral("old-pw"));
    return kIdOk;
  });
  dialog->accept();
  ASSERT_TRUE(*wrong);
  ASSERT_TRUE(right && *right);
  EXPECT_EQ(dialog->result(), QDialog::Accepted);

  ASSERT_EQ(shown_.size(), 2u);
  EXPECT_EQ(shown_[0].caption, QStringLiteral("以前のパスワード"));
  EXPECT_TRUE(shown_[0].text.startsWith(QString::fromUtf8(LoadString(kIdsEnterOldPassword))));
  EXPECT_TRUE(shown_[0].text.contains(QStringLiteral("record.OLD")));
  EXPECT_TRUE(shown_[0].text.contains(QStringLiteral("the old one")));
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].textId, kIdsOldPasswordWrong);
  EXPECT_EQ(messages_[1].textId, kIdsKeptMemosRestored);

  // The list shows them, filed by category name.
  dialog.reset();
  SpinUntil([this] { return View()->ReloadCount() > 0; });
  DrainEvents();
  EXPECT_EQ(Column(0), (Texts{"current memo", "kept diary memo", "kept work memo"}));
  EXPECT_EQ(Column(1), (Texts{"Work", "Diary", "Work"}));

  // Saved under the new key, and the kept file is gone.
  EXPECT_FALSE(Exists(kept_));
  CProtectedRecordFile disk(data_, "new-pw");
  ASSERT_EQ(disk.Load(), kOk);
  ASSERT_EQ(disk.RecordCount(), 3);
  EXPECT_EQ(StoredMemoText(*disk.RecordAt(1)), "kept diary memo");
  EXPECT_TRUE(disk.RecordAt(1)->IsNew());
  EXPECT_EQ(StoredMemoText(*disk.RecordAt(2)), "kept work memo");
  EXPECT_EQ(disk.RecordAt(2)->Category(), 1);
  EXPECT_EQ(disk.HasPassword(), 1);
  bool success = false;
  EXPECT_EQ(app_->OpenUserData(sato_, "old-pw", &success), kOk);
  EXPECT_FALSE(success);  // the file still carries the new password's digest
}

TEST_F(KeptMemoLoginTest, CancelKeepsTheFileWaitingAndChangesNothing) {
  {
    typed_ = {std::nullopt};
    auto app = StartLoggedIn(sato_, "new-pw");
    ASSERT_EQ(prompts_.size(), 1u);
    EXPECT_EQ(prompts_[0].textId, kIdsEnterOldPassword);
    EXPECT_TRUE(messages_.empty());
    ASSERT_EQ(app->GetStore()->RecordCount(), 1);
    EXPECT_FALSE(app->GetStore()->IsDirty());
  }
  EXPECT_EQ(ReadFile(kept_), keptBytes_);
  EXPECT_EQ(ReadFile(data_), dataBytes_);

  // The next login asks again.
  typed_ = {QStringLiteral("old-pw")};
  auto app = StartLoggedIn(sato_, "new-pw");
  EXPECT_EQ(prompts_.size(), 2u);
  EXPECT_EQ(app->GetStore()->RecordCount(), 3);
  EXPECT_FALSE(Exists(kept_));
}

// The password changes on the handheld while the program runs: the HotSync brings the
// new digest and keeps the desktop's changed memos aside. The store's key is stale, so
// it is given up, the user logs in with the new password and gives the old one for the
// kept memos.
TEST_F(KeptMemoLoginTest, APasswordChangedByAHotSyncAsksForTheNewOneAndThenTheOld) {
  RecordFileFixture before;
  before.categories = {"Unfiled", "Work"};
  before.password = "old-pw";
  before.memos = {{1, 1, "current memo"}};
  const std::vector<std::uint8_t> afterSync = ReadFile(data_);
  WriteFile(data_, BuildRecordFile(before));
  ::unlink(kept_.c_str());
  app_ = StartLoggedIn(sato_, "old-pw");
  CMainFrame* frame = app_->MainFrame();

  ASSERT_EQ(frame->OnHotSyncNotify(kHotSyncStarted), 0);
  WriteFile(data_, afterSync);  // what the conduit leaves
  WriteFile(kept_, keptBytes_);
  ASSERT_EQ(frame->OnHotSyncNotify(kHotSyncEndedNormally), 0);
  EXPECT_EQ(app_->GetStore(), nullptr);  // never shown deciphered with the old key
  EXPECT_EQ(ReadFile(data_), afterSync);

  typed_ = {QStringLiteral("old-pw")};
  auto loggedIn = WhenShown<CUserDlg>([](CUserDlg* dialog) {
    dialog->Password()->setText(QStringLiteral("new-pw"));
    dialog->OkButton()->click();
  });
  ASSERT_TRUE(SpinUntil([&] { return app_->GetStore() != nullptr && *loggedIn; }));
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0].textId, kIdsPasswordChangedOnHandheld);
  EXPECT_EQ(messages_[1].textId, kIdsKeptMemosRestored);
  ASSERT_EQ(prompts_.size(), 1u);
  EXPECT_EQ(prompts_[0].textId, kIdsEnterOldPassword);
  DrainEvents();
  EXPECT_EQ(Column(0), (Texts{"current memo", "kept diary memo", "kept work memo"}));
  EXPECT_FALSE(Exists(kept_));
}

// The store cannot be written (its file was read only in part, and saving would drop
// the rest): the merge is dropped from memory and the kept file stays, so nothing is
// lost and nothing is doubled at the next login.
TEST_F(KeptMemoLoginTest, AMergeThatCannotBeSavedKeepsTheFile) {
  RecordFileFixture damaged;
  damaged.categories = {"Unfiled", "Work"};
  damaged.password = "new-pw";
  damaged.memos = {{1, 1, "current memo"}, {2, 0, "cut short"}};
  std::vector<std::uint8_t> bytes = BuildRecordFile(damaged);
  bytes.resize(bytes.size() - 5);
  WriteFile(data_, bytes);

  typed_ = {QStringLiteral("old-pw")};
  auto app = StartLoggedIn(sato_, "new-pw");
  ASSERT_EQ(prompts_.size(), 1u);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, kIdsKeptMemosNotRestored);
  ASSERT_EQ(app->GetStore()->RecordCount(), 1);
  EXPECT_EQ(StoredMemoText(*app->GetStore()->RecordAt(0)), "current memo");
  EXPECT_TRUE(Exists(kept_));
  EXPECT_EQ(ReadFile(kept_), keptBytes_);
  EXPECT_EQ(ReadFile(data_), bytes);
}

}  // namespace
}  // namespace tallimor::test
