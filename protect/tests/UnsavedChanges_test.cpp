// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of a save that meets a file another program rewrote: the store refuses to write
// over it, and ReloadWithEdits reads the file anew and puts the user's unsaved edits on
// top of it (UnsavedChanges). The "other program" is a second store on the same file,
// as another Tallimor would be, or bytes written by the independent file writer, as a
// HotSync leaves them. Every scenario checks the file afterwards memo by memo.
#include "protect/UnsavedChanges.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "protect/tests/ProtectedFileWriter.h"
#include "store/LockedFile.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

using testing::MemoSpec;
using testing::PlainMemo;
using testing::ProtectedFileBytes;
using testing::ProtectedFileSpec;
using testing::WriteBytes;

constexpr char kPassword[] = "pw";

// A memo as the file holds it, read back through a store of its own.
struct Seen {
  std::uint32_t id;
  std::string category;  // the category's name
  bool isPrivate;
  bool deleted;
  std::string text;
  bool operator==(const Seen&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Seen& seen) {
  return out << "{" << seen.id << ", " << seen.category << (seen.isPrivate ? ", private" : "")
             << (seen.deleted ? ", deleted" : "") << ", \"" << seen.text << "\"}";
}

class ReloadWithEditsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    path_ = dir_ + "/record.dat";
  }

  // The file a HotSync leaves: categories Unfiled, Business (id 1), Travel (id 2).
  void WriteFile(std::vector<MemoSpec> memos, const char* password = kPassword,
                 std::vector<std::string> categories = {"Unfiled", "Business", "Travel"}) {
    ProtectedFileSpec spec;
    spec.password = password;
    spec.categories = std::move(categories);
    spec.memos = std::move(memos);
    ASSERT_TRUE(WriteBytes(path_, ProtectedFileBytes(spec)));
  }

  std::unique_ptr<CProtectedRecordFile> Open(const char* password = kPassword) {
    auto store = std::make_unique<CProtectedRecordFile>(path_, password);
    EXPECT_EQ(store->Load(), kOk);
    return store;
  }

  // The slot of the live memo with this text, or -1.
  static std::int32_t Find(const CPRecordFile& store, const std::string& text) {
    for (std::int32_t slot = 0; slot < store.HighWater(); ++slot) {
      const CPRecord* record = store.RecordAt(slot);
      if (record != nullptr && StoredMemoText(*record) == text) return slot;
    }
    return -1;
  }
  static void Edit(CPRecordFile& store, const std::string& text, const std::string& now) {
    const std::int32_t slot = Find(store, text);
    ASSERT_GE(slot, 0) << text;
    ASSERT_EQ(StoreMemo(*store.RecordAt(slot), now), kOk);
    store.MarkModified(slot, true);
  }
  static void Add(CPRecordFile& store, const std::string& text, std::int32_t category = 0) {
    CPRecord* record = store.AddEmptyRecord();
    ASSERT_NE(record, nullptr);
    ASSERT_EQ(StoreMemo(*record, text), kOk);
    record->SetCategory(category);
  }
  static void Delete(CPRecordFile& store, const std::string& text) {
    const std::int32_t slot = Find(store, text);
    ASSERT_GE(slot, 0) << text;
    store.MarkDeleted(slot, true);
  }

  // Every memo of the file, deleted ones too, sorted by text.
  std::vector<Seen> FileMemos(const char* password = kPassword) {
    CProtectedRecordFile disk(path_, password);
    EXPECT_EQ(disk.Load(), kOk);
    std::vector<Seen> memos;
    for (std::int32_t slot = 0; slot < disk.HighWater(); ++slot) {
      const CPRecord* record = disk.RecordAt(slot);
      if (record == nullptr) continue;
      const CPCategory* category = disk.CategoryAt(record->Category());
      memos.push_back({record->Id(), category && category->Name() ? category->Name() : "?",
                       record->IsPrivate(), record->IsDeleted(), std::string(StoredMemoText(*record))});
    }
    std::sort(memos.begin(), memos.end(), [](const Seen& a, const Seen& b) { return a.text < b.text; });
    return memos;
  }

  // ReloadWithEdits on `store`, which is replaced by the reloaded one.
  Result Reload(std::unique_ptr<CProtectedRecordFile>& store, UnsavedChangeCounts* counts) {
    std::unique_ptr<CProtectedRecordFile> reloaded;
    const Result result = store->ReloadWithEdits(&reloaded, counts);
    if (result != kOk) {
      EXPECT_EQ(reloaded, nullptr);
      return result;
    }
    EXPECT_NE(reloaded, nullptr);
    store->DiscardEdits();
    store = std::move(reloaded);
    return kOk;
  }

  tallimor::testing::TempDir temp_{"reload-edits"};  // removed after the test
  std::string dir_;
  std::string path_;
};

