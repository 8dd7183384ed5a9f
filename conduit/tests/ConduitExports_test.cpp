// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// libTallimorC.so as the HotSync manager sees it: loaded with dlopen, its six exports
// looked up by their plain names and called with records built byte by byte at the
// manager's offsets. This process makes no Qt application of its own, as a HotSync
// manager without a GUI does not; its display is taken away or given per test.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "hotsync/plugin/ConduitInterface.h"
#include "hotsync/plugin/SyncProperties.h"
#include "hotsync/handheld/SyncManager.h"
#include "store/ByteOrder.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;

// Records are built as bytes at the manager's offsets, in storage aligned as the
// manager's own records would be.
template <std::size_t N>
struct alignas(8) Bytes : std::array<std::uint8_t, N> {};

// An 80-byte request record: version, size, creator, user id, user name.
Bytes<80> Request(std::uint32_t version, std::uint32_t size) {
  Bytes<80> record{};
  EncodeFixed32LE(record.data(), version);
  EncodeFixed32LE(record.data() + 4, size);
  EncodeFixed32LE(record.data() + 8, 0x546C6D72);
  EncodeFixed32LE(record.data() + 12, 7);
  std::memcpy(record.data() + 16, "Taro", 4);
  return record;
}

// A 352-byte configuration record with the user "Taro" and both sync types 2.
Bytes<352> ConfigRecord() {
  Bytes<352> record{};
  EncodeFixed32LE(record.data(), 1);
  EncodeFixed32LE(record.data() + 4, 352);
  EncodeFixed32LE(record.data() + 8, 0x546C6D72);
  EncodeFixed32LE(record.data() + 12, 7);
  std::memcpy(record.data() + 16, "Taro", 4);
  EncodeFixed32LE(record.data() + 336, 2);
  EncodeFixed32LE(record.data() + 340, 2);
  EncodeFixed32LE(record.data() + 344, 0xA5A5A5A5);
  EncodeFixed32LE(record.data() + 348, 0xA5A5A5A5);
  return record;
}

std::int32_t Progress(const char*) { return 0; }

class ConduitExports : public ::testing::Test {
 protected:
  void SetUp() override {
    // Nothing here may reach a display: the manager of these tests has none.
    for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) unsetenv(variable);
    library_ = dlopen(TALLIMOR_CONDUIT_LIBRARY, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(library_, nullptr) << dlerror();
    open_ = reinterpret_cast<OpenConduitFn>(dlsym(library_, "OpenConduit"));
    name_ = reinterpret_cast<GetConduitNameFn>(dlsym(library_, "GetConduitName"));
    version_ = reinterpret_cast<GetConduitVersionFn>(dlsym(library_, "GetConduitVersion"));
    info_ = reinterpret_cast<GetConduitInfoFn>(dlsym(library_, "GetConduitInfo"));
    configure_ = reinterpret_cast<ConfigureConduitFn>(dlsym(library_, "ConfigureConduit"));
    cfg_ = reinterpret_cast<CfgConduitFn>(dlsym(library_, "CfgConduit"));
    ASSERT_TRUE(open_ && name_ && version_ && info_ && configure_ && cfg_);
  }
  void TearDown() override { SyncDetachHandheld(); }

  void* library_ = nullptr;
  OpenConduitFn open_ = nullptr;
  GetConduitNameFn name_ = nullptr;
  GetConduitVersionFn version_ = nullptr;
  GetConduitInfoFn info_ = nullptr;
  ConfigureConduitFn configure_ = nullptr;
  CfgConduitFn cfg_ = nullptr;
};

TEST_F(ConduitExports, OnlyTheSixEntryPointsAreVisible) {
  // Library internals that a careless build would export.
  for (const char* hidden : {"_ZN8tallimor17LoadConduitStringEiPci", "LogAddEntry",
                             "_ZN8tallimor11LogAddEntryEPKcii", "main"}) {
    EXPECT_EQ(dlsym(library_, hidden), nullptr) << hidden;
  }
}

