// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the protected record store against files written independently (layout from
// the format tables, digest and cipher from OpenSSL): the password check, the hint,
// deciphering on load, enciphering on save in the handheld's byte order, round trips
// that leave the file byte for byte as it was, and the behaviour on damaged files and
// failed saves.
#include "protect/CProtectedRecordFile.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "crypto/CBlowfish.h"
#include "protect/PasswordInfo.h"
#include "protect/StoredMemo.h"
#include "protect/UserStore.h"
#include "protect/tests/ProtectedFileWriter.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

using testing::MemoSpec;
using testing::OpenSslBlowfish;
using testing::PlainMemo;
using testing::ProtectedFileBytes;
using testing::ProtectedFileSpec;
using testing::ReadBytes;
using testing::RecordImageOffset;
using testing::WriteBytes;

// "パスワード" in code page 932.
constexpr char kCp932Password[] = "\x83\x70\x83\x58\x83\x8f\x81\x5b\x83\x68";

// Five memos covering the shapes the handheld stores: two lines, double-byte text with
// the private and modified flags, a 13-byte record whose 5-byte tail stays plain, an
// empty deleted record, and an empty memo.
std::vector<MemoSpec> SampleMemos() {
  std::vector<MemoSpec> memos;
  memos.push_back({101, 0, 0x00, PlainMemo("hello\nworld")});
  memos.push_back({102, 1, 0x11, PlainMemo("\x93\xfa\x96\x7b\x8c\xea")});  // "日本語"
  memos.push_back({103, 0, 0x00, {'t', 'h', 'i', 'r', 't', 'e', 'e', 'n', 0, 0xA1, 0xB2, 0xC3, 0xD4}});
  memos.push_back({104, 0, 0x02, {}});
  memos.push_back({105, 1, 0x08, PlainMemo("")});
  return memos;
}

class ProtectedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    path_ = dir_ + "/record.dat";
  }

  ProtectedFileSpec Spec(const char* password) const {
    ProtectedFileSpec spec;
    spec.password = password;
    spec.hint = "the usual \x83\x71\x83\x93\x83\x67";  // "ヒント"
    spec.memos = SampleMemos();
    return spec;
  }

  std::vector<std::uint8_t> Write(const ProtectedFileSpec& spec) {
    std::vector<std::uint8_t> bytes = ProtectedFileBytes(spec);
    EXPECT_TRUE(WriteBytes(path_, bytes));
    return bytes;
  }

  // Opens `path_` for `password` the way the application does.
  std::unique_ptr<CProtectedRecordFile> Open(const char* password) {
    std::unique_ptr<CProtectedRecordFile> store;
    UserStoreOutcome outcome;
    EXPECT_EQ(OpenUserStore(path_, password, store, &outcome), kOk);
    EXPECT_TRUE(outcome.opened);
    EXPECT_EQ(outcome.loadResult, kOk);
    return store;
  }

  // The record data of image `n` in the file at `path_` as it lies on disk.
  std::vector<std::uint8_t> StoredData(const ProtectedFileSpec& spec, std::size_t n,
                                       std::size_t length) {
    const std::vector<std::uint8_t> bytes = ReadBytes(path_);
    const std::size_t at = RecordImageOffset(spec, n) + 40;
    if (at + length > bytes.size()) return {};
    return std::vector<std::uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(at + length));
  }

  static std::vector<std::uint8_t> DataOf(const CPRecord& record) {
    if (record.Data() == nullptr) return {};
    return std::vector<std::uint8_t>(record.Data(), record.Data() + record.DataLength());
  }

  tallimor::testing::TempDir temp_{"protected"};  // removed after the test
  std::string dir_;
  std::string path_;
};

