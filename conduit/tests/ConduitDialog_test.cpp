// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The HotSync action dialog on Qt's offscreen platform: how a record selects the
// buttons and fills the current settings, what OK and Cancel write back, help, the
// pictures; then the two configuration calls of libTallimorC.so driven through dlopen
// while a timer works the modal dialog as a user would.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "conduit/CActionDlg.h"
#include "hotsync/plugin/ConduitInterface.h"
#include "conduit/tests/ActionDialogDriver.h"
#include "conduit/tests/UrlRecorder.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

ConduitConfigRecord Record(std::int32_t defaultType, std::int32_t nextType,
                           std::uint32_t creator = 0x546C6D72) {
  ConduitConfigRecord record{};
  record.version = 1;
  record.size = 352;
  record.creator = creator;
  record.userId = 7;
  std::strcpy(record.userName, "Taro");
  record.defaultSyncType = defaultType;
  record.nextSyncType = nextType;
  record.chosenSyncType = -99;
  record.preference = -99;
  return record;
}

QAbstractButton* Button(const CActionDlg& dialog, int id) {
  return static_cast<QAbstractButton*>(dialog.control(id));
}

QString Text(const CActionDlg& dialog, int id) {
  return static_cast<QLabel*>(dialog.control(id))->text();
}

// The id of the one checked action button; 0 when none or several are checked.
int CheckedAction(const CActionDlg& dialog) {
  int checked = 0;
  for (int id = CActionDlg::kIdSynchronize; id <= CActionDlg::kIdDoNothing; ++id) {
    if (Button(dialog, id)->isChecked()) checked = checked == 0 ? id : -1;
  }
  return checked < 0 ? 0 : checked;
}

// Runs the dialog modally while `user` acts on it; returns how it ended.
int ExecWith(QDialog& dialog, const std::function<void()>& user) {
  QTimer::singleShot(0, &dialog, user);
  return dialog.exec();
}

TEST(ConduitDialog, NextSyncTypeSelectsTheButtonAndOkMapsItBack) {
  struct Row {
    std::int32_t next;
    int button;
    std::int32_t written;
    const char* text;
  };
  const Row rows[] = {
      {-1, 407, 6, "Do Nothing."},
      {0, 404, 0, "Synchronize the files."},
      {1, 404, 0, "Synchronize the files."},  // slow is shown, and written, as synchronize
      {2, 406, 2, "Palm organizer overwrites Desktop."},
      {3, 405, 3, "Desktop overwrites Palm organizer."},
      {4, 407, 6, "Do Nothing."},
      {5, 407, 6, "Do Nothing."},
      {6, 407, 6, "Do Nothing."},
      {7, 407, 6, "Do Nothing."},
      {100, 407, 6, "Do Nothing."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.next);
    ConduitConfigRecord record = Record(0, row.next);
    CActionDlg dialog(&record, CActionDlg::kDialogCfgConduit);
    EXPECT_EQ(CheckedAction(dialog), row.button);
    EXPECT_EQ(Text(dialog, CActionDlg::kIdNextAction).toStdString(), row.text);
    EXPECT_EQ(ExecWith(dialog, [&] { Button(dialog, CActionDlg::kIdOk)->click(); }),
              CActionDlg::kEndedOk);
    EXPECT_EQ(record.chosenSyncType, row.written);
    EXPECT_EQ(record.preference, kSyncPreferenceNextOnly);
  }
}

