// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI tests' sandbox and record file writer. The writer lays out header, app info
// block and record images itself and enciphers with Blowfish block by block (big-endian
// halves), so the desktop code is checked against bytes it did not produce.
#include "desktop/tests/GuiTestSupport.h"

#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QThread>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "crypto/CBlowfish.h"
#include "crypto/CMD5.h"
#include "hotsync/users/UserData.h"
#include "store/ByteOrder.h"

namespace tallimor::test {
namespace {

std::uint32_t FourCC(const char* c) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(c[0])) << 24 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c[1])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c[2])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(c[3]));
}

}  // namespace

std::vector<std::uint8_t> EncipherMemo(const std::string& text, const char* password) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  while (data.size() % 8 != 0) data.push_back(0);
  if (password == nullptr) return data;
  CBlowfish cipher;
  cipher.SetKey(password);
  for (size_t at = 0; at + 8 <= data.size(); at += 8) {
    std::uint32_t left = DecodeFixed32BE(data.data() + at), right = DecodeFixed32BE(data.data() + at + 4);
    cipher.EncryptBlock(left, right);
    EncodeFixed32BE(data.data() + at, left);
    EncodeFixed32BE(data.data() + at + 4, right);
  }
  return data;
}

std::vector<std::uint8_t> BuildRecordFile(const RecordFileFixture& fixture) {
  // App info data: 276-byte category table, 4 unused bytes, digest, hint and its NUL.
  std::vector<std::uint8_t> appData(296 + fixture.hint.size() + 1, 0);
  for (size_t i = 0; i < fixture.categories.size() && i < 16; ++i) {
    const std::string& name = fixture.categories[i];
    std::memcpy(&appData[2 + 16 * i], name.data(), std::min<size_t>(name.size(), 15));
    appData[258 + i] = static_cast<std::uint8_t>(i == 0 ? 0 : i);
  }
  appData[274] = static_cast<std::uint8_t>(fixture.categories.size() - 1);
  if (fixture.password != nullptr) {
    CMD5 md5;
    md5.Init();
    md5.Update(fixture.password, std::strlen(fixture.password));
    md5.Finalize();
    auto digest = md5.RawDigest();
    std::memcpy(&appData[280], digest->data(), 16);
  }
  std::memcpy(&appData[296], fixture.hint.data(), fixture.hint.size());

  std::vector<std::uint8_t> file(84, 0);
  EncodeFixed32LE(file.data(), 84);
  EncodeFixed16LE(file.data() + 4, 1);
  std::memcpy(&file[6], "TallimorDB", 10);
  EncodeFixed32LE(file.data() + 44, FourCC("Tlmr"));
  EncodeFixed32LE(file.data() + 48, FourCC("DATA"));
  EncodeFixed32LE(file.data() + 72, static_cast<std::uint32_t>(fixture.memos.size()));
  const std::uint32_t appInfoLength = 56 + static_cast<std::uint32_t>(appData.size());
  EncodeFixed32LE(file.data() + 76, appInfoLength);

  std::vector<std::uint8_t> block(56, 0);
  EncodeFixed32LE(block.data(), appInfoLength);
  EncodeFixed16LE(block.data() + 4, 4098);
  EncodeFixed32LE(block.data() + 8, 56);
  std::memcpy(&block[12], "TallimorDB", 10);
  EncodeFixed32LE(block.data() + 44, static_cast<std::uint32_t>(appData.size()));
  EncodeFixed32LE(block.data() + 48, static_cast<std::uint32_t>(appData.size()));
  block.insert(block.end(), appData.begin(), appData.end());
  file.insert(file.end(), block.begin(), block.end());

  for (const MemoFixture& memo : fixture.memos) {
    std::vector<std::uint8_t> data = EncipherMemo(memo.text, fixture.password);
    std::vector<std::uint8_t> image(40, 0);
    EncodeFixed32LE(image.data(), 40 + static_cast<std::uint32_t>(data.size()));
    EncodeFixed32LE(image.data() + 4, 4098);
    EncodeFixed32LE(image.data() + 8, 40);
    EncodeFixed32LE(image.data() + 16, memo.id);
    EncodeFixed32LE(image.data() + 28, static_cast<std::uint32_t>(memo.category));
    EncodeFixed32LE(image.data() + 36, static_cast<std::uint32_t>(data.size()));
    image.insert(image.end(), data.begin(), data.end());
    file.insert(file.end(), image.begin(), image.end());
  }
  return file;
}