TEST_F(ProtectedFileTest, IndependentFileOpensWithItsPasswordOnlyAndRoundTripsUnchanged) {
  const ProtectedFileSpec spec = Spec("secret");
  const std::vector<std::uint8_t> original = Write(spec);

  std::string hint;
  EXPECT_EQ(ReadUserHint(path_, &hint), kOk);
  EXPECT_EQ(hint, spec.hint);

  for (const char* wrong : {"Secret", "secret ", "", "secre"}) {
    const UserPasswordCheck check = CheckUserPassword(path_, wrong);
    EXPECT_FALSE(check.accepted) << wrong;
  }
  const UserPasswordCheck check = CheckUserPassword(path_, "secret");
  EXPECT_TRUE(check.accepted);
  EXPECT_TRUE(check.keyed);
  EXPECT_TRUE(check.passwordSet);
  EXPECT_EQ(check.loadResult, kOk);

  std::unique_ptr<CProtectedRecordFile> store = Open("secret");
  ASSERT_TRUE(store);
  EXPECT_TRUE(store->IsKeyed());
  ASSERT_EQ(store->RecordCount(), 5);
  for (std::int32_t i = 0; i < 5; ++i) {
    const CPRecord* record = store->RecordAt(i);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Id(), spec.memos[i].id);
    EXPECT_EQ(DataOf(*record), spec.memos[i].plain) << "record " << i;
  }
  EXPECT_EQ(StoredMemoText(*store->RecordAt(0)), "hello\nworld");
  EXPECT_TRUE(store->RecordAt(1)->IsPrivate());
  EXPECT_TRUE(store->RecordAt(1)->IsModified());
  EXPECT_TRUE(store->RecordAt(3)->IsDeleted());
  ASSERT_NE(store->CategoryAt(1), nullptr);
  EXPECT_STREQ(store->CategoryAt(1)->Name(), "Business");

  // A forced save enciphers every memo again: the file comes out byte for byte the same,
  // and memory still holds the plain memos.
  store->SetDirty(true);
  ASSERT_EQ(store->Save(), kOk);
  EXPECT_EQ(ReadBytes(path_), original);
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(DataOf(*store->RecordAt(i)), spec.memos[i].plain);

  ASSERT_EQ(store->Load(), kOk);
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(DataOf(*store->RecordAt(i)), spec.memos[i].plain);
}

TEST_F(ProtectedFileTest, EditedAndNewMemosAreWrittenEncipheredInTheHandheldsByteOrder) {
  const ProtectedFileSpec spec = Spec("secret");
  Write(spec);
  std::unique_ptr<CProtectedRecordFile> store = Open("secret");
  ASSERT_TRUE(store);

  ASSERT_EQ(StoreMemo(*store->RecordAt(0), "changed\nmemo text"), kOk);
  ASSERT_EQ(store->MarkModified(0, true), kOk);
  CPRecord* added = store->AddEmptyRecord();
  ASSERT_NE(added, nullptr);
  ASSERT_EQ(StoreMemo(*added, "new"), kOk);
  ASSERT_EQ(store->Save(), kOk);
  EXPECT_EQ(StoredMemoText(*store->RecordAt(0)), "changed\nmemo text");

  // The file, read back by OpenSSL: the edited memo, the untouched ones, the new one.
  const std::vector<std::uint8_t> edited = PlainMemo("changed\nmemo text");
  ProtectedFileSpec saved = spec;
  saved.memos[0].plain = edited;
  saved.memos.push_back({0, 0, 0x08, PlainMemo("new")});
  EXPECT_EQ(OpenSslBlowfish("secret", StoredData(saved, 0, edited.size()), true), edited);
  EXPECT_EQ(StoredData(saved, 1, 8), OpenSslBlowfish("secret", spec.memos[1].plain));
  // 13 bytes: the first block enciphered, the 5-byte tail exactly as plain.
  const std::vector<std::uint8_t> thirteen = StoredData(saved, 2, 13);
  ASSERT_EQ(thirteen.size(), 13u);
  EXPECT_EQ(thirteen, OpenSslBlowfish("secret", spec.memos[2].plain));
  EXPECT_EQ(std::vector<std::uint8_t>(thirteen.begin() + 8, thirteen.end()),
            std::vector<std::uint8_t>(spec.memos[2].plain.begin() + 8, spec.memos[2].plain.end()));
  EXPECT_EQ(OpenSslBlowfish("secret", StoredData(saved, 5, 8), true), PlainMemo("new"));
}