TEST(ConduitDialog, ShowsTheUsersCurrentSettings) {
  ConduitConfigRecord record = Record(2, 3);
  CActionDlg dialog(&record, CActionDlg::kDialogCfgConduit);
  EXPECT_EQ(dialog.windowTitle().toStdString(), "Generic Conduit");
  EXPECT_EQ(static_cast<QGroupBox*>(dialog.control(CActionDlg::kIdActionGroup))->title().toStdString(),
            "HotSync Action for Generic Conduit");
  auto* settings = static_cast<QGroupBox*>(dialog.control(CActionDlg::kIdCurrentSettings));
  EXPECT_FALSE(settings->isHidden());
  EXPECT_EQ(settings->title().toStdString(), "Taro's Current Settings:");
  EXPECT_EQ(Text(dialog, CActionDlg::kIdDefaultAction).toStdString(), "Palm organizer overwrites Desktop.");
  EXPECT_EQ(Text(dialog, CActionDlg::kIdNextAction).toStdString(), "Desktop overwrites Palm organizer.");
  // The two settings are captioned with the conduit's own wording, nothing added.
  QStringList captions;
  for (QLabel* label : settings->findChildren<QLabel*>()) {
    if (label != dialog.control(CActionDlg::kIdDefaultAction) &&
        label != dialog.control(CActionDlg::kIdNextAction)) {
      captions.append(label->text());
    }
  }
  EXPECT_EQ(captions, (QStringList{"Default HotSync Action", "Next HotSync Action"}));

  // The default maps like the buttons: negative and unknown types read "Do Nothing."
  for (std::int32_t type : {-5, 6, 9}) {
    ConduitConfigRecord other = Record(type, 0);
    CActionDlg shown(&other, CActionDlg::kDialogCfgConduit);
    EXPECT_EQ(Text(shown, CActionDlg::kIdDefaultAction).toStdString(), "Do Nothing.");
  }
}

TEST(ConduitDialog, UserNameIsCodePage932) {
  ConduitConfigRecord record = Record(0, 0);
  std::memcpy(record.userName, "\x91\xbe\x98\x59", 5);  // 太郎
  std::memset(record.pathName, 'p', sizeof record.pathName);
  CActionDlg dialog(&record, CActionDlg::kDialogCfgConduit);
  auto* settings = static_cast<QGroupBox*>(dialog.control(CActionDlg::kIdCurrentSettings));
  EXPECT_EQ(settings->title(), QString::fromUtf8("太郎's Current Settings:"));

  // A name that fills its field without a NUL is read up to the field's end.
  std::memset(record.userName, 'A', sizeof record.userName);
  CActionDlg unterminated(&record, CActionDlg::kDialogCfgConduit);
  auto* title = static_cast<QGroupBox*>(unterminated.control(CActionDlg::kIdCurrentSettings));
  EXPECT_EQ(title->title(), QString(64, QChar('A')) + "'s Current Settings:");
}

TEST(ConduitDialog, WithoutUserContextTheSettingsStayEmpty) {
  ConduitConfigRecord record = Record(3, 2, /*creator=*/0);
  CActionDlg dialog(&record, CActionDlg::kDialogConfigureConduit);
  EXPECT_EQ(CheckedAction(dialog), 406);  // the buttons are still set from the next type
  EXPECT_TRUE(dialog.control(CActionDlg::kIdCurrentSettings)->isHidden());
  EXPECT_TRUE(Text(dialog, CActionDlg::kIdDefaultAction).isEmpty());
  EXPECT_TRUE(Text(dialog, CActionDlg::kIdNextAction).isEmpty());
}

TEST(ConduitDialog, OkWritesTheChoiceAndItsPreferenceOnly) {
  ConduitConfigRecord record = Record(0, 0);
  const ConduitConfigRecord before = record;
  CActionDlg dialog(&record, CActionDlg::kDialogCfgConduit);
  const int ended = ExecWith(dialog, [&] {
    Button(dialog, 405)->click();
    Button(dialog, 407)->click();  // a click checks that button alone
    EXPECT_EQ(CheckedAction(dialog), 407);
    Button(dialog, 406)->click();
    Button(dialog, CActionDlg::kIdSetAsDefault)->click();
    Button(dialog, CActionDlg::kIdOk)->click();
  });
  EXPECT_EQ(ended, CActionDlg::kEndedOk);
  EXPECT_EQ(record.chosenSyncType, 2);
  EXPECT_EQ(record.preference, kSyncPreferenceDefault);
  EXPECT_EQ(std::memcmp(&record, &before, offsetof(ConduitConfigRecord, chosenSyncType)), 0);
}