TEST_F(ConduitExports, NameAndVersion) {
  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(name_(buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "Generic Conduit");
  EXPECT_EQ(name_(buffer, 5), 0);  // cut, but something was loaded
  EXPECT_STREQ(buffer, "Gene");
  EXPECT_EQ(name_(buffer, 1), -1);
  EXPECT_EQ(name_(nullptr, 64), -1);
  EXPECT_EQ(version_(), 0x0102);
}

TEST_F(ConduitExports, InfoChecksComeInOrder) {
  Bytes<80> good = Request(1, 80);
  Bytes<80> badVersion = Request(2, 80);
  Bytes<80> badSize = Request(1, 81);
  std::uint8_t out[64];
  std::uint32_t size = sizeof out;

  EXPECT_EQ(info_(1, nullptr, nullptr, nullptr), 4209);  // output first, even without a size
  EXPECT_EQ(info_(0, good.data(), out, nullptr), 4215);
  EXPECT_EQ(info_(0, nullptr, out, &size), 4212);
  EXPECT_EQ(info_(0, badVersion.data(), out, &size), 4213);
  EXPECT_EQ(info_(0, badSize.data(), out, &size), 4213);
  EXPECT_EQ(info_(7, nullptr, out, &size), 4208);
  EXPECT_EQ(info_(-1, nullptr, out, &size), 4208);

  ASSERT_EQ(info_(0, good.data(), out, &size), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "Generic Conduit");
  EXPECT_EQ(size, sizeof out);  // never written back
  size = 8;
  ASSERT_EQ(info_(0, good.data(), out, &size), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(out), "Generic");
  size = 1;
  EXPECT_EQ(info_(0, good.data(), out, &size), 4214);
}

TEST_F(ConduitExports, InfoWordsNeedFourBytes) {
  std::uint8_t out[8];
  std::memset(out, 0xEE, sizeof out);
  std::uint32_t size = 8;
  EXPECT_EQ(info_(1, nullptr, out, &size), 4211);
  EXPECT_EQ(info_(2, nullptr, out, &size), 4211);
  for (std::uint8_t b : out) EXPECT_EQ(b, 0xEE);  // nothing written
  EXPECT_EQ(size, 8u);

  size = 4;
  ASSERT_EQ(info_(1, nullptr, out, &size), 0);
  EXPECT_EQ(DecodeFixed32LE(out + 0), 0x10000000u);
  EXPECT_EQ(out[4], 0xEE);
  ASSERT_EQ(info_(2, nullptr, out, &size), 0);
  EXPECT_EQ(DecodeFixed32LE(out + 0), 0u);
}

TEST_F(ConduitExports, CfgConduitChecksComeInOrder) {
  Bytes<352> record = ConfigRecord();
  std::uint32_t size = 352;
  EXPECT_EQ(cfg_(0, nullptr, nullptr), 4212);
  EXPECT_EQ(cfg_(0, record.data(), nullptr), 4216);
  size = 351;
  EXPECT_EQ(cfg_(1, record.data(), &size), 4218);  // the size before the type
  size = 352;
  EXPECT_EQ(cfg_(1, record.data(), &size), 4217);
  EncodeFixed32LE(record.data(), 2);
  EXPECT_EQ(cfg_(1, record.data(), &size), 4217);  // the type before the version
  EXPECT_EQ(cfg_(0, record.data(), &size), 4219);
  EXPECT_EQ(size, 352u);
}

TEST_F(ConduitExports, DialogsWithoutDisplayChangeNothing) {
  // CfgConduit ignores a dialog that cannot be shown; the manager's record stays as it was.
  const Bytes<352> before = ConfigRecord();
  Bytes<352> record = before;
  std::uint32_t size = 352;
  EXPECT_EQ(cfg_(0, record.data(), &size), 0);
  EXPECT_EQ(record, before);

  // ConfigureConduit treats it as Cancel: -1, the preference untouched.
  Bytes<528> preference{};
  EncodeFixed32LE(preference.data() + 516, 1);
  EncodeFixed32LE(preference.data() + 520, 3);
  const Bytes<528> unchanged = preference;
  EXPECT_EQ(configure_(reinterpret_cast<SyncPreferenceRecord*>(preference.data())), -1);
  EXPECT_EQ(preference, unchanged);
  EXPECT_EQ(configure_(nullptr), -1);
}

TEST_F(ConduitExports, DialogBringsItsOwnApplicationWhenTheManagerHasNone) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ASSERT_EQ(QCoreApplication::instance(), nullptr);
  // The user, on the dialog's own event loop once the library has made its application.
  std::thread user([] {
    while (QCoreApplication::instance() == nullptr) std::this_thread::yield();
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
          QWidget* dialog = QApplication::activeModalWidget();
          for (QRadioButton* button : dialog->findChildren<QRadioButton*>()) {
            if (button->text() == "Do &nothing") button->click();
          }
          dialog->findChild<QCheckBox*>()->setChecked(true);
          dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        },
        Qt::QueuedConnection);
  });
  Bytes<352> record = ConfigRecord();
  std::uint32_t size = 352;
  EXPECT_EQ(cfg_(0, record.data(), &size), 0);
  user.join();
  EXPECT_EQ(DecodeFixed32LE(record.data() + 344), 6u);
  EXPECT_EQ(DecodeFixed32LE(record.data() + 348), 1u);
  EXPECT_EQ(QCoreApplication::instance(), nullptr);  // gone with the dialog
}