void DesktopSandbox::SetUp() {
  dir_ = temp_.path();
  root_ = dir_ + "/root/";
  profile_ = dir_ + "/config/Tallimor.ini";
  ::mkdir((dir_ + "/run").c_str(), 0700);
  ::mkdir(root_.c_str(), 0700);
  // The message socket and the single-instance lock go to this test's own directory.
  setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
  messages_.clear();
  answer_ = kIdOk;
  typed_.clear();
  prompts_.clear();
}

void DesktopSandbox::TearDown() {
  DrainEvents();
}

std::int32_t DesktopSandbox::AddUser(const std::string& name, std::uint32_t id,
                                     const RecordFileFixture* fixture) {
  UserData users(root_);
  HotSyncUser added;
  EXPECT_EQ(users.AddUser(name, id, &added), kOk) << name;
  if (fixture != nullptr) {
    std::string dir = root_ + added.directory + "/Tallimor-Vexa";
    ::mkdir(dir.c_str(), 0700);
    std::vector<std::uint8_t> bytes = BuildRecordFile(*fixture);
    std::ofstream(dir + "/record.dat", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  return static_cast<std::int32_t>(added.id);
}

std::string DesktopSandbox::DataPath(std::int32_t id) const {
  UserData users(root_);
  HotSyncUser user;
  EXPECT_EQ(users.FindUser(static_cast<std::uint32_t>(id), &user), kOk);
  return root_ + user.directory + "/Tallimor-Vexa/record.dat";
}

std::vector<std::uint8_t> DesktopSandbox::ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::unique_ptr<CDesktopApp> DesktopSandbox::MakeApp() {
  DesktopOptions options;
  options.hotSyncRoot = root_;
  options.profilePath = profile_;
  options.executableName = "tallimor";
  auto app = std::make_unique<CDesktopApp>(options);
  app->SetMessageHook([this](int textId, int captionId, unsigned flags, const QString&) {
    messages_.push_back({textId, captionId, flags});
    return answer_;
  });
  app->SetPasswordHook([this](int captionId, int textId, const QString& text) {
    prompts_.push_back({captionId, textId, text});
    if (typed_.empty()) return std::optional<QString>();
    std::optional<QString> typed = typed_.front();
    typed_.pop_front();
    return typed;
  });
  return app;
}

std::unique_ptr<CDesktopApp> DesktopSandbox::StartApp() {
  auto app = MakeApp();
  EXPECT_EQ(app->Start(), kOk);
  return app;
}

std::unique_ptr<CDesktopApp> DesktopSandbox::StartLoggedIn(std::int32_t userId,
                                                           const char* password) {
  auto app = StartApp();
  bool success = false;
  EXPECT_EQ(app->OpenUserData(userId, password ? password : "", &success), kOk);
  EXPECT_TRUE(success);
  DrainEvents();
  return app;
}

bool DesktopSandbox::SpinUntil(const std::function<bool()>& done, int ms) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

std::vector<std::string> ControlTexts(const QWidget& window) {
  std::vector<std::string> texts;
  for (const QObject* child : window.children()) {
    if (const auto* label = qobject_cast<const QLabel*>(child)) {
      if (!label->text().isEmpty()) texts.push_back(label->text().toStdString());  // not the icon
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(child)) {
      texts.push_back(button->text().toStdString());
    } else if (const auto* group = qobject_cast<const QGroupBox*>(child)) {
      texts.push_back(group->title().toStdString());
    }
  }
  return texts;
}

void DesktopSandbox::DrainEvents() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

}  // namespace tallimor::test