TEST(ConduitDialog, CancelAndEscapeLeaveTheRecordAlone) {
  ConduitConfigRecord record = Record(0, 0);
  const ConduitConfigRecord before = record;
  CActionDlg dialog(&record, CActionDlg::kDialogCfgConduit);
  EXPECT_EQ(ExecWith(dialog,
                     [&] {
                       Button(dialog, 405)->click();
                       Button(dialog, CActionDlg::kIdCancel)->click();
                     }),
            CActionDlg::kEndedCancel);
  CActionDlg again(&record, CActionDlg::kDialogCfgConduit);
  EXPECT_EQ(ExecWith(again, [&] { QTest::keyClick(&again, Qt::Key_Escape); }),
            CActionDlg::kEndedCancel);
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST(ConduitDialog, NullRecordInitialisesNothingAndOkWritesNothing) {
  CActionDlg dialog(nullptr, CActionDlg::kDialogCfgConduit);
  EXPECT_EQ(CheckedAction(dialog), 0);
  EXPECT_TRUE(dialog.windowTitle().isEmpty());
  EXPECT_EQ(ExecWith(dialog, [&] { Button(dialog, CActionDlg::kIdOk)->click(); }),
            CActionDlg::kEndedOk);
}

TEST(ConduitDialog, HelpOpensThePageBesideTheLibrary) {
  testing::UrlRecorder recorder;
  ConduitConfigRecord record = Record(0, 0);
  CActionDlg dialog(&record, CActionDlg::kDialogCfgConduit);
  Button(dialog, CActionDlg::kIdHelp)->click();
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  QTest::keyClick(&dialog, Qt::Key_F1);
  dialog.hide();

  // The dialog is linked into this program here, so the page belongs beside it.
  const QString expected = QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() +
                           "/hotsyncd.html";
  EXPECT_EQ(CActionDlg::HelpPagePath(), expected);
  ASSERT_EQ(recorder.urls().size(), 2);
  for (const QUrl& url : recorder.urls()) EXPECT_EQ(url, QUrl::fromLocalFile(expected));
}

// An installed conduit has no page beside it: it finds the one installed with the
// documentation, through the path the build computed from the library's directory.
TEST(ConduitDialog, HelpPageBesideTheLibraryElseAmongTheInstalledDocs) {
  namespace fs = std::filesystem;
  const tallimor::testing::TempDir scratch("help");
  const fs::path prefix(scratch.path());
  // Deep enough that the way up to the documentation stays inside the scratch directory
  // whatever the library directory's depth (lib/<multiarch>/tallimor under /usr).
  const fs::path libraryDir = prefix / "p" / "lib" / "multiarch" / "tallimor";
  fs::create_directories(libraryDir);
  const std::string directory = libraryDir.string() + "/";
  const std::string installed = directory + TALLIMOR_HELP_FROM_LIBRARY "/hotsyncd.html";
  const auto write = [](const fs::path& page) {
    fs::create_directories(page.parent_path());
    std::ofstream(page) << "<html></html>";
  };

  // Nothing installed yet: the installed place is still the answer, never a guess beside.
  EXPECT_EQ(CActionDlg::HelpPageFor(directory), installed);
  // The installed place is outside the library directory, within the prefix.
  const fs::path resolved = fs::weakly_canonical(installed);
  EXPECT_EQ(resolved.filename(), "hotsyncd.html");
  EXPECT_NE(resolved.parent_path(), fs::weakly_canonical(libraryDir));
  ASSERT_EQ(resolved.string().rfind(fs::weakly_canonical(prefix).string() + "/", 0), 0u)
      << resolved;

  write(resolved);
  EXPECT_EQ(CActionDlg::HelpPageFor(directory), installed);
  EXPECT_TRUE(fs::exists(CActionDlg::HelpPageFor(directory)));

  // A page beside the library (the build tree) wins.
  write(libraryDir / "hotsyncd.html");
  EXPECT_EQ(CActionDlg::HelpPageFor(directory), directory + "hotsyncd.html");
}

TEST(ConduitDialog, PicturesFollowTheButtonFace) {
  ConduitConfigRecord record = Record(0, 0);
  CActionDlg dialog(&record, CActionDlg::kDialogCfgConduit);
  std::array<QImage, 4> images;
  for (int i = 0; i < 4; ++i) {
    const QPixmap picture = static_cast<QLabel*>(dialog.control(1000 + i))->pixmap();
    ASSERT_FALSE(picture.isNull());
    images[i] = picture.toImage();
    EXPECT_EQ(images[i].pixelColor(0, 0), dialog.palette().color(QPalette::Button));
    for (int j = 0; j < i; ++j) EXPECT_NE(images[i], images[j]) << i << " " << j;
  }

  QPalette palette = dialog.palette();
  palette.setColor(QPalette::Button, QColor(10, 200, 30));
  dialog.setPalette(palette);
  for (int i = 0; i < 4; ++i) {
    const QImage redrawn = static_cast<QLabel*>(dialog.control(1000 + i))->pixmap().toImage();
    EXPECT_EQ(redrawn.pixelColor(0, 0), QColor(10, 200, 30));
  }
}

// --- The configuration calls of the library, as the HotSync manager makes them -----

class ConduitDialogLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    library_ = dlopen(TALLIMOR_CONDUIT_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(library_, nullptr) << dlerror();
    cfg_ = reinterpret_cast<CfgConduitFn>(dlsym(library_, "CfgConduit"));
    configure_ = reinterpret_cast<ConfigureConduitFn>(dlsym(library_, "ConfigureConduit"));
    ASSERT_TRUE(cfg_ && configure_);
  }

  void* library_ = nullptr;
  CfgConduitFn cfg_ = nullptr;
  ConfigureConduitFn configure_ = nullptr;
};