// A handheld in a fresh directory, attached, with a memo database of two records.
class ConduitEntryRun : public ConduitExports {
 protected:
  void SetUp() override {
    ConduitExports::SetUp();
    root_ = temp_.path();
    fs::create_directories(root_ + "/desktop");
    ASSERT_EQ(Handheld::Create(root_ + "/handheld", {"Taro", 7}, nullptr), kSyncErrNone);
    ASSERT_EQ(SyncAttachHandheld((root_ + "/handheld").c_str()), kSyncErrNone);

    std::uint32_t connection = 0;
    ASSERT_EQ(SyncOpenConduit(&connection), kSyncErrNone);
    DbCreateInfo create{};
    create.creator = 0x546C6D72;
    create.type = 0x44415441;
    std::strcpy(create.name, "TallimorDB");
    ASSERT_EQ(SyncCreateDB(&create), kSyncErrNone);
    // The category table: no renamed flags, "Unfiled" at index 0 with id 0.
    std::array<std::uint8_t, 276> table{};
    std::memcpy(table.data() + 2, "Unfiled", 7);
    DbBlockInfo block{};
    block.data = table.data();
    block.bufferSize = static_cast<std::uint16_t>(table.size());
    ASSERT_EQ(SyncWriteDBAppInfoBlock(create.handle, &block), kSyncErrNone);
    for (const char* text : {"memo-one", "memo-two"}) {
      std::vector<std::uint8_t> data(text, text + std::strlen(text) + 1);
      RawRecordInfo record{};
      record.handle = create.handle;
      record.data = data.data();
      record.recordSize = static_cast<std::uint32_t>(data.size());
      record.bufferSize = static_cast<std::uint16_t>(data.size());
      record.attributes = kSyncRecAttrDirty;
      ASSERT_EQ(SyncWriteRec(&record), kSyncErrNone);
    }
    ASSERT_EQ(SyncCloseDB(create.handle), kSyncErrNone);
    ASSERT_EQ(SyncCloseConduit(connection), kSyncErrNone);
    SyncDetachHandheld();
    ASSERT_EQ(SyncAttachHandheld((root_ + "/handheld").c_str()), kSyncErrNone);  // counts from 0
  }
  void TearDown() override {
    ConduitExports::TearDown();
  }

  SyncPropertiesRecord Properties(std::int32_t syncType) {
    SyncPropertiesRecord properties;
    properties.syncType = syncType;
    std::strcpy(properties.localDirectory, (root_ + "/desktop").c_str());
    std::strcpy(properties.localFileName, "record.dat");
    properties.remoteNames[0] = "TallimorDB";
    properties.remoteCount = 1;
    properties.creator = 0x546C6D72;
    properties.type = 0x44415441;
    return properties;
  }

  std::string DesktopFile() const {
    std::ifstream in(root_ + "/desktop/record.dat", std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  tallimor::testing::TempDir temp_{"conduit-run"};  // removed after the test
  std::string root_;
};

TEST_F(ConduitEntryRun, MissingProgressCallbackTouchesNothing) {
  SyncPropertiesRecord properties = Properties(0);
  EXPECT_EQ(open_(nullptr, &properties), -1);
  EXPECT_EQ(open_(&Progress, nullptr), -1);
  EXPECT_EQ(SyncCallCount(), 0u);
  EXPECT_FALSE(fs::exists(root_ + "/desktop/record.dat"));
}

TEST_F(ConduitEntryRun, PerformResultComesBackUnchanged) {
  SyncPropertiesRecord nothing = Properties(6);
  EXPECT_EQ(open_(&Progress, &nothing), 0);
  EXPECT_EQ(SyncCallCount(), 0u);  // "do nothing" opens no connection
  SyncPropertiesRecord tooLarge = Properties(8);
  EXPECT_EQ(open_(&Progress, &tooLarge), 4371);

  SyncDetachHandheld();  // a Sync Manager error passes through as it is
  SyncPropertiesRecord fast = Properties(0);
  EXPECT_EQ(open_(&Progress, &fast), kSyncErrNotConnected);
}

TEST_F(ConduitEntryRun, OneSynchronizationWritesTheDesktopFile) {
  SyncPropertiesRecord properties = Properties(2);  // handheld overwrites desktop
  ASSERT_EQ(open_(&Progress, &properties), 0);
  EXPECT_GT(SyncCallCount(), 0u);
  const std::string file = DesktopFile();
  EXPECT_NE(file.find(std::string("memo-one\0", 9)), std::string::npos);
  EXPECT_NE(file.find(std::string("memo-two\0", 9)), std::string::npos);
  EXPECT_NE(file.find("TallimorDB"), std::string::npos);
}

}  // namespace
}  // namespace tallimor
