// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the emulated handheld's directory and identity file, and of the
// in-memory database: unique id assignment, limits, purges and flag resets, and
// what a save leaves on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "hotsync/handheld/Handheld.h"
#include "hotsync/handheld/SyncManager.h"
#include "hotsync/pdb/PdbReader.h"
#include "hotsync/pdb/PdbWriter.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class HandheldDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
  }
  tallimor::testing::TempDir temp_{"handheld"};  // removed after the test
  std::string dir_;
};

PdbHeader MemoHeader() {
  PdbHeader h;
  h.name = "TallimorDB";
  h.type = FourCc("DATA");
  h.creator = FourCc("Tlmr");
  return h;
}

PdbRecord Live(std::uint32_t id, int category, const std::string& text, bool dirty = false) {
  return PdbRecord{PdbRecord::MakeAttributes(false, dirty, false, false, false, category), id,
                   Bytes(text.begin(), text.end())};
}

// --- The handheld's lock ---------------------------------------------------------

TEST_F(HandheldDir, ASecondProgramIsRefusedWhileOneHoldsTheHandheldAndToldWhich) {
  std::string error;
  ASSERT_EQ(Handheld::Create(dir_, HandheldIdentity{"Taro", 7}, &error), kSyncErrNone);
  std::unique_ptr<Handheld> first;
  std::unique_ptr<Handheld> second;
  ASSERT_EQ(Handheld::Open(dir_, &first, &error), kSyncErrNone);
  ASSERT_EQ(Handheld::Open(dir_, &second, &error), kSyncErrNone);
  ASSERT_EQ(first->Lock("hotsync", &error), kSyncErrNone);
  EXPECT_EQ(second->Lock("tallimor-handheld", &error), kSyncErrBusy);
  EXPECT_NE(error.find("in use by hotsync (process "), std::string::npos) << error;
  // Held by an attached Sync Manager too: the HotSync waits for no one and is refused.
  EXPECT_EQ(SyncAttachHandheld(dir_.c_str()), kSyncErrBusy);
  EXPECT_NE(std::string(SyncLastErrorDetail()).find("hotsync"), std::string::npos);
  first.reset();  // the holder ends: the lock goes with it
  EXPECT_EQ(second->Lock("tallimor-handheld", &error), kSyncErrNone);
  EXPECT_EQ(fs::status(dir_ + "/" + Handheld::kLockFileName).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

// --- Identity file ------------------------------------------------------------

TEST(HandheldIdentityFile, ParsesCommentsSectionsAndSpaces) {
  HandheldIdentity identity;
  std::string error;
  ASSERT_EQ(Handheld::ParseIdentity("# note\n\n[Other]\nUserName=wrong\n[Handheld]\r\n  UserName = 山田 太郎 \r\n"
                                    "; comment\nUserId=4294967295\nColour=blue\n",
                                    &identity, &error),
            kSyncErrNone)
      << error;
  EXPECT_EQ(identity.userName, "山田 太郎");
  EXPECT_EQ(identity.userId, 4294967295u);
}

TEST(HandheldIdentityFile, ReadsSectionLinesAsTheUsersFileDoes) {
  HandheldIdentity identity;
  std::string error;
  // A byte order mark an editor put in front, and a comment after the section line.
  ASSERT_EQ(Handheld::ParseIdentity("\xEF\xBB\xBF[Handheld] ; the device\nUserName=a\n", &identity, &error),
            kSyncErrNone)
      << error;
  EXPECT_EQ(identity.userName, "a");
  EXPECT_EQ(Handheld::ParseIdentity("[Handheld] junk\nUserName=a\n", &identity, &error), kSyncErrCorruptDatabase);
  EXPECT_NE(error.find("line 1"), std::string::npos) << error;
}

TEST(HandheldIdentityFile, RefusesDamagedFilesNamingTheLine) {
  HandheldIdentity identity;
  std::string error;
  EXPECT_EQ(Handheld::ParseIdentity("UserName=a\nUserId=4294967296\n", &identity, &error), kSyncErrCorruptDatabase);
  EXPECT_NE(error.find("line 2"), std::string::npos) << error;
  EXPECT_EQ(Handheld::ParseIdentity("UserName=a\nUserId=-1\n", &identity, &error), kSyncErrCorruptDatabase);
  EXPECT_EQ(Handheld::ParseIdentity("UserName=a\njunk\n", &identity, &error), kSyncErrCorruptDatabase);
  EXPECT_EQ(Handheld::ParseIdentity("[Handheld\nUserName=a\n", &identity, &error), kSyncErrCorruptDatabase);
  EXPECT_EQ(Handheld::ParseIdentity("UserId=3\n", &identity, &error), kSyncErrCorruptDatabase);
  EXPECT_NE(error.find("UserName"), std::string::npos);
  EXPECT_EQ(Handheld::ParseIdentity("UserName=" + std::string(41, 'x') + "\n", &identity, &error),
            kSyncErrCorruptDatabase);
}

TEST(HandheldIdentityFile, FormatReadsBack) {
  const HandheldIdentity identity{"Taro", 77};
  HandheldIdentity back;
  ASSERT_EQ(Handheld::ParseIdentity(Handheld::FormatIdentity(identity), &back, nullptr), kSyncErrNone);
  EXPECT_EQ(back.userName, "Taro");
  EXPECT_EQ(back.userId, 77u);
}

using HandheldDirectory = HandheldDir;

TEST_F(HandheldDirectory, CreateOpenAndChangeIdentity) {
  const std::string dir = dir_ + "/palm";
  std::string error;
  ASSERT_EQ(Handheld::Create(dir, {"Hanako", 0}, &error), kSyncErrNone) << error;
  EXPECT_EQ(Handheld::Create(dir, {"Other", 0}, &error), kSyncErrExists);
  std::unique_ptr<Handheld> handheld;
  ASSERT_EQ(Handheld::Open(dir + "/", &handheld, &error), kSyncErrNone) << error;
  EXPECT_EQ(handheld->identity().userName, "Hanako");
  EXPECT_EQ(handheld->DatabasePath("TallimorDB"), dir + "/TallimorDB.pdb");
  ASSERT_EQ(handheld->SetIdentity({"Hanako", 1234}, &error), kSyncErrNone);
  EXPECT_EQ(handheld->SetIdentity({"bad\nname", 1}, &error), kSyncErrBadArgument);
  std::unique_ptr<Handheld> again;
  ASSERT_EQ(Handheld::Open(dir, &again, &error), kSyncErrNone);
  EXPECT_EQ(again->identity().userId, 1234u);
  EXPECT_EQ(Handheld::Open(dir_ + "/nothing", &again, &error), kSyncErrNotFound);
  EXPECT_NE(error.find("handheld.ini"), std::string::npos);
}

TEST_F(HandheldDirectory, ListsOnlyPdbFilesWithUsableNames) {
  ASSERT_EQ(Handheld::Create(dir_, {"U", 1}, nullptr), kSyncErrNone);
  std::unique_ptr<Handheld> handheld;
  ASSERT_EQ(Handheld::Open(dir_, &handheld, nullptr), kSyncErrNone);
  HandheldDatabase db(MemoHeader());
  ASSERT_EQ(handheld->SaveDatabase("ZetaDB", db, nullptr), kSyncErrNone);
  ASSERT_EQ(handheld->SaveDatabase("AlphaDB", db, nullptr), kSyncErrNone);
  std::ofstream(dir_ + "/notes.txt") << "x";
  fs::create_directory(dir_ + "/folder.pdb");
  EXPECT_EQ(handheld->DatabaseNames(), (std::vector<std::string>{"AlphaDB", "ZetaDB"}));
  EXPECT_EQ(handheld->SaveDatabase("a/b", db, nullptr), kSyncErrBadArgument);
  EXPECT_EQ(handheld->SaveDatabase(std::string(32, 'n'), db, nullptr), kSyncErrBadArgument);
  EXPECT_EQ(handheld->RemoveDatabase("ZetaDB", nullptr), kSyncErrNone);
  EXPECT_EQ(handheld->RemoveDatabase("ZetaDB", nullptr), kSyncErrNotFound);
  // Saving under a name gives the header that name too, so file and header agree.
  std::unique_ptr<HandheldDatabase> alpha;
  ASSERT_EQ(handheld->LoadDatabase("AlphaDB", &alpha, nullptr), kSyncErrNone);
  EXPECT_EQ(alpha->header().name, "AlphaDB");
}

// --- Unique ids ---------------------------------------------------------------

TEST(HandheldDatabaseIds, NewIdsComeFromTheSeedAndSkipIdsInUse) {
  PdbHeader header = MemoHeader();
  header.uniqueIdSeed = 10;
  HandheldDatabase db(header);
  std::uint32_t id = 0;
  std::size_t index = 0;
  ASSERT_EQ(db.WriteRecord(Live(11, 0, "kept id"), &id, &index), kSyncErrNone);
  EXPECT_EQ(id, 11u) << "a new record may bring its own id";
  ASSERT_EQ(db.WriteRecord(Live(0, 0, "a"), &id, &index), kSyncErrNone);
  EXPECT_EQ(id, 10u);
  ASSERT_EQ(db.WriteRecord(Live(0, 0, "b"), &id, &index), kSyncErrNone);
  EXPECT_EQ(id, 12u) << "11 is taken";
  EXPECT_EQ(index, 2u);
  ASSERT_EQ(db.WriteRecord(Live(0x1000000, 0, "too wide"), &id, &index), kSyncErrNone);
  EXPECT_EQ(id, 13u) << "an id wider than 24 bits cannot be stored and is replaced";
  EXPECT_EQ(db.header().uniqueIdSeed, 14u);
}

TEST(HandheldDatabaseIds, SeedWrapsAtTwentyFourBits) {
  PdbHeader header = MemoHeader();
  header.uniqueIdSeed = 0xFFFFFF;
  HandheldDatabase db(header);
  std::uint32_t a = 0, b = 0;
  ASSERT_EQ(db.WriteRecord(Live(1, 0, "one"), nullptr, nullptr), kSyncErrNone);
  ASSERT_EQ(db.WriteRecord(Live(0, 0, "x"), &a, nullptr), kSyncErrNone);
  ASSERT_EQ(db.WriteRecord(Live(0, 0, "y"), &b, nullptr), kSyncErrNone);
  EXPECT_EQ(a, 0xFFFFFFu);
  EXPECT_EQ(b, 2u);
}

TEST(HandheldDatabaseIds, ExistingIdIsReplacedInPlace) {
  HandheldDatabase db(MemoHeader());
  ASSERT_EQ(db.WriteRecord(Live(5, 1, "first"), nullptr, nullptr), kSyncErrNone);
  ASSERT_EQ(db.WriteRecord(Live(6, 1, "second"), nullptr, nullptr), kSyncErrNone);
  std::size_t index = 9;
  ASSERT_EQ(db.WriteRecord(Live(5, 3, "changed"), nullptr, &index), kSyncErrNone);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(db.count(), 2u);
  EXPECT_EQ(db.RecordAt(0)->category(), 3);
  EXPECT_EQ(db.RecordAt(0)->data, Bytes({'c', 'h', 'a', 'n', 'g', 'e', 'd'}));
}

TEST(HandheldDatabaseIds, LoadGivesZeroAndRepeatedIdsFreshOnes) {
  PdbFile file;
  file.header = MemoHeader();
  file.header.uniqueIdSeed = 7;
  file.records = {Live(7, 0, "a"), Live(0, 0, "b"), Live(7, 0, "c"), Live(9, 0, "d")};
  auto db = HandheldDatabase::FromFile(file);
  std::vector<std::uint32_t> ids;
  db->ForEachRecord([&](const PdbRecord& r) { ids.push_back(r.uniqueId); });
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{7, 8, 10, 9}));
  EXPECT_FALSE(db->changed());
}

