// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of switching the application's current store: a wrong password changes nothing,
// a switch writes the old store back before the new one reads, a missing file is made
// by the first save that has memos to write, and a file read only in part is never
// saved over.
#include "protect/UserStore.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "protect/StoredMemo.h"
#include "protect/tests/ProtectedFileWriter.h"
#include "store/ByteOrder.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

using testing::PlainMemo;
using testing::ProtectedFileBytes;
using testing::ProtectedFileSpec;
using testing::ReadBytes;
using testing::WriteBytes;

class ProtectedUserStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    alice_ = dir_ + "/alice.dat";
    bob_ = dir_ + "/bob.dat";
    missing_ = dir_ + "/missing.dat";
    ASSERT_TRUE(WriteBytes(alice_, ProtectedFileBytes(Spec("alice-pw", "alice memo"))));
    ASSERT_TRUE(WriteBytes(bob_, ProtectedFileBytes(Spec("bob-pw", "bob memo"))));
  }

  static ProtectedFileSpec Spec(const char* password, const std::string& memo) {
    ProtectedFileSpec spec;
    spec.password = password;
    spec.hint = "hint";
    spec.memos.push_back({1, 0, 0, PlainMemo(memo)});
    return spec;
  }

  tallimor::testing::TempDir temp_{"userstore"};  // removed after the test
  std::string dir_, alice_, bob_, missing_;
};

TEST_F(ProtectedUserStoreTest, WrongPasswordLeavesTheCurrentStoreAndItsEditsAlone) {
  std::unique_ptr<CProtectedRecordFile> current;
  UserStoreOutcome outcome;
  ASSERT_EQ(OpenUserStore(alice_, "alice-pw", current, &outcome), kOk);
  ASSERT_TRUE(outcome.opened);
  CProtectedRecordFile* alice = current.get();
  ASSERT_EQ(StoreMemo(*alice->RecordAt(0), "unsaved edit"), kOk);
  ASSERT_EQ(alice->MarkModified(0, true), kOk);
  const std::vector<std::uint8_t> aliceFile = ReadBytes(alice_);

  ASSERT_EQ(OpenUserStore(bob_, "alice-pw", current, &outcome), kOk);
  EXPECT_FALSE(outcome.opened);
  EXPECT_EQ(current.get(), alice);
  EXPECT_TRUE(alice->IsDirty());
  EXPECT_EQ(StoredMemoText(*alice->RecordAt(0)), "unsaved edit");
  EXPECT_EQ(ReadBytes(alice_), aliceFile);  // nothing written

  ASSERT_EQ(OpenUserStore(bob_, "bob-pw", current, &outcome), kOk);
  EXPECT_TRUE(outcome.opened);
  EXPECT_EQ(outcome.saveResult, kOk);
  EXPECT_EQ(StoredMemoText(*current->RecordAt(0)), "bob memo");
  // Alice's edit went to her file, enciphered with her key.
  EXPECT_EQ(CheckUserPassword(alice_, "alice-pw").accepted, true);
  std::unique_ptr<CProtectedRecordFile> again;
  ASSERT_EQ(OpenUserStore(alice_, "alice-pw", again, &outcome), kOk);
  EXPECT_EQ(StoredMemoText(*again->RecordAt(0)), "unsaved edit");
}

TEST_F(ProtectedUserStoreTest, ReopeningTheSameUserSeesTheChangesOfTheOldStore) {
  std::unique_ptr<CProtectedRecordFile> current;
  UserStoreOutcome outcome;
  ASSERT_EQ(OpenUserStore(alice_, "alice-pw", current, &outcome), kOk);
  CPRecord* added = current->AddEmptyRecord();
  ASSERT_NE(added, nullptr);
  ASSERT_EQ(StoreMemo(*added, "added before the switch"), kOk);

  ASSERT_EQ(OpenUserStore(alice_, "alice-pw", current, &outcome), kOk);
  ASSERT_TRUE(outcome.opened);
  EXPECT_EQ(outcome.loadResult, kOk);
  ASSERT_EQ(current->RecordCount(), 2);
  EXPECT_EQ(StoredMemoText(*current->RecordAt(1)), "added before the switch");
  EXPECT_TRUE(current->RecordAt(1)->IsNew());
}

