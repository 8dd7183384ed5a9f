// Tests of switching the application's current store: a wrong password changes nothing,
// a switch writes the old store back before the new one reads, a missing file gives an
// empty store that creates nothing.
#include "desktop/UserStore.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "desktop/StoredMemo.h"
#include "desktop/tests/ProtectedFileWriter.h"

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
    std::string pattern = ::testing::TempDir() + "userstore-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    alice_ = dir_ + "/alice.dat";
    bob_ = dir_ + "/bob.dat";
    missing_ = dir_ + "/missing.dat";
    ASSERT_TRUE(WriteBytes(alice_, ProtectedFileBytes(Spec("alice-pw", "alice memo"))));
    ASSERT_TRUE(WriteBytes(bob_, ProtectedFileBytes(Spec("bob-pw", "bob memo"))));
  }
  void TearDown() override {
    for (const std::string& p : {alice_, bob_, missing_}) std::remove(p.c_str());
    rmdir(dir_.c_str());
  }

  static ProtectedFileSpec Spec(const char* password, const std::string& memo) {
    ProtectedFileSpec spec;
    spec.password = password;
    spec.hint = "hint";
    spec.memos.push_back({1, 0, 0, PlainMemo(memo)});
    return spec;
  }

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

TEST_F(ProtectedUserStoreTest, MissingFileGivesAnEmptyStoreThatCreatesNothing) {
  std::unique_ptr<CProtectedRecordFile> current;
  UserStoreOutcome outcome;
  ASSERT_EQ(OpenUserStore(missing_, "whatever", current, &outcome), kOk);
  EXPECT_TRUE(outcome.opened);
  EXPECT_TRUE(outcome.check.keyed);  // no digest to refuse with: keyed with what was typed
  EXPECT_EQ(outcome.check.loadResult, kErrOpenFailed);
  EXPECT_EQ(outcome.loadResult, kErrOpenFailed);
  ASSERT_TRUE(current);
  EXPECT_EQ(current->RecordCount(), 0);

  CPRecord* added = current->AddEmptyRecord();
  ASSERT_NE(added, nullptr);
  ASSERT_EQ(StoreMemo(*added, "nowhere to go"), kOk);
  EXPECT_EQ(current->Save(), kErrWrite);
  current.reset();
  struct stat st {};
  EXPECT_NE(stat(missing_.c_str(), &st), 0);
}

}  // namespace
}  // namespace tallimor
