// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the record.dat made for a user who has had no HotSync yet: its bytes are
// checked field by field against the handheld memo database's identity, a category
// table and digest built independently (OpenSSL's MD5), and the next login checks the
// password it carries.
#include <gtest/gtest.h>

#include <filesystem>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "protect/StoredMemo.h"
#include "protect/UserStore.h"
#include "store/ByteOrder.h"
#include "protect/tests/ProtectedFileWriter.h"
#include "tests/support/TempDir.h"
#include "store/tests/FaultInjectingFileSystem.h"

namespace tallimor {
namespace {

using testing::OpenSslBlowfish;
using testing::OpenSslMd5;
using testing::PlainMemo;
using testing::ReadBytes;

std::uint32_t PalmNow() { return static_cast<std::uint32_t>(std::time(nullptr) + 2082844800LL); }

class NewMemoDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    path_ = dir_ + "/user/Tallimor-Vexa/record.dat";
  }

  // Opens the user without a file, types one memo and saves: the file is made.
  void MakeWithOneMemo(const char* password, const std::string& memo) {
    std::unique_ptr<CProtectedRecordFile> store;
    UserStoreOutcome outcome;
    ASSERT_EQ(OpenUserStore(path_, password, store, &outcome), kOk);
    ASSERT_TRUE(outcome.opened);
    ASSERT_TRUE(outcome.check.fileMissing);
    ASSERT_EQ(StoreMemo(*store->AddEmptyRecord(), memo), kOk);
    ASSERT_EQ(store->Save(), kOk);
    // The store now has the new database's table: memos can be filed from here on.
    ASSERT_NE(store->Categories(), nullptr);
    ASSERT_NE(store->CategoryAt(0), nullptr);
    EXPECT_STREQ(store->CategoryAt(0)->Name(), "Unfiled");
  }

  // The app info data a new database must carry: Unfiled alone (index 0, id 0, nothing
  // changed, last id 0), four zero bytes, the digest, an empty hint.
  static std::vector<std::uint8_t> ExpectedAppData(const char* password) {
    std::vector<std::uint8_t> data = testing::CategoryTableBytes({"Unfiled"});
    data.insert(data.end(), 4, 0);
    std::array<std::uint8_t, 16> digest{};
    if (password != nullptr) digest = OpenSslMd5(password);
    data.insert(data.end(), digest.begin(), digest.end());
    data.push_back(0);
    return data;
  }

  tallimor::testing::TempDir temp_{"newdb"};  // removed after the test
  std::string dir_, path_;
};

TEST_F(NewMemoDatabaseTest, TheFileCarriesTheHandheldDatabasesIdentityUnfiledAndTheDigest) {
  const std::uint32_t before = PalmNow();
  MakeWithOneMemo("typed-pw", "first memo");
  const std::uint32_t after = PalmNow();
  const std::vector<std::uint8_t> b = ReadBytes(path_);
  ASSERT_GT(b.size(), 84u + 56u + 297u + 40u);

  // Header.
  EXPECT_EQ(DecodeFixed32LE(b.data() + 0), 84u);
  EXPECT_EQ(DecodeFixed16LE(b.data() + 4), 1u);  // version 1, as the conduit writes it from the handheld
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[6]), 32), std::string("TallimorDB") + std::string(22, '\0'));
  EXPECT_EQ(DecodeFixed32LE(b.data() + 40), 0u);
  // Creator 'Tlmr' and type 'DATA' as 32-bit values with the first letter most
  // significant, stored little-endian like every field.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[44]), 4), "rmlT");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[48]), 4), "ATAD");
  EXPECT_EQ(DecodeFixed16LE(b.data() + 52), 0x0008u);  // backed up, as the handheld makes it
  const std::uint32_t modified = DecodeFixed32LE(b.data() + 56), created = DecodeFixed32LE(b.data() + 64);
  EXPECT_GE(created, before);
  EXPECT_LE(created, after);
  EXPECT_EQ(modified, created);
  EXPECT_EQ(DecodeFixed32LE(b.data() + 68), 0u);  // never backed up
  EXPECT_EQ(DecodeFixed32LE(b.data() + 72), 1u);
  EXPECT_EQ(DecodeFixed32LE(b.data() + 76), 56u + 297u);
  EXPECT_EQ(DecodeFixed32LE(b.data() + 80), 0u);

  // App info block: named after the database, exactly as large as its data.
  const std::size_t block = 84;
  EXPECT_EQ(DecodeFixed32LE(b.data() + block), 56u + 297u);
  EXPECT_EQ(DecodeFixed16LE(b.data() + block + 4), 4098u);
  EXPECT_EQ(DecodeFixed32LE(b.data() + block + 8), 56u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&b[block + 12])), "TallimorDB");
  EXPECT_EQ(DecodeFixed32LE(b.data() + block + 44), 297u);
  EXPECT_EQ(DecodeFixed32LE(b.data() + block + 48), 297u);
  const std::vector<std::uint8_t> appData(b.begin() + block + 56, b.begin() + block + 56 + 297);
  EXPECT_EQ(appData, ExpectedAppData("typed-pw"));

  // The memo, new and enciphered with the typed password.
  const std::size_t record = block + 56 + 297;
  EXPECT_EQ(DecodeFixed32LE(b.data() + record + 16), 0u);
  EXPECT_EQ(b[record + 24], 0x08);
  const std::vector<std::uint8_t> stored(b.begin() + record + 40, b.end());
  EXPECT_EQ(OpenSslBlowfish("typed-pw", stored, true), PlainMemo("first memo"));

  struct stat st {};
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(NewMemoDatabaseTest, TheNextLoginRefusesAWrongPasswordAndOpensWithTheRightOne) {
  MakeWithOneMemo("typed-pw", "first memo");
  std::unique_ptr<CProtectedRecordFile> store;
  UserStoreOutcome outcome;
  for (const char* wrong : {"", "typed-PW", "anything"}) {
    ASSERT_EQ(OpenUserStore(path_, wrong, store, &outcome), kOk);
    EXPECT_FALSE(outcome.opened) << wrong;
    EXPECT_EQ(store, nullptr);
  }
  ASSERT_EQ(OpenUserStore(path_, "typed-pw", store, &outcome), kOk);
  ASSERT_TRUE(outcome.opened);
  EXPECT_TRUE(outcome.check.passwordSet);
  EXPECT_FALSE(outcome.check.fileMissing);
  EXPECT_EQ(outcome.loadResult, kOk);
  ASSERT_EQ(store->RecordCount(), 1);
  EXPECT_EQ(StoredMemoText(*store->RecordAt(0)), "first memo");
  std::string hint = "not read";
  EXPECT_EQ(ReadUserHint(path_, &hint), kOk);
  EXPECT_EQ(hint, "");
}