// --- Limits ---------------------------------------------------------------------

TEST(HandheldDatabaseLimits, RecordSizeAndCount) {
  HandheldDatabase db(MemoHeader());
  EXPECT_EQ(db.WriteRecord(PdbRecord{0, 0, Bytes(65521, 1)}, nullptr, nullptr), kSyncErrTooLarge);
  EXPECT_EQ(db.WriteRecord(PdbRecord{0, 0, Bytes(65520, 1)}, nullptr, nullptr), kSyncErrNone);
  EXPECT_EQ(db.SetAppInfo(Bytes(65521, 0)), kSyncErrTooLarge);
  for (std::size_t i = 1; i < kPdbMaxEntries; ++i) {
    ASSERT_EQ(db.WriteRecord(PdbRecord{0, 0, {}}, nullptr, nullptr), kSyncErrNone) << i;
  }
  EXPECT_EQ(db.count(), 65535u);
  EXPECT_EQ(db.WriteRecord(PdbRecord{0, 0, {}}, nullptr, nullptr), kSyncErrDatabaseFull);
  EXPECT_EQ(db.WriteRecord(PdbRecord{0, 1, {2}}, nullptr, nullptr), kSyncErrNone) << "replacing still works";
}

// --- Purges and flags -------------------------------------------------------------

