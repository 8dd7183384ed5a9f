// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The program when another program got in the way of a save: every save path (Save
// All, the HotSync start, switching users, exit) says so, names the other program, and
// on Yes reads the file anew with the unsaved edits on top; on No every edit stays in
// memory for a later save. And one desktop program per user, whatever its runtime
// directory: the second is refused at login with a message.
#include <sys/stat.h>

#include <QString>
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>

#include "desktop/CMainDlgView.h"
#include "desktop/CMainFrame.h"
#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "desktop/UserDataLock.h"
#include "desktop/resources/CommandIds.h"
#include "desktop/resources/StringTable.h"
#include "desktop/tests/GuiTestSupport.h"
#include "notifier/HotSyncNotification.h"
#include "store/LockedFile.h"

namespace tallimor::test {
namespace {

constexpr char kPassword[] = "secret";

class SaveConflictTest : public DesktopSandbox {
 protected:
  void SetUp() override {
    DesktopSandbox::SetUp();
    fixture_.categories = {"Unfiled", "Business"};
    fixture_.password = kPassword;
    fixture_.memos = {{101, 0, "on file"}, {102, 1, "edited here"}};
    user_ = AddUser("Taro", 3001, &fixture_);
    RecordFileFixture other;
    other.memos = {{201, 0, "Hanako's"}};
    other_ = AddUser("Hanako", 3002, &other);
  }

  // Answers message boxes from `answers_` by text id (Yes when none is given) and keeps
  // each full text shown.
  std::unique_ptr<CDesktopApp> LoggedIn() {
    auto app = StartLoggedIn(user_, kPassword);
    app->SetMessageHook([this](int textId, int, unsigned, const QString& text) {
      shown_.push_back({textId, text});
      auto answer = answers_.find(textId);
      if (answer == answers_.end()) return kIdYes;
      const int button = answer->second.front();
      if (answer->second.size() > 1) answer->second.erase(answer->second.begin());
      return button;
    });
    return app;
  }

  // The memos typed in the open program: a new one and an edit.
  static void TypeEdits(CDesktopApp& app) {
    CProtectedRecordFile* store = app.GetStore();
    for (std::int32_t slot = 0; slot < store->HighWater(); ++slot) {
      CPRecord* record = store->RecordAt(slot);
      if (record != nullptr && StoredMemoText(*record) == "edited here") {
        ASSERT_EQ(StoreMemo(*record, "edited here, unsaved"), kOk);
        store->MarkModified(slot, true);
      }
    }
    ASSERT_EQ(StoreMemo(*store->AddEmptyRecord(), "typed, unsaved"), kOk);
  }