TEST_F(ProtectedFileTest, FailedSaveLeavesTheMemosPlainAndALaterSaveIsNotEncipheredTwice) {
  const ProtectedFileSpec spec = Spec("secret");
  const std::vector<std::uint8_t> original = Write(spec);
  std::unique_ptr<CProtectedRecordFile> store = Open("secret");
  ASSERT_TRUE(store);
  ASSERT_EQ(StoreMemo(*store->RecordAt(0), "kept through a failure"), kOk);
  ASSERT_EQ(store->MarkModified(0, true), kOk);

  ASSERT_EQ(std::remove(path_.c_str()), 0);  // the desktop never creates the file
  EXPECT_EQ(store->Save(), kErrWrite);
  EXPECT_EQ(StoredMemoText(*store->RecordAt(0)), "kept through a failure");
  for (std::int32_t i = 1; i < 5; ++i) EXPECT_EQ(DataOf(*store->RecordAt(i)), spec.memos[i].plain);
  EXPECT_TRUE(store->IsDirty());

  ASSERT_TRUE(WriteBytes(path_, original));
  ASSERT_EQ(store->Save(), kOk);
  const std::vector<std::uint8_t> edited = PlainMemo("kept through a failure");
  ProtectedFileSpec saved = spec;
  saved.memos[0].plain = edited;
  EXPECT_EQ(OpenSslBlowfish("secret", StoredData(saved, 0, edited.size()), true), edited);
  EXPECT_EQ(StoredData(saved, 1, 8), OpenSslBlowfish("secret", spec.memos[1].plain));
}

TEST_F(ProtectedFileTest, DestroyingAChangedStoreWritesItEnciphered) {
  const ProtectedFileSpec spec = Spec(kCp932Password);
  Write(spec);
  {
    std::unique_ptr<CProtectedRecordFile> store = Open(kCp932Password);
    ASSERT_TRUE(store);
    ASSERT_EQ(StoreMemo(*store->RecordAt(4), "\x83\x81\x83\x82"), kOk);  // "メモ"
    ASSERT_EQ(store->MarkModified(4, true), kOk);
  }
  ProtectedFileSpec saved = spec;
  saved.memos[4].plain = PlainMemo("\x83\x81\x83\x82");
  EXPECT_EQ(OpenSslBlowfish(kCp932Password, StoredData(saved, 4, 8), true),
            PlainMemo("\x83\x81\x83\x82"));
}

TEST_F(ProtectedFileTest, Cp932PasswordReachesDigestAndCipherAsItsBytes) {
  const ProtectedFileSpec spec = Spec(kCp932Password);
  Write(spec);
  // The same word in another encoding (UTF-8) is a different password.
  EXPECT_FALSE(CheckUserPassword(path_, "\xe3\x83\x91\xe3\x82\xb9\xe3\x83\xaf\xe3\x83\xbc\xe3\x83\x89").accepted);
  std::unique_ptr<CProtectedRecordFile> store = Open(kCp932Password);
  ASSERT_TRUE(store);
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(DataOf(*store->RecordAt(i)), spec.memos[i].plain);
}

TEST_F(ProtectedFileTest, DamagedFileStillChecksThePasswordAndDeciphersWhatWasRead) {
  const ProtectedFileSpec spec = Spec("secret");
  std::vector<std::uint8_t> bytes = ProtectedFileBytes(spec);
  bytes.resize(RecordImageOffset(spec, 2) + 20);  // ends inside the third record
  ASSERT_TRUE(WriteBytes(path_, bytes));

  // The digest was read whole before the damage, so a wrong password is still refused.
  EXPECT_FALSE(CheckUserPassword(path_, "wrong").accepted);
  std::string hint;
  EXPECT_NE(ReadUserHint(path_, &hint), kOk);
  EXPECT_EQ(hint, spec.hint);

  std::unique_ptr<CProtectedRecordFile> store;
  UserStoreOutcome outcome;
  ASSERT_EQ(OpenUserStore(path_, "secret", store, &outcome), kOk);
  EXPECT_TRUE(outcome.opened);
  EXPECT_EQ(outcome.check.loadResult, kOk);
  EXPECT_NE(outcome.loadResult, kOk);
  ASSERT_EQ(store->RecordCount(), 2);
  EXPECT_EQ(DataOf(*store->RecordAt(0)), spec.memos[0].plain);
  EXPECT_EQ(DataOf(*store->RecordAt(1)), spec.memos[1].plain);
}

TEST_F(ProtectedFileTest, AppInfoBeyond4096BytesStillCountsAsProtected) {
  ProtectedFileSpec spec = Spec("secret");
  spec.appDataPadding = 5000;
  spec.hint = std::string(300, 'h');
  Write(spec);

  EXPECT_FALSE(CheckUserPassword(path_, "anything").accepted);
  std::string hint;
  EXPECT_EQ(ReadUserHint(path_, &hint), kOk);
  EXPECT_EQ(hint, spec.hint);
  std::unique_ptr<CProtectedRecordFile> store = Open("secret");
  ASSERT_TRUE(store);
  EXPECT_TRUE(store->IsKeyed());
  EXPECT_EQ(DataOf(*store->RecordAt(0)), spec.memos[0].plain);
}