// Two programs on one file, each with edits of its own; the second to save is refused
// and puts its edits on top of what the first wrote: every memo of both, once.
TEST_F(ReloadWithEditsTest, EditsOfBothProgramsAreKeptAndNoneTwice) {
  WriteFile({{101, 1, 0, PlainMemo("edited here")},
             {102, 0, 0, PlainMemo("deleted here")},
             {103, 1, 0, PlainMemo("moved here")},
             {104, 0, 0, PlainMemo("deleted there")},
             {105, 0, 0, PlainMemo("edited there")}});
  auto mine = Open();
  auto other = Open();

  Edit(*mine, "edited here", "edited here, twice");
  Delete(*mine, "deleted here");
  mine->RecordAt(Find(*mine, "moved here"))->SetCategory(2);
  mine->MarkModified(Find(*mine, "moved here"), true);
  Add(*mine, "typed here", 1);

  Delete(*other, "deleted there");
  Edit(*other, "edited there", "edited there, twice");
  Add(*other, "typed there");
  ASSERT_EQ(other->Save(), kOk);

  const std::vector<std::uint8_t> before = testing::ReadBytes(path_);
  EXPECT_EQ(mine->Save(), kErrFileChanged);
  EXPECT_EQ(testing::ReadBytes(path_), before);  // nothing written over the other's work
  EXPECT_TRUE(mine->IsDirty());
  EXPECT_EQ(StoredMemoText(*mine->RecordAt(Find(*mine, "edited here, twice"))), "edited here, twice");

  UnsavedChangeCounts counts;
  ASSERT_EQ(Reload(mine, &counts), kOk);
  EXPECT_EQ(counts.added, 1);
  EXPECT_EQ(counts.changed, 2);
  EXPECT_EQ(counts.deleted, 1);
  EXPECT_EQ(counts.addedForGone, 0);
  EXPECT_FALSE(mine->IsDirty());

  const std::vector<Seen> want = {
      {104, "Unfiled", false, true, "deleted there"},
      {102, "Unfiled", false, true, "deleted here"},
      {101, "Business", false, false, "edited here, twice"},
      {105, "Unfiled", false, false, "edited there, twice"},
      {103, "Travel", false, false, "moved here"},
      {0, "Business", false, false, "typed here"},
      {0, "Unfiled", false, false, "typed there"},
  };
  std::vector<Seen> sortedWant = want;
  std::sort(sortedWant.begin(), sortedWant.end(), [](const Seen& a, const Seen& b) { return a.text < b.text; });
  EXPECT_EQ(FileMemos(), sortedWant);
  // The reloaded store shows what the file holds, and the next HotSync sends the edits.
  EXPECT_EQ(mine->RecordCount(), 7);
  EXPECT_TRUE(mine->RecordAt(Find(*mine, "edited here, twice"))->IsModified());
  EXPECT_TRUE(mine->RecordAt(Find(*mine, "typed here"))->IsNew());
}