TEST(HandheldDatabaseChanges, PurgesCategoryMovesAndReset) {
  HandheldDatabase db(MemoHeader());
  db.mutableHeader().attributes = kPdbAttrAppInfoDirty | kPdbAttrBackup;
  db.WriteRecord(Live(1, 2, "two", true), nullptr, nullptr);
  db.WriteRecord(Live(2, 3, "three"), nullptr, nullptr);
  db.WriteRecord(PdbRecord{PdbRecord::MakeAttributes(true, true, false, false, false, 0), 3, {}}, nullptr, nullptr);
  db.WriteRecord(PdbRecord{PdbRecord::MakeAttributes(true, false, false, false, true, 0), 4, {'a'}}, nullptr, nullptr);
  db.WriteRecord(Live(5, 2, "two again"), nullptr, nullptr);

  EXPECT_EQ(db.ChangeCategory(2, 7), 2u);
  EXPECT_EQ(db.RecordAt(0)->category(), 7);
  EXPECT_TRUE(db.RecordAt(0)->dirty()) << "moving keeps the other bits";
  EXPECT_EQ(db.PurgeCategory(0), 0u) << "deleted records have no category to match";
  EXPECT_EQ(db.PurgeCategory(3), 1u);
  EXPECT_EQ(db.count(), 4u);

  db.ResetSyncFlags();
  EXPECT_EQ(db.count(), 2u) << "deleted and archived records are gone";
  db.ForEachRecord([](const PdbRecord& r) { EXPECT_FALSE(r.dirty()); });
  EXPECT_EQ(db.IndexOfId(5), 1u);
  EXPECT_EQ(db.header().attributes, kPdbAttrBackup);
}