TEST_F(NewMemoDatabaseTest, AnEmptyPasswordMakesAFileWithoutDigestAndPlainMemos) {
  MakeWithOneMemo("", "open memo");
  const std::vector<std::uint8_t> b = ReadBytes(path_);
  const std::vector<std::uint8_t> appData(b.begin() + 84 + 56, b.begin() + 84 + 56 + 297);
  EXPECT_EQ(appData, ExpectedAppData(nullptr));
  const std::size_t record = 84 + 56 + 297;
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + record + 40, b.end()), PlainMemo("open memo"));
  const UserPasswordCheck check = CheckUserPassword(path_, "whatever");
  EXPECT_TRUE(check.accepted);
  EXPECT_FALSE(check.keyed);
}

// A first save is failed at each of its calls in turn: either the file stands whole
// with the memo, or there is no file (and no temporary) and the memo is still unsaved.
TEST_F(NewMemoDatabaseTest, AFirstSaveFailingAtAnyCallLeavesNoPartialFile) {
  FaultInjectingFileSystem faults;
  int calls = 0;
  for (int nth = 0; nth == 0 || nth <= calls; ++nth) {
    std::system(("rm -rf '" + dir_ + "/user'").c_str());
    std::unique_ptr<CProtectedRecordFile> store;
    UserStoreOutcome outcome;
    ASSERT_EQ(OpenUserStore(path_, "pw", store, &outcome), kOk);
    ASSERT_EQ(StoreMemo(*store->AddEmptyRecord(), "kept"), kOk);
    faults.FailCall(FileCall::kAny, nth, EIO);
    const Result saved = store->Save();
    if (nth == 0) {
      ASSERT_EQ(saved, kOk);
      calls = faults.Calls();
      continue;
    }
    std::vector<std::string> names;
    std::error_code missing;  // a failed mkdir leaves no directory at all
    for (const auto& e : std::filesystem::directory_iterator(dir_ + "/user/Tallimor-Vexa", missing)) {
      names.push_back(e.path().filename());
    }
    if (saved == kOk && faults.LastFailed() == FileCall::kRemove && names.size() == 2) {
      // The temporary linked into place could not be unlinked: a second name of the
      // new file, which the next writer clears away once nobody holds the file.
      EXPECT_FALSE(store->IsDirty());
      store.reset();
      faults.Heal();
      EXPECT_EQ(FileSystem::Default()->RemoveLeftTemporaries(path_, "."), 1u);
      continue;
    }
    if (saved == kOk) {
      EXPECT_EQ(names, std::vector<std::string>{"record.dat"}) << "call " << nth;
      EXPECT_FALSE(store->IsDirty());
    } else {
      EXPECT_TRUE(names.empty()) << "call " << nth << ": " << (names.empty() ? "" : names[0]);
      EXPECT_TRUE(store->IsDirty());
      store->SetDirty(false);
    }
  }
}

// A first save that cannot write its memos takes the file it made back, so the next
// HotSync still finds no desktop file and copies the handheld's data whole.
TEST_F(NewMemoDatabaseTest, AFirstSaveThatFailsLeavesNoFileBehind) {
  std::unique_ptr<CProtectedRecordFile> store;
  UserStoreOutcome outcome;
  ASSERT_EQ(OpenUserStore(path_, "pw", store, &outcome), kOk);
  const std::vector<std::uint8_t> tooLong(65488, 'x');  // above what one record image holds
  ASSERT_EQ(store->AddEmptyRecord()->SetData(static_cast<std::uint32_t>(tooLong.size()), tooLong.data()), kOk);
  EXPECT_EQ(store->Save(), kErrWrite);
  struct stat st {};
  EXPECT_NE(stat(path_.c_str(), &st), 0);
  store->SetDirty(false);  // the test gives the memo up
}

}  // namespace
}  // namespace tallimor