TEST_F(ProtectedFileTest, HintWithoutNulRunsToTheEndOfTheData) {
  ProtectedFileSpec spec = Spec("secret");
  spec.hintNul = false;
  spec.hint = "no terminator";
  Write(spec);
  std::string hint;
  EXPECT_EQ(ReadUserHint(path_, &hint), kOk);
  EXPECT_EQ(hint, "no terminator");
}

TEST_F(ProtectedFileTest, ZeroDigestOpensWithAnyPasswordAndDeciphersNothing) {
  const ProtectedFileSpec spec = Spec(nullptr);
  const std::vector<std::uint8_t> original = Write(spec);
  for (const char* typed : {"", "anything"}) {
    const UserPasswordCheck check = CheckUserPassword(path_, typed);
    EXPECT_TRUE(check.accepted);
    EXPECT_FALSE(check.keyed);
    EXPECT_FALSE(check.passwordSet);
  }
  std::unique_ptr<CProtectedRecordFile> store = Open("anything");
  ASSERT_TRUE(store);
  EXPECT_FALSE(store->IsKeyed());
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(DataOf(*store->RecordAt(i)), spec.memos[i].plain);
  store->SetDirty(true);
  ASSERT_EQ(store->Save(), kOk);
  EXPECT_EQ(ReadBytes(path_), original);
}

TEST_F(ProtectedFileTest, DigestOfTheEmptyPasswordMatchesAnEmptyEntryAndKeysWithBareTables) {
  // The handheld's memos under an empty key, enciphered with the bare start tables.
  ProtectedFileSpec spec = Spec("");
  spec.encipher = false;
  std::vector<std::vector<std::uint8_t>> plain;
  CBlowfish bare;
  for (MemoSpec& memo : spec.memos) {
    plain.push_back(memo.plain);
    bare.EncryptBytes(memo.plain.data(), memo.plain.size());
  }
  Write(spec);

  EXPECT_FALSE(CheckUserPassword(path_, "x").accepted);
  const UserPasswordCheck check = CheckUserPassword(path_, "");
  EXPECT_TRUE(check.accepted);
  EXPECT_TRUE(check.keyed);
  std::unique_ptr<CProtectedRecordFile> store = Open("");
  ASSERT_TRUE(store);
  EXPECT_TRUE(store->IsKeyed());
  for (std::int32_t i = 0; i < 5; ++i) EXPECT_EQ(DataOf(*store->RecordAt(i)), plain[i]);
}

TEST_F(ProtectedFileTest, ChecksOnAFileThatCannotBeReadAnswerWithItsError) {
  CProtectedRecordFile probe(path_, nullptr);  // no file there
  EXPECT_EQ(probe.HasPassword(), kErrOpenFailed);
  EXPECT_EQ(probe.CheckPassword("x"), kErrOpenFailed);
  std::string hint = "stale";
  EXPECT_EQ(probe.GetHint(&hint), kErrOpenFailed);
  EXPECT_EQ(hint, "");
}

TEST(ProtectedPasswordInfo, ShortAppInfoCarriesNoPasswordAndWipeClearsEveryByte) {
  std::vector<std::uint8_t> data(290, 0);
  EXPECT_FALSE(ReadPasswordInfo(data.data(), data.size()).IsSet());
  data[285] = 7;  // part of a digest: still a password, which no entry can match
  const PasswordInfo partial = ReadPasswordInfo(data.data(), data.size());
  EXPECT_TRUE(partial.IsSet());
  EXPECT_FALSE(PasswordMatches("", partial.digest));
  EXPECT_EQ(partial.hint, "");
  EXPECT_FALSE(ReadPasswordInfo(nullptr, 0).IsSet());

  std::string secret = "a password longer than any small-string buffer";
  const char* bytes = secret.data();
  const std::size_t capacity = secret.capacity();
  WipeSecret(secret);
  EXPECT_TRUE(secret.empty());
  ASSERT_EQ(secret.data(), bytes);
  for (std::size_t i = 0; i < capacity; ++i) EXPECT_EQ(bytes[i], '\0') << i;
}

}  // namespace
}  // namespace tallimor