// The record file as it lies on disk at `path`: its header's record count, and the
// stored bytes and flags of its first record image (after the app info block; no sort
// info block).
struct FirstImage {
  std::uint32_t appInfoLength = 0, recordCount = 0, id = 0;
  std::uint8_t flags = 0;
  std::vector<std::uint8_t> data;
};
FirstImage ReadFirstImage(const std::string& path) {
  const std::vector<std::uint8_t> bytes = ReadBytes(path);
  FirstImage image;
  if (bytes.size() < 84 + 40) return image;
  image.recordCount = DecodeFixed32LE(bytes.data() + 72);
  image.appInfoLength = DecodeFixed32LE(bytes.data() + 76);
  const std::size_t record = 84 + image.appInfoLength;
  if (bytes.size() < record + 40) return image;
  // Record image: length at 0, id at 16, stored flags at 24, the data after 40 bytes.
  image.id = DecodeFixed32LE(bytes.data() + record + 16);
  image.flags = bytes[record + 24];
  const std::uint32_t length = DecodeFixed32LE(bytes.data() + record) - 40;
  if (record + 40 + length <= bytes.size()) {
    image.data.assign(bytes.begin() + record + 40, bytes.begin() + record + 40 + length);
  }
  return image;
}

TEST_F(ProtectedUserStoreTest, MissingFileIsMadeByTheFirstSaveWithTheMemosTypedBeforeIt) {
  // A user who has not had a HotSync yet: neither the user's directory nor the file.
  const std::string path = dir_ + "/new-user/Tallimor-Vexa/record.dat";
  std::unique_ptr<CProtectedRecordFile> current;
  UserStoreOutcome outcome;
  ASSERT_EQ(OpenUserStore(path, "typed-pw", current, &outcome), kOk);
  EXPECT_TRUE(outcome.opened);
  EXPECT_TRUE(outcome.check.fileMissing);
  EXPECT_TRUE(outcome.check.keyed);  // no digest to refuse with: keyed with what was typed
  EXPECT_EQ(outcome.loadResult, kErrOpenFailed);
  ASSERT_TRUE(current);
  EXPECT_TRUE(current->HasNoFileYet());
  EXPECT_EQ(current->Save(), kOk);  // nothing typed: nothing made
  struct stat st {};
  EXPECT_NE(stat(path.c_str(), &st), 0);

  CPRecord* added = current->AddEmptyRecord();
  ASSERT_NE(added, nullptr);
  ASSERT_EQ(StoreMemo(*added, "typed before the first HotSync"), kOk);
  ASSERT_EQ(current->Save(), kOk);
  EXPECT_EQ(StoredMemoText(*current->RecordAt(0)), "typed before the first HotSync");
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // On disk: the new database's application information (see NewRecordFile_test), one
  // new record without an id, enciphered with the typed password.
  const FirstImage image = ReadFirstImage(path);
  EXPECT_EQ(image.appInfoLength, 56u + 297u);
  EXPECT_EQ(image.recordCount, 1u);
  EXPECT_EQ(image.id, 0u);
  EXPECT_EQ(image.flags & 0x08, 0x08);
  const std::vector<std::uint8_t> plain = PlainMemo("typed before the first HotSync");
  EXPECT_EQ(testing::OpenSslBlowfish("typed-pw", image.data, true), plain);

  // A later session reads it back with the same password, and saves over it as usual.
  current.reset();
  ASSERT_EQ(OpenUserStore(path, "typed-pw", current, &outcome), kOk);
  EXPECT_FALSE(outcome.check.fileMissing);
  EXPECT_EQ(outcome.loadResult, kOk);
  EXPECT_FALSE(current->IsReadInPart());
  EXPECT_FALSE(current->HasNoFileYet());
  ASSERT_EQ(current->RecordCount(), 1);
  EXPECT_EQ(StoredMemoText(*current->RecordAt(0)), "typed before the first HotSync");
  ASSERT_EQ(StoreMemo(*current->RecordAt(0), "edited"), kOk);
  ASSERT_EQ(current->MarkModified(0, true), kOk);
  EXPECT_EQ(current->Save(), kOk);
  EXPECT_EQ(testing::OpenSslBlowfish("typed-pw", ReadFirstImage(path).data, true), PlainMemo("edited"));
  current.reset();
  std::system(("rm -rf '" + dir_ + "/new-user'").c_str());
}

TEST_F(ProtectedUserStoreTest, MissingFileOpenedWithoutAPasswordIsMadePlain) {
  std::unique_ptr<CProtectedRecordFile> current;
  UserStoreOutcome outcome;
  ASSERT_EQ(OpenUserStore(missing_, "", current, &outcome), kOk);
  EXPECT_TRUE(outcome.opened);
  EXPECT_FALSE(outcome.check.keyed);
  ASSERT_EQ(StoreMemo(*current->AddEmptyRecord(), "plain memo text"), kOk);
  current.reset();  // the last save, on the way out, makes the file too
  EXPECT_EQ(ReadFirstImage(missing_).data, PlainMemo("plain memo text"));
}