TEST_F(ConduitDialogLibrary, CfgConduitReturnsTheChoiceInTheRecord) {
  ConduitConfigRecord record = Record(0, 2);
  std::uint32_t size = 352;
  testing::ActionDialogSeen seen;
  testing::AnswerActionDialog("&Desktop overwrites Palm organizer", true, true, &seen);
  EXPECT_EQ(cfg_(0, &record, &size), 0);
  EXPECT_EQ(seen.checked.toStdString(), "&Palm organizer overwrites Desktop");
  EXPECT_TRUE(seen.labels.contains("Synchronize the files."));  // the default, 0
  EXPECT_EQ(record.chosenSyncType, 3);
  EXPECT_EQ(record.preference, kSyncPreferenceDefault);

  // Cancel: 0 all the same, and the record as it was.
  const ConduitConfigRecord before = record;
  testing::AnswerActionDialog("Do &nothing", false, false, &seen);
  EXPECT_EQ(cfg_(0, &record, &size), 0);
  EXPECT_EQ(std::memcmp(&record, &before, sizeof record), 0);
}

TEST_F(ConduitDialogLibrary, ConfigureConduitWritesThePreferenceOnOkOnly) {
  SyncPreferenceRecord preference{};
  preference.preference = kSyncPreferenceDefault;
  preference.syncType = 2;
  testing::ActionDialogSeen seen;
  testing::AnswerActionDialog("Do &nothing", false, true, &seen);
  EXPECT_EQ(configure_(&preference), 0);
  EXPECT_EQ(seen.checked.toStdString(), "&Palm organizer overwrites Desktop");
  EXPECT_EQ(preference.syncType, 6);
  EXPECT_EQ(preference.preference, kSyncPreferenceNextOnly);

  const SyncPreferenceRecord before = preference;
  testing::AnswerActionDialog("&Synchronize the files", true, false, &seen);
  EXPECT_EQ(configure_(&preference), -1);
  EXPECT_EQ(std::memcmp(&preference, &before, sizeof preference), 0);
}

}  // namespace
}  // namespace tallimor