// Only what the user changed goes over the record: a change the other program made to
// another field of the same memo stays.
TEST_F(ReloadWithEditsTest, OnlyTheFieldsTheUserChangedGoOver) {
  WriteFile({{101, 0, 0, PlainMemo("text changed here")}, {102, 1, 0, PlainMemo("moved here")}});
  auto mine = Open();
  auto other = Open();
  Edit(*mine, "text changed here", "new text");
  mine->RecordAt(Find(*mine, "moved here"))->SetCategory(2);
  mine->MarkModified(Find(*mine, "moved here"), true);

  other->RecordAt(Find(*other, "text changed here"))->SetCategory(2);
  other->RecordAt(Find(*other, "text changed here"))->SetPrivate(true);
  other->MarkModified(Find(*other, "text changed here"), true);
  Edit(*other, "moved here", "moved here, edited there");
  ASSERT_EQ(other->Save(), kOk);

  ASSERT_EQ(mine->Save(), kErrFileChanged);
  UnsavedChangeCounts counts;
  ASSERT_EQ(Reload(mine, &counts), kOk);
  EXPECT_EQ(FileMemos(), (std::vector<Seen>{{102, "Travel", false, false, "moved here, edited there"},
                                            {101, "Travel", true, false, "new text"}}));
}

// A memo the desktop wrote but no HotSync has carried yet has no id: it is found again
// by what it held, also after a HotSync gave it an id, so an edit of it never doubles it.
TEST_F(ReloadWithEditsTest, AMemoWithoutAnIdIsFoundByItsFormerText) {
  WriteFile({{0, 0, 0x08, PlainMemo("not yet synchronised")}, {0, 0, 0x08, PlainMemo("deleted before the HotSync")}});
  auto mine = Open();
  Edit(*mine, "not yet synchronised", "edited since");
  Delete(*mine, "deleted before the HotSync");
  // The HotSync gave both memos ids on the handheld and wrote the file.
  WriteFile({{501, 0, 0, PlainMemo("not yet synchronised")}, {502, 0, 0, PlainMemo("deleted before the HotSync")}});

  ASSERT_EQ(mine->Save(), kErrFileChanged);
  UnsavedChangeCounts counts;
  ASSERT_EQ(Reload(mine, &counts), kOk);
  EXPECT_EQ(counts.changed, 1);
  EXPECT_EQ(counts.deleted, 1);
  EXPECT_EQ(FileMemos(), (std::vector<Seen>{{502, "Unfiled", false, true, "deleted before the HotSync"},
                                            {501, "Unfiled", false, false, "edited since"}}));
}

// The user's edit wins over a deletion the user never saw: a record the other program
// marked deleted comes back, and one it removed altogether is added again as new.
TEST_F(ReloadWithEditsTest, AnEditedMemoTheOtherProgramDeletedComesBack) {
  WriteFile({{101, 0, 0, PlainMemo("marked deleted there")}, {102, 0, 0, PlainMemo("removed there")}});
  auto mine = Open();
  Edit(*mine, "marked deleted there", "kept by the edit");
  Edit(*mine, "removed there", "added again");
  // A HotSync removed memo 102 (deleted on the handheld) and marked 101 deleted.
  WriteFile({{101, 0, 0x02, PlainMemo("marked deleted there")}});

  ASSERT_EQ(mine->Save(), kErrFileChanged);
  UnsavedChangeCounts counts;
  ASSERT_EQ(Reload(mine, &counts), kOk);
  EXPECT_EQ(counts.changed, 1);
  EXPECT_EQ(counts.addedForGone, 1);
  EXPECT_EQ(FileMemos(), (std::vector<Seen>{{0, "Unfiled", false, false, "added again"},
                                            {101, "Unfiled", false, false, "kept by the edit"}}));
}