TEST_F(ProtectedUserStoreTest, AFileThatAppearedBeforeTheFirstSaveIsNotOverwritten) {
  std::unique_ptr<CProtectedRecordFile> current;
  UserStoreOutcome outcome;
  ASSERT_EQ(OpenUserStore(missing_, "pw", current, &outcome), kOk);
  ASSERT_EQ(StoreMemo(*current->AddEmptyRecord(), "typed"), kOk);
  // A HotSync wrote the file meanwhile, without the desktop having been asked to save.
  const std::vector<std::uint8_t> synced = ProtectedFileBytes(Spec("pw", "from the handheld"));
  ASSERT_TRUE(WriteBytes(missing_, synced));
  EXPECT_EQ(current->Save(), kErrFileChanged);  // the reload then joins them
  EXPECT_EQ(ReadBytes(missing_), synced);
  EXPECT_EQ(StoredMemoText(*current->RecordAt(0)), "typed");
  current->SetDirty(false);  // the test gives the edit up
}

// A record after good ones cannot be read: the store holds fewer memos than the file,
// and writing it would drop the rest. Every save, also the last one on the way out,
// leaves the file as it is; once the file reads whole again, saving works as before.
TEST_F(ProtectedUserStoreTest, AStoreReadInPartIsNeverSavedOverItsFile) {
  ProtectedFileSpec spec = Spec("alice-pw", "first");
  spec.memos.push_back({2, 0, 0, PlainMemo("second")});
  spec.memos.push_back({3, 0, 0, PlainMemo("third, beyond the damage")});
  const std::vector<std::uint8_t> whole = ProtectedFileBytes(spec);
  std::vector<std::uint8_t> damaged = whole;
  damaged.resize(testing::RecordImageOffset(spec, 2) + 20);  // ends inside the third record
  ASSERT_TRUE(WriteBytes(alice_, damaged));

  std::unique_ptr<CProtectedRecordFile> current;
  UserStoreOutcome outcome;
  ASSERT_EQ(OpenUserStore(alice_, "alice-pw", current, &outcome), kOk);
  ASSERT_NE(outcome.loadResult, kOk);
  EXPECT_TRUE(current->IsReadInPart());
  ASSERT_EQ(current->RecordCount(), 2);
  ASSERT_EQ(StoreMemo(*current->RecordAt(0), "edited"), kOk);
  ASSERT_EQ(current->MarkModified(0, true), kOk);
  EXPECT_EQ(current->Save(), kErrStoreReadInPart);
  EXPECT_EQ(ReadBytes(alice_), damaged);
  EXPECT_EQ(StoredMemoText(*current->RecordAt(0)), "edited");  // kept in memory, plain
  EXPECT_TRUE(current->IsDirty());

  // The switch to another user writes the old store back first: refused the same way.
  ASSERT_EQ(OpenUserStore(bob_, "bob-pw", current, &outcome), kOk);
  EXPECT_EQ(outcome.saveResult, kErrStoreReadInPart);
  EXPECT_EQ(ReadBytes(alice_), damaged);

  // A file whose very start cannot be read is kept as well.
  const std::vector<std::uint8_t> garbage = {'n', 'o', 't', ' ', 'a', ' ', 'f', 'i', 'l', 'e'};
  ASSERT_TRUE(WriteBytes(alice_, garbage));
  ASSERT_EQ(OpenUserStore(alice_, "alice-pw", current, &outcome), kOk);
  EXPECT_TRUE(current->IsReadInPart());
  ASSERT_EQ(StoreMemo(*current->AddEmptyRecord(), "new"), kOk);
  current.reset();
  EXPECT_EQ(ReadBytes(alice_), garbage);

  // Repaired, it reads whole and saves.
  ASSERT_TRUE(WriteBytes(alice_, whole));
  ASSERT_EQ(OpenUserStore(alice_, "alice-pw", current, &outcome), kOk);
  EXPECT_EQ(outcome.loadResult, kOk);
  EXPECT_FALSE(current->IsReadInPart());
  ASSERT_EQ(StoreMemo(*current->RecordAt(0), "edited"), kOk);
  ASSERT_EQ(current->MarkModified(0, true), kOk);
  EXPECT_EQ(current->Save(), kOk);
  EXPECT_EQ(current->Load(), kOk);
  ASSERT_EQ(current->RecordCount(), 3);
  EXPECT_EQ(StoredMemoText(*current->RecordAt(0)), "edited");
  EXPECT_EQ(StoredMemoText(*current->RecordAt(2)), "third, beyond the damage");
}

}  // namespace
}  // namespace tallimor