TEST(HandheldDatabaseChanges, DeleteRemovesTheRecordAndLaterOnesMoveUp) {
  HandheldDatabase db(MemoHeader());
  for (std::uint32_t id = 1; id <= 4; ++id) db.WriteRecord(Live(id, 0, "r"), nullptr, nullptr);
  EXPECT_EQ(db.DeleteRecord(2), kSyncErrNone);
  EXPECT_EQ(db.DeleteRecord(2), kSyncErrNotFound);
  EXPECT_EQ(db.IndexOfId(3), 1u);
  EXPECT_EQ(db.RecordAt(2)->uniqueId, 4u);
}

TEST(HandheldDatabaseResources, WriteReplaceAndDelete) {
  PdbHeader header = MemoHeader();
  header.attributes = kPdbAttrResourceDb;
  HandheldDatabase db(header);
  std::size_t index = 0;
  ASSERT_EQ(db.WriteResource({FourCc("code"), 1, {1}}, &index), kSyncErrNone);
  ASSERT_EQ(db.WriteResource({FourCc("code"), 2, {2}}, &index), kSyncErrNone);
  EXPECT_EQ(index, 1u);
  ASSERT_EQ(db.WriteResource({FourCc("code"), 1, {3}}, &index), kSyncErrNone);
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(db.ResourceAt(0)->data, Bytes{3});
  EXPECT_EQ(db.WriteRecord(Live(1, 0, "x"), nullptr, nullptr), kSyncErrWrongDatabaseKind);
  EXPECT_EQ(db.DeleteResource(FourCc("code"), 1), kSyncErrNone);
  EXPECT_EQ(db.DeleteResource(FourCc("code"), 1), kSyncErrNotFound);
  ASSERT_EQ(db.WriteResource({FourCc("code"), 2, {4}}, &index), kSyncErrNone);
  EXPECT_EQ(index, 0u) << "the index follows the removal";
}

// --- Saving -------------------------------------------------------------------------

using HandheldDatabaseSave = HandheldDir;

TEST_F(HandheldDatabaseSave, SaveBumpsModificationOnlyWhenChanged) {
  const std::string path = dir_ + "/TallimorDB.pdb";
  HandheldDatabase db(MemoHeader());
  db.WriteRecord(Live(0, 4, "memo", true), nullptr, nullptr);
  ASSERT_EQ(db.Save(path, 3000000000u, nullptr), kSyncErrNone);
  EXPECT_EQ(db.header().modificationNumber, 1u);
  ASSERT_EQ(db.Save(path, 3000000009u, nullptr), kSyncErrNone);
  EXPECT_EQ(db.header().modificationNumber, 1u);
  PdbFile file;
  ASSERT_EQ(PdbReader::ReadFile(path, &file, nullptr), kOk);
  EXPECT_EQ(file.header.modificationDate, 3000000000u);
  ASSERT_EQ(file.records.size(), 1u);
  EXPECT_EQ(file.records[0].attributes, 0x44);
  EXPECT_EQ(file.records[0].uniqueId, 1u);

  std::unique_ptr<HandheldDatabase> loaded;
  EXPECT_EQ(HandheldDatabase::Load(dir_ + "/absent.pdb", &loaded, nullptr), kSyncErrNotFound);
  std::ofstream(dir_ + "/bad.pdb") << "short";
  std::string error;
  EXPECT_EQ(HandheldDatabase::Load(dir_ + "/bad.pdb", &loaded, &error), kSyncErrCorruptDatabase);
  EXPECT_NE(error.find("78-byte header"), std::string::npos) << error;
}

}  // namespace
}  // namespace tallimor