// Category edits: a rename applies where the category still exists, a category added
// here is added (not over one the other program added at the same index), a deleted one
// goes with its memos moved to Unfiled, and a memo filed in a category the other program
// deleted stays where the file has it.
TEST_F(ReloadWithEditsTest, CategoryChangesAreKeptWhereTheCategoryStillExists) {
  WriteFile({{101, 1, 0, PlainMemo("in Business")},
             {102, 2, 0, PlainMemo("in Travel")},
             {103, 0, 0, PlainMemo("moved to Travel")}},
            kPassword, {"Unfiled", "Business", "Travel", "Old"});
  auto mine = Open();
  auto other = Open();

  ASSERT_EQ(mine->RenameCategory(1, "Work"), kOk);
  ASSERT_EQ(mine->DeleteCategory(3, true), kOk);  // "Old"
  CPCategory home;
  home.SetName("Home");
  ASSERT_EQ(mine->AddCategory(home), kOk);
  ASSERT_EQ(home.Index(), 3);
  Add(*mine, "typed in Home", home.Index());
  mine->RecordAt(Find(*mine, "moved to Travel"))->SetCategory(2);
  mine->MarkModified(Find(*mine, "moved to Travel"), true);

  CPCategory garden;
  garden.SetName("Garden");
  ASSERT_EQ(other->AddCategory(garden), kOk);
  ASSERT_EQ(garden.Index(), 4);
  ASSERT_EQ(other->DeleteCategory(2, true), kOk);  // "Travel", its memo to Unfiled
  Add(*other, "filed in Old there", 3);
  ASSERT_EQ(other->Save(), kOk);

  ASSERT_EQ(mine->Save(), kErrFileChanged);
  UnsavedChangeCounts counts;
  ASSERT_EQ(Reload(mine, &counts), kOk);
  EXPECT_EQ(counts.categoriesRenamed, 1);
  EXPECT_EQ(counts.categoriesAdded, 1);
  EXPECT_EQ(counts.categoriesDeleted, 1);

  EXPECT_EQ(FileMemos(), (std::vector<Seen>{{0, "Unfiled", false, false, "filed in Old there"},
                                            {101, "Work", false, false, "in Business"},
                                            {102, "Unfiled", false, false, "in Travel"},
                                            {103, "Unfiled", false, false, "moved to Travel"},
                                            {0, "Home", false, false, "typed in Home"}}));
  CProtectedRecordFile disk(path_, kPassword);
  ASSERT_EQ(disk.Load(), kOk);
  EXPECT_EQ(disk.Categories()->FindByName("Garden")->Index(), 4);
  EXPECT_EQ(disk.Categories()->FindByName("Old"), nullptr);
  EXPECT_EQ(disk.Categories()->FindByName("Travel"), nullptr);
}

// While another program holds the file, and when the file has come under another
// password, nothing is reloaded: the store keeps its edits, dirty, for a later try.
TEST_F(ReloadWithEditsTest, AFailedReloadChangesNothing) {
  WriteFile({{101, 0, 0, PlainMemo("on file")}});
  auto mine = Open();
  Edit(*mine, "on file", "edited");
  Add(*mine, "typed");
  WriteFile({{101, 0, 0, PlainMemo("on file")}, {102, 0, 0, PlainMemo("from the HotSync")}});
  const std::vector<std::uint8_t> written = testing::ReadBytes(path_);

  UnsavedChangeCounts counts;
  {
    LockedFile held;  // as the conduit holds it for a HotSync
    ASSERT_EQ(held.Open(path_, LockedFile::Mode::kReadWriteExisting), kOk);
    EXPECT_EQ(Reload(mine, &counts), kErrOpenFailed);
  }
  EXPECT_TRUE(mine->IsDirty());
  EXPECT_EQ(mine->RecordCount(), 2);
  EXPECT_GE(Find(*mine, "edited"), 0);
  EXPECT_GE(Find(*mine, "typed"), 0);
  EXPECT_EQ(testing::ReadBytes(path_), written);

  WriteFile({{101, 0, 0, PlainMemo("under the new password")}}, "new-pw");
  const std::vector<std::uint8_t> rekeyed = testing::ReadBytes(path_);
  EXPECT_EQ(Reload(mine, &counts), kErrStoreKeyChanged);
  EXPECT_EQ(testing::ReadBytes(path_), rekeyed);
  EXPECT_GE(Find(*mine, "edited"), 0);
  EXPECT_TRUE(mine->IsDirty());

  // Once the file is back under the store's key, the same edits go through.
  WriteFile({{101, 0, 0, PlainMemo("on file")}, {102, 0, 0, PlainMemo("from the HotSync")}});
  ASSERT_EQ(Reload(mine, &counts), kOk);
  EXPECT_EQ(FileMemos(), (std::vector<Seen>{{101, "Unfiled", false, false, "edited"},
                                            {102, "Unfiled", false, false, "from the HotSync"},
                                            {0, "Unfiled", false, false, "typed"}}));
}