  // Another program rewrites the file: the memos of the fixture and one of its own.
  void RewriteFile(bool asHotSync) {
    RecordFileFixture rewritten = fixture_;
    rewritten.memos.push_back({103, 0, "from the other program"});
    if (asHotSync) std::ofstream(UserDirectory() + "/HotSync.log", std::ios::app) << "run\n";
    const std::vector<std::uint8_t> bytes = BuildRecordFile(rewritten);
    std::ofstream(DataPath(user_), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  std::string UserDirectory() const {
    const std::string path = DataPath(user_);
    return path.substr(0, path.size() - std::string("/Tallimor-Vexa/record.dat").size());
  }

  // The file's live memos, sorted.
  std::vector<std::string> FileMemos() const {
    CProtectedRecordFile disk(DataPath(user_), kPassword);
    EXPECT_EQ(disk.Load(), kOk);
    return Texts(disk);
  }
  static std::vector<std::string> Texts(const CPRecordFile& store) {
    std::vector<std::string> texts;
    for (std::int32_t slot = 0; slot < store.HighWater(); ++slot) {
      const CPRecord* record = store.RecordAt(slot);
      if (record != nullptr && !record->IsDeleted()) texts.emplace_back(StoredMemoText(*record));
    }
    std::sort(texts.begin(), texts.end());
    return texts;
  }
  std::vector<int> ShownIds() const {
    std::vector<int> ids;
    for (const auto& [id, text] : shown_) ids.push_back(id);
    return ids;
  }

  RecordFileFixture fixture_;
  std::int32_t user_ = 0;
  std::int32_t other_ = 0;
  std::vector<std::pair<int, QString>> shown_;
  std::map<int, std::vector<int>> answers_;
  const std::vector<std::string> before_ = {"edited here", "from the other program", "on file"};
  const std::vector<std::string> merged_ = {"edited here, unsaved", "from the other program", "on file",
                                            "typed, unsaved"};
  const std::vector<std::string> inMemory_ = {"edited here, unsaved", "on file", "typed, unsaved"};
};

TEST_F(SaveConflictTest, SaveAllOffersTheReloadAndNamesHotSync) {
  auto app = LoggedIn();
  TypeEdits(*app);
  RewriteFile(true);
  const int reloads = app->MainView()->ReloadCount();

  answers_[kIdsFileChangedReload] = {kIdNo};
  app->MainFrame()->OnCommand(kCmdSaveAll);
  ASSERT_EQ(ShownIds(), std::vector<int>{kIdsFileChangedReload});
  EXPECT_TRUE(shown_[0].second.startsWith(QStringLiteral("HotSync がデータファイルを書き換えていたため")))
      << shown_[0].second.toStdString();
  // Declined: the file keeps the other program's work, memory keeps the edits.
  EXPECT_EQ(FileMemos(), before_);
  EXPECT_EQ(Texts(*app->GetStore()), inMemory_);
  EXPECT_TRUE(app->GetStore()->IsDirty());

  answers_.clear();
  shown_.clear();
  app->MainFrame()->OnCommand(kCmdSaveAll);  // tried again later: accepted this time
  EXPECT_EQ(ShownIds(), std::vector<int>{kIdsFileChangedReload});
  EXPECT_EQ(FileMemos(), merged_);
  EXPECT_EQ(Texts(*app->GetStore()), merged_);
  EXPECT_FALSE(app->GetStore()->IsDirty());
  EXPECT_TRUE(SpinUntil([&] { return app->MainView()->ReloadCount() > reloads; }));
  EXPECT_EQ(app->MainFrame()->PaneText(kPaneMessage).toStdString(), LoadString(kIdsReloadedWithEdits));
}

// Without a HotSync run in the user's log, the other writer was another Tallimor.
TEST_F(SaveConflictTest, AFileRewrittenWithoutAHotSyncNamesAnotherTallimor) {
  auto app = LoggedIn();
  TypeEdits(*app);
  RewriteFile(false);
  app->MainFrame()->OnCommand(kCmdSaveAll);
  ASSERT_EQ(ShownIds(), std::vector<int>{kIdsFileChangedReload});
  EXPECT_TRUE(shown_[0].second.startsWith(QStringLiteral("別の Tallimor デスクトップ がデータファイルを")))
      << shown_[0].second.toStdString();
  EXPECT_EQ(FileMemos(), merged_);
}

// A HotSync holds the file for its whole run: the program asks again while it does,
// and reads the file once it is free.
TEST_F(SaveConflictTest, AFileHeldByAHotSyncIsAskedAboutUntilItIsFree) {
  auto app = LoggedIn();
  TypeEdits(*app);
  std::ofstream(UserDirectory() + "/HotSync.log", std::ios::app) << "run\n";
  auto held = std::make_unique<LockedFile>();
  ASSERT_EQ(held->Open(DataPath(user_), LockedFile::Mode::kReadWriteExisting), kOk);
  int asked = 0;
  app->SetMessageHook([&](int textId, int, unsigned, const QString& text) {
    shown_.push_back({textId, text});
    if (textId == kIdsFileHeldReload && ++asked == 2) {
      // The conduit writes its result and lets the file go.
      held.reset();
      RewriteFile(false);
    }
    return kIdYes;
  });
  app->MainFrame()->OnCommand(kCmdSaveAll);
  EXPECT_EQ(ShownIds(), (std::vector<int>{kIdsFileHeldReload, kIdsFileHeldReload}));
  EXPECT_TRUE(shown_[0].second.startsWith(QStringLiteral("HotSync がデータファイルを使用中"))) << shown_[0].second.toStdString();
  EXPECT_EQ(FileMemos(), merged_);
}

// At the HotSync start a conflict refuses the HotSync through the notifier's answer;
// once the notifier has it, the user is asked, and the HotSync can run again.
TEST_F(SaveConflictTest, TheHotSyncStartRefusesAndThenOffersTheReload) {
  auto app = LoggedIn();
  TypeEdits(*app);
  RewriteFile(true);
  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncStarted), 1);
  EXPECT_TRUE(shown_.empty());  // not inside the notifier's call
  EXPECT_EQ(FileMemos(), before_);
  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncEndedAbnormally), 0);
  EXPECT_TRUE(SpinUntil([&] { return !shown_.empty(); }));
  ASSERT_EQ(ShownIds(), std::vector<int>{kIdsFileChangedReload});
  EXPECT_TRUE(shown_[0].second.endsWith(QString::fromUtf8(LoadString(kIdsHotSyncStoppedForSave))));
  EXPECT_EQ(FileMemos(), merged_);
  // The next HotSync start finds nothing in the way.
  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncStarted), 0);
  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncEndedNormally), 0);
  EXPECT_EQ(Texts(*app->GetStore()), merged_);
}

// A dialog opened before the refusal's notice came may hold record indexes: the notice
// then only tells, and the edits wait for a later save.
TEST_F(SaveConflictTest, UnderADialogOpenedMeanwhileTheHotSyncNoticeOnlyTells) {
  auto app = LoggedIn();
  TypeEdits(*app);
  RewriteFile(true);
  EXPECT_EQ(app->MainFrame()->OnHotSyncNotify(kHotSyncStarted), 1);
  app->DialogOpened(0);
  EXPECT_TRUE(SpinUntil([&] { return !shown_.empty(); }));
  EXPECT_EQ(ShownIds(), std::vector<int>{kIdsSaveFailedHotSync});
  EXPECT_EQ(Texts(*app->GetStore()), inMemory_);
  EXPECT_EQ(FileMemos(), before_);
  app->DialogOpened(1);
}