// Memos typed for a user whose first HotSync had not yet made the file: when a HotSync
// made it meanwhile, the save is refused rather than reported done, and the reload
// adds the memos to what the HotSync brought.
TEST_F(ReloadWithEditsTest, MemosTypedBeforeAFileAppearedJoinIt) {
  CProtectedRecordFile probe(path_, kPassword);
  EXPECT_NE(probe.Load(), kOk);  // no file yet
  auto mine = std::make_unique<CProtectedRecordFile>(path_, kPassword);
  mine->Load();
  Add(*mine, "typed before the first HotSync");
  WriteFile({{101, 0, 0, PlainMemo("from the handheld")}});

  EXPECT_EQ(mine->Save(), kErrFileChanged);
  UnsavedChangeCounts counts;
  ASSERT_EQ(Reload(mine, &counts), kOk);
  EXPECT_EQ(counts.added, 1);
  EXPECT_EQ(FileMemos(), (std::vector<Seen>{{101, "Unfiled", false, false, "from the handheld"},
                                            {0, "Unfiled", false, false, "typed before the first HotSync"}}));
}

// Collected changes against what was remembered, directly: an undeleted memo counts
// as changed, a memo written and deleted again before any save as nothing, and a
// store that was saved remembers itself anew.
TEST_F(ReloadWithEditsTest, ChangesAreCountedFromTheLastReadOrWrite) {
  WriteFile({{101, 0, 0x02, PlainMemo("deleted on file")}, {102, 0, 0, PlainMemo("saved edit")}});
  auto mine = Open();
  mine->MarkDeleted(Find(*mine, "deleted on file"), false);
  Add(*mine, "written and deleted");
  Delete(*mine, "written and deleted");
  Edit(*mine, "saved edit", "saved edit, saved");
  ASSERT_EQ(mine->Save(), kOk);  // remembered as written: this edit is no longer unsaved
  mine->RecordAt(Find(*mine, "deleted on file"))->SetPrivate(true);
  mine->MarkModified(Find(*mine, "deleted on file"), true);
  // Another program rewrote the file with the same memos.
  WriteFile({{101, 0, 0, PlainMemo("deleted on file")}, {102, 0, 0, PlainMemo("saved edit, saved")}});
  ASSERT_EQ(mine->Save(), kErrFileChanged);

  UnsavedChangeCounts counts;
  ASSERT_EQ(Reload(mine, &counts), kOk);
  EXPECT_EQ(counts.changed, 1);  // only the private flag set since the save
  EXPECT_EQ(counts.added, 0);
  EXPECT_EQ(FileMemos(), (std::vector<Seen>{{101, "Unfiled", true, false, "deleted on file"},
                                            {102, "Unfiled", false, false, "saved edit, saved"}}));

  UnsavedChanges nothing;
  ASSERT_EQ(nothing.Remember(*mine), kOk);
  ASSERT_EQ(nothing.Collect(*mine), kOk);
  EXPECT_TRUE(nothing.IsEmpty());
}

}  // namespace
}  // namespace tallimor