// Exit: declining the reload leaves the choice to give the edits up, whose default
// keeps the program open; accepting it saves and lets the program end.
TEST_F(SaveConflictTest, ExitNeverDropsTheEditsWithoutAsking) {
  auto app = LoggedIn();
  TypeEdits(*app);
  RewriteFile(true);
  answers_[kIdsFileChangedReload] = {kIdNo};
  answers_[kIdsSaveFailedExit] = {kIdNo};
  EXPECT_FALSE(app->MainFrame()->close());
  EXPECT_EQ(ShownIds(), (std::vector<int>{kIdsFileChangedReload, kIdsSaveFailedExit}));
  EXPECT_EQ(Texts(*app->GetStore()), inMemory_);
  EXPECT_EQ(FileMemos(), before_);

  answers_.clear();
  shown_.clear();
  EXPECT_TRUE(app->MainFrame()->close());
  EXPECT_EQ(ShownIds(), std::vector<int>{kIdsFileChangedReload});
  app->ExitInstance();
  EXPECT_EQ(FileMemos(), merged_);
}

// Switching users: a declined reload and a declined give-up keep the current user.
TEST_F(SaveConflictTest, SwitchingUsersPutsTheEditsBackFirst) {
  auto app = LoggedIn();
  TypeEdits(*app);
  RewriteFile(false);
  answers_[kIdsFileChangedReload] = {kIdNo};
  answers_[kIdsSaveFailedSwitch] = {kIdNo};
  bool success = true;
  EXPECT_EQ(app->OpenUserData(other_, "", &success), kErrFileChanged);
  EXPECT_FALSE(success);
  EXPECT_EQ(app->CurrentUserId(), user_);
  EXPECT_EQ(Texts(*app->GetStore()), inMemory_);

  answers_.clear();
  ASSERT_EQ(app->OpenUserData(other_, "", &success), kOk);
  EXPECT_TRUE(success);
  EXPECT_EQ(app->CurrentUserId(), other_);
  EXPECT_EQ(FileMemos(), merged_);
}

// A file that came under another password cannot take the edits: the user is told how
// to carry them over, and they stay in memory.
TEST_F(SaveConflictTest, AFileUnderANewPasswordKeepsTheEditsInMemory) {
  auto app = LoggedIn();
  TypeEdits(*app);
  RecordFileFixture rekeyed = fixture_;
  rekeyed.password = "new password";
  const std::vector<std::uint8_t> bytes = BuildRecordFile(rekeyed);
  std::ofstream(DataPath(user_), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  app->MainFrame()->OnCommand(kCmdSaveAll);
  EXPECT_EQ(ShownIds(), (std::vector<int>{kIdsFileChangedReload, kIdsEditsKeptKeyChanged}));
  EXPECT_EQ(ReadFile(DataPath(user_)), bytes);
  EXPECT_EQ(Texts(*app->GetStore()), inMemory_);
  EXPECT_TRUE(app->GetStore()->IsDirty());
}

// Two programs with runtime directories of their own: the single-instance lock cannot
// see the other, the user's lock does.
TEST_F(SaveConflictTest, ASecondProgramOnTheSameUserIsRefusedWhateverItsRuntimeDirectory) {
  auto first = LoggedIn();
  ::mkdir((dir_ + "/run2").c_str(), 0700);
  setenv("XDG_RUNTIME_DIR", (dir_ + "/run2").c_str(), 1);
  auto second = StartApp();
  ASSERT_NE(second->MainFrame(), nullptr);
  bool success = true;
  EXPECT_EQ(second->OpenUserData(user_, kPassword, &success), kErrUserOpenElsewhere);
  EXPECT_FALSE(success);
  EXPECT_EQ(second->GetStore(), nullptr);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0].textId, kIdsUserOpenElsewhere);

  // Another user is free to it; the first user is free once the first program ends.
  ASSERT_EQ(second->OpenUserData(other_, "", &success), kOk);
  EXPECT_TRUE(success);
  first->ExitInstance();
  ASSERT_EQ(second->OpenUserData(user_, kPassword, &success), kOk);
  EXPECT_TRUE(success);
  // Hanako's lock went with the switch: a third program may open her.
  UserDataLock third;
  EXPECT_EQ(third.Acquire(DataPath(other_)), kOk);
  EXPECT_EQ(UserDataLock().Acquire(DataPath(user_)), kErrUserOpenElsewhere);
  // Logging in again as the same user keeps the lock it holds.
  ASSERT_EQ(second->OpenUserData(user_, kPassword, &success), kOk);
  EXPECT_TRUE(success);
}

}  // namespace
}  // namespace tallimor::test
