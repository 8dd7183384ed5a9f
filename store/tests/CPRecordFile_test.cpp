// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of CPRecordFile and the record file format: whole files written by the
// independent writer of RecordFileBytes.h are loaded, and saved files are
// compared byte for byte against files that writer builds; hostile files,
// exclusive opening and the never-half-written save are covered as well.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "store/CPRecordFile.h"
#include "store/tests/RecordFileBytes.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

using namespace tallimor::testing;

constexpr std::uint32_t kWithCategories = CPRecordFile::kCategories | CPRecordFile::kAppInfo;

class RecordFileDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    path_ = dir_ + "/record.dat";
  }

  std::vector<std::string> Entries() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir_)) names.push_back(e.path().filename());
    return names;
  }

  tallimor::testing::TempDir temp_{"store"};  // removed after the test
  std::string dir_;
  std::string path_;
};

// The app info data of the memo database: category table, 4 bytes, a 16-byte
// digest; 296 bytes in all.
Bytes AppInfoData(std::uint16_t changed) {
  Bytes data = CategoryTableBytes({"Unfiled", "Business", "Personal", "Ideas"}, {0, 1, 2, 3}, changed);
  for (int i = 0; i < 20; ++i) data.push_back(static_cast<std::uint8_t>(0xA0 + i));
  return data;
}

struct Sample {
  Bytes app;
  Bytes sort;
  std::vector<Bytes> records;

  explicit Sample(std::uint16_t changed = 0) {
    app = InfoBlockBytes("TallimorDB", 296, AppInfoData(changed), 296, 0xCAFEBABE);
    sort = InfoBlockBytes("", 8, {1, 2, 3, 4, 5, 6, 7, 8}, 8);
    records = {RecordImageBytes(100, 0x00, 0, "first"), RecordImageBytes(200, 0x11, 2, "second memo"),
               RecordImageBytes(0, 0x08, 1, ""), RecordImageBytes(300, 0x06, 1, "x")};
  }

  Bytes File(std::int32_t count = -1) const {
    if (count < 0) count = static_cast<std::int32_t>(records.size());
    Bytes file = Header(HeaderFields{}, count, static_cast<std::uint32_t>(app.size()),
                        static_cast<std::uint32_t>(sort.size()));
    Append(file, app);
    Append(file, sort);
    for (const Bytes& r : records) Append(file, r);
    return file;
  }
};

std::string DataOf(const CPRecord* record) {
  return record && record->Data() ? std::string(reinterpret_cast<const char*>(record->Data()), record->DataLength())
                                  : std::string();
}

// ---------------------------------------------------------------- loading

class RecordFileLoad : public RecordFileDir {};

TEST_F(RecordFileLoad, ReadsEveryPartOfAnIndependentlyWrittenFile) {
  WriteFileBytes(path_, Sample(0x0004).File());
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);

  const RecordFileHeader* h = file.Header();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->version, 1);
  EXPECT_STREQ(h->name, "TallimorDB");
  EXPECT_EQ(h->creator, FourCC("Tlmr"));
  EXPECT_EQ(h->type, FourCC("DATA"));
  EXPECT_EQ(h->flags, 0x0008);
  EXPECT_EQ(h->modNumber, 17u);
  EXPECT_EQ(h->recordCount, 4);

  ASSERT_NE(file.AppInfo(), nullptr);
  EXPECT_EQ(file.AppInfo()->Name(), "TallimorDB");
  EXPECT_EQ(file.AppInfo()->Used(), 296u);
  EXPECT_EQ(file.AppInfo()->Reserved(), 0xCAFEBABEu);
  ASSERT_NE(file.SortInfo(), nullptr);
  EXPECT_EQ(file.SortInfo()->Data()[7], 8);

  ASSERT_NE(file.Categories(), nullptr);
  EXPECT_EQ(file.Categories()->Count(), 4);
  EXPECT_STREQ(file.CategoryAt(1)->Name(), "Business");
  EXPECT_TRUE(file.CategoryAt(2)->IsChanged());
  EXPECT_FALSE(file.Categories()->IsDirty());  // cleared after load
  EXPECT_FALSE(file.IsDirty());

  ASSERT_EQ(file.RecordCount(), 4);
  const CPRecord* r = file.RecordAt(1);
  EXPECT_EQ(r->Id(), 200u);
  EXPECT_EQ(r->Index(), 1);
  EXPECT_EQ(r->Category(), 2);
  EXPECT_EQ(r->Status(), kStatusModified);
  EXPECT_TRUE(r->IsPrivate());
  EXPECT_EQ(DataOf(r), "second memo");
  EXPECT_EQ(file.RecordAt(2)->Status(), kStatusNew);
  EXPECT_EQ(file.RecordAt(2)->Data(), nullptr);
  EXPECT_EQ(file.RecordAt(3)->Status(), kStatusDeleted | kStatusArchived);
  EXPECT_EQ(file.RecordAt(3)->Marks(), 0u);
  EXPECT_EQ(file.RecordAt(4), nullptr);

  std::uint8_t data[300];
  std::uint32_t size = 100;
  EXPECT_EQ(file.GetAppInfoData(data, size), kErrBufferTooSmall);
  EXPECT_EQ(size, 296u);
  size = sizeof data;
  ASSERT_EQ(file.GetAppInfoData(data, size), kOk);
  EXPECT_EQ(data[295], 0xA0 + 19);
}

TEST_F(RecordFileLoad, EmptyFileIsAnEmptyDatabase) {
  WriteFileBytes(path_, {});
  CPRecordFile file(path_, 0);
  ASSERT_EQ(file.Load(), kOk);
  EXPECT_EQ(file.RecordCount(), 0);
  ASSERT_NE(file.Header(), nullptr);
  EXPECT_EQ(file.Header()->version, 0);

  file.SetDirty(true);
  ASSERT_EQ(file.Save(), kOk);
  Bytes expected;
  PutFixed32LE(expected, 84);
  expected.resize(84, 0);
  EXPECT_EQ(ReadFileBytes(path_), expected);

  CPRecordFile withCategories(path_, kWithCategories);
  EXPECT_EQ(withCategories.Load(), kErrNoAppInfoForCategories);
}

TEST_F(RecordFileLoad, MissingFileIsNeitherReadNorCreated) {
  CPRecordFile file(path_, kWithCategories);
  EXPECT_EQ(file.Load(), kErrOpenFailed);
  file.SetDirty(true);
  EXPECT_EQ(file.Save(), kErrWrite);
  EXPECT_TRUE(Entries().empty());

  // A file that disappears between load and save is not made again.
  WriteFileBytes(path_, Sample().File());
  ASSERT_EQ(file.Load(), kOk);
  std::filesystem::remove(path_);
  file.SetDirty(true);
  EXPECT_EQ(file.Save(), kErrWrite);
  EXPECT_TRUE(Entries().empty());
  EXPECT_TRUE(file.IsDirty());
}

TEST_F(RecordFileLoad, FileEndingEarlyKeepsTheRecordsBefore) {
  const Sample sample;
  Bytes file = sample.File(3);
  file.resize(file.size() - sample.records[3].size() - sample.records[2].size());
  WriteFileBytes(path_, file);
  CPRecordFile records(path_, kWithCategories);
  EXPECT_EQ(records.Load(), kErrReadRecordHeader);
  EXPECT_EQ(records.RecordCount(), 2);
  EXPECT_NE(records.Categories(), nullptr);  // what was read stays

  // Ending inside a record's data is a short read; right after its header, end of file.
  Bytes cut = sample.File();
  cut.resize(84 + sample.app.size() + sample.sort.size() + sample.records[0].size() + 45);
  WriteFileBytes(path_, cut);
  EXPECT_EQ(records.Load(), kErrReadShort);
  EXPECT_EQ(records.RecordCount(), 1);
  cut.resize(cut.size() - 5);
  WriteFileBytes(path_, cut);
  EXPECT_EQ(records.Load(), kErrReadEof);
  EXPECT_EQ(records.RecordCount(), 1);
}

TEST_F(RecordFileLoad, BytesAfterTheLastRecordAreIgnored) {
  Bytes file = Sample().File(2);
  WriteFileBytes(path_, file);
  CPRecordFile records(path_, kWithCategories);
  EXPECT_EQ(records.Load(), kOk);
  EXPECT_EQ(records.RecordCount(), 2);
}

TEST_F(RecordFileLoad, HugeCountsAndLengthsFailWithoutAllocating) {
  struct Case {
    const char* what;
    std::int32_t count;
    std::uint32_t appLength;
    std::uint32_t sortLength;
    Result expected;
  };
  const Sample sample;
  const auto appSize = static_cast<std::uint32_t>(sample.app.size());
  const Case cases[] = {
      {"record count beyond the file", 0x7FFFFFFF, appSize, 8 + 56, kErrReadRecordHeader},
      {"app info beyond the file", 4, 0xFFFFFFF0u, 8 + 56, kErrReadAppInfo},
      {"app info shorter than its header", 4, 20, 8 + 56, kErrReadAppInfo},
      {"sort info beyond the file", 4, appSize, 0x7FFFFFFF, kErrReadSortInfo},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes file = Header(HeaderFields{}, c.count, c.appLength, c.sortLength);
    Append(file, sample.app);
    Append(file, sample.sort);
    for (const Bytes& r : sample.records) Append(file, r);
    WriteFileBytes(path_, file);
    CPRecordFile records(path_, 0);
    EXPECT_EQ(records.Load(), c.expected);
    EXPECT_NE(records.Header(), nullptr);
  }
}

TEST_F(RecordFileLoad, RecordImagesOutsideTheBufferLimitsStopTheRead) {
  auto withSecond = [&](const Bytes& second) {
    Bytes file = Header(HeaderFields{}, 3, 0, 0);
    Append(file, RecordImageBytes(1, 0, 0, "ok"));
    Append(file, second);
    Append(file, RecordImageBytes(3, 0, 0, std::string(70000, 'z')));  // plenty of bytes after
    return file;
  };
  Bytes tooShort = RecordImageBytes(2, 0, 0, "");
  tooShort[0] = 39;
  Bytes tooLong = RecordImageBytes(2, 0, 0, "");
  tooLong[0] = 0xF1, tooLong[1] = 0xFF;  // 65,521
  Bytes badOffset = RecordImageBytes(2, 0, 0, "abc");
  badOffset[8] = 44;  // past the image's 43 bytes
  Bytes lowOffset = RecordImageBytes(2, 0, 0, "abc");
  lowOffset[8] = 12;
  for (const Bytes* second : {&tooShort, &tooLong, &badOffset, &lowOffset}) {
    WriteFileBytes(path_, withSecond(*second));
    CPRecordFile records(path_, 0);
    EXPECT_EQ(records.Load(), kErrReadRecordHeader);
    EXPECT_EQ(records.RecordCount(), 1);
  }
}

TEST_F(RecordFileLoad, LargestRecordAndOddFieldsAreReadSafely) {
  Bytes app = InfoBlockBytes("x", 276, CategoryTableBytes({"Unfiled"}, {0}), 276);
  // Capacity and used length claim far more than the block holds.
  app[44] = app[45] = app[46] = app[47] = 0xFF;
  app[48] = app[49] = app[50] = app[51] = 0xFF;
  Bytes offsetData = RecordImageBytes(8, 0, 0, "skipme");
  offsetData[8] = 43;  // data starts 3 bytes into the 6
  Bytes file = Header(HeaderFields{}, 3, static_cast<std::uint32_t>(app.size()), 0);
  Append(file, app);
  Append(file, RecordImageBytes(7, 0x3F, 99, std::string(kMaxRecordDataLength, 'm')));
  Append(file, offsetData);
  Append(file, RecordImageBytes(9, 0, 15, "c"));
  WriteFileBytes(path_, file);

  CPRecordFile records(path_, kWithCategories);
  ASSERT_EQ(records.Load(), kOk);
  EXPECT_EQ(records.AppInfo()->Capacity(), 276u);
  EXPECT_EQ(records.AppInfo()->Used(), 276u);
  EXPECT_EQ(records.RecordAt(0)->DataLength(), kMaxRecordDataLength);
  EXPECT_EQ(records.RecordAt(0)->Category(), 0);  // 99 is no category
  EXPECT_EQ(records.RecordAt(0)->Status(), kStatusAll);
  EXPECT_EQ(DataOf(records.RecordAt(1)), "pme");
  EXPECT_EQ(records.RecordAt(2)->Category(), 15);
}

// ---------------------------------------------------------------- saving

class RecordFileSave : public RecordFileDir {};

TEST_F(RecordFileSave, LoadThenSaveGivesTheSameBytes) {
  const Bytes original = Sample(0x0004).File();
  WriteFileBytes(path_, original);
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);
  file.SetDirty(true);
  ASSERT_EQ(file.Save(), kOk);
  EXPECT_EQ(ReadFileBytes(path_), original);
  EXPECT_FALSE(file.IsDirty());
}

TEST_F(RecordFileSave, RecordsAreWrittenInSlotOrderWithTheirFlags) {
  Sample sample;
  WriteFileBytes(path_, sample.File());
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);

  ASSERT_EQ(file.RemoveRecord(1), kOk);  // a hole at slot 1
  CPRecord added;
  added.SetId(500);
  added.SetCategory(1);
  added.SetPrivate(true);
  added.SetModified(true);
  added.SetData(3, reinterpret_cast<const std::uint8_t*>("new"));
  std::int32_t slot = -1;
  ASSERT_EQ(file.AddRecord(added, &slot), kOk);
  EXPECT_EQ(slot, 1);
  CPRecord* empty = file.AddEmptyRecord();
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->Index(), 4);
  ASSERT_EQ(file.Save(), kOk);

  sample.records = {sample.records[0], RecordImageBytes(500, 0x11, 1, "new"), sample.records[2],
                    sample.records[3], RecordImageBytes(0, 0x08, 0, "")};
  EXPECT_EQ(ReadFileBytes(path_), sample.File());
}

TEST_F(RecordFileSave, RenamedCategorySetsItsChangedBit) {
  Sample sample;
  WriteFileBytes(path_, sample.File());
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);
  ASSERT_EQ(file.RenameCategory(3, "Plans"), kOk);
  EXPECT_EQ(file.RenameCategory(9, "None"), kErrNoCategoryAtIndex);
  ASSERT_EQ(file.Save(), kOk);  // only the table is dirty

  Bytes data = CategoryTableBytes({"Unfiled", "Business", "Personal", "Plans"}, {0, 1, 2, 3}, 0x0008);
  for (int i = 0; i < 20; ++i) data.push_back(static_cast<std::uint8_t>(0xA0 + i));  // kept as it was
  sample.app = InfoBlockBytes("TallimorDB", 296, data, 296, 0xCAFEBABE);
  const Bytes saved = ReadFileBytes(path_);
  EXPECT_EQ(saved[84 + 56], 0x00);
  EXPECT_EQ(saved[84 + 57], 0x08);
  EXPECT_EQ(saved, sample.File());
}

TEST_F(RecordFileSave, AddedCategoryGetsDesktopIdAndFirstFreeIndex) {
  WriteFileBytes(path_, Sample().File());
  {
    CPRecordFile file(path_, kWithCategories);
    ASSERT_EQ(file.Load(), kOk);
    EXPECT_EQ(file.FirstFreeCategoryIndex(), 4);
    CPCategory ideas;
    ideas.SetName("Travel");
    ASSERT_EQ(file.AddCategory(ideas), kOk);
    EXPECT_EQ(ideas.Index(), 4);
    EXPECT_EQ(ideas.Id(), 128);
    ASSERT_EQ(file.Save(), kOk);
  }
  CPRecordFile again(path_, kWithCategories);
  ASSERT_EQ(again.Load(), kOk);
  ASSERT_NE(again.CategoryAt(4), nullptr);
  EXPECT_STREQ(again.CategoryAt(4)->Name(), "Travel");
  EXPECT_EQ(again.CategoryAt(4)->Id(), 128);
  EXPECT_TRUE(again.CategoryAt(4)->IsChanged());
  EXPECT_FALSE(again.CategoryAt(3)->IsChanged());
}

TEST_F(RecordFileSave, DeletedCategoryMovesOrDeletesItsRecords) {
  WriteFileBytes(path_, Sample().File());
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);
  EXPECT_EQ(file.DeleteCategory(16, true), kErrRecordCategoryIndex);
  EXPECT_EQ(file.DeleteCategory(7, true), kErrBadCategoryIndex);
  ASSERT_EQ(file.DeleteCategory(1, true), kOk);
  ASSERT_EQ(file.DeleteCategory(2, false), kOk);
  EXPECT_EQ(file.RecordAt(2)->Category(), 0);
  EXPECT_EQ(file.RecordAt(2)->Status(), kStatusNew | kStatusModified);
  EXPECT_EQ(file.RecordAt(3)->Category(), 0);
  EXPECT_EQ(file.RecordAt(1)->Category(), 2);
  EXPECT_EQ(file.RecordAt(1)->Status(), kStatusDeleted | kStatusModified);
  EXPECT_EQ(file.RecordAt(0)->Status(), 0u);
  ASSERT_EQ(file.Save(), kOk);

  CPRecordFile again(path_, kWithCategories);
  ASSERT_EQ(again.Load(), kOk);
  EXPECT_EQ(again.Categories()->Count(), 2);
  EXPECT_EQ(again.RecordAt(1)->Status(), kStatusDeleted | kStatusModified);
}

TEST_F(RecordFileSave, NothingDirtyWritesNothing) {
  WriteFileBytes(path_, Sample().File());
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);
  WriteFileBytes(path_, {1, 2, 3});
  EXPECT_EQ(file.Save(), kOk);
  EXPECT_EQ(ReadFileBytes(path_), (Bytes{1, 2, 3}));
}

TEST_F(RecordFileSave, ShorterFileLeavesNoOldBytesBehind) {
  Sample sample;
  WriteFileBytes(path_, sample.File());
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);
  for (int slot = 1; slot < 4; ++slot) ASSERT_EQ(file.RemoveRecord(slot), kOk);
  ASSERT_EQ(file.Save(), kOk);
  sample.records.resize(1);
  EXPECT_EQ(ReadFileBytes(path_), sample.File());
}

TEST_F(RecordFileSave, RecordTooLargeFailsTheWholeSaveAndKeepsTheOldFile) {
  const Bytes original = Sample().File();
  WriteFileBytes(path_, original);
  ::chmod(path_.c_str(), 0640);
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);
  const std::string big(kMaxRecordDataLength + 1, 'b');
  ASSERT_EQ(file.RecordAt(0)->SetData(static_cast<std::uint32_t>(big.size()),
                                      reinterpret_cast<const std::uint8_t*>(big.data())),
            kOk);
  file.SetDirty(true);
  EXPECT_EQ(file.Save(), kErrWrite);
  EXPECT_TRUE(file.IsDirty());
  EXPECT_EQ(ReadFileBytes(path_), original);
  EXPECT_EQ(Entries(), std::vector<std::string>{"record.dat"});  // no temporary left

  // At the limit the record fits, and the file keeps its permissions.
  ASSERT_EQ(file.RecordAt(0)->SetData(kMaxRecordDataLength, reinterpret_cast<const std::uint8_t*>(big.data())),
            kOk);
  ASSERT_EQ(file.Save(), kOk);
  struct stat st {};
  ASSERT_EQ(::stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  CPRecordFile again(path_, kWithCategories);
  ASSERT_EQ(again.Load(), kOk);
  EXPECT_EQ(again.RecordAt(0)->DataLength(), kMaxRecordDataLength);
}

TEST_F(RecordFileSave, SymbolicLinkKeepsPointingAtTheSavedFile) {
  const std::string target = dir_ + "/real.dat";
  const Sample sample;
  WriteFileBytes(target, sample.File());
  std::filesystem::create_symlink(target, path_);
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);
  ASSERT_EQ(file.MarkDeleted(0, true), kOk);
  ASSERT_EQ(file.Save(), kOk);
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  const std::size_t firstFlags = 84 + sample.app.size() + sample.sort.size() + 24;
  EXPECT_EQ(ReadFileBytes(target)[firstFlags], 0x02);
}

// ---------------------------------------------------------------- exclusive opening

class RecordFileExclusive : public RecordFileDir {};

TEST_F(RecordFileExclusive, FileOpenElsewhereIsRefused) {
  WriteFileBytes(path_, Sample().File());
  const int other = ::open(path_.c_str(), O_RDWR);
  ASSERT_GE(other, 0);
  ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);

  CPRecordFile file(path_, kWithCategories);
  EXPECT_EQ(file.Load(), kErrOpenFailed);
  file.SetDirty(true);
  ::close(other);
  ASSERT_EQ(file.Load(), kOk);

  const int again = ::open(path_.c_str(), O_RDWR);
  ASSERT_EQ(::flock(again, LOCK_EX | LOCK_NB), 0);
  file.SetDirty(true);
  EXPECT_EQ(file.Save(), kErrWrite);
  ::close(again);
  EXPECT_EQ(file.Save(), kOk);
}

TEST_F(RecordFileExclusive, ReplacedFileStaysLockedUntilClosed) {
  WriteFileBytes(path_, {});
  LockedFile first;
  ASSERT_EQ(first.Open(path_, LockedFile::Mode::kReadWriteExisting), kOk);
  ASSERT_EQ(first.Replace([](int fd) { return ::write(fd, "new", 3) == 3 ? kOk : kErrWrite; }), kOk);
  EXPECT_EQ(ReadFileBytes(path_), (Bytes{'n', 'e', 'w'}));

  LockedFile second;
  EXPECT_EQ(second.Open(path_, LockedFile::Mode::kReadExisting), kErrOpenFailed);
  // A failed replace keeps the file and the lock.
  EXPECT_EQ(first.Replace([](int) { return kErrWrite; }), kErrWrite);
  EXPECT_EQ(second.Open(path_, LockedFile::Mode::kReadExisting), kErrOpenFailed);
  first.Close();
  EXPECT_EQ(second.Open(path_, LockedFile::Mode::kReadExisting), kOk);
  EXPECT_EQ(Entries(), std::vector<std::string>{"record.dat"});
}

TEST_F(RecordFileExclusive, ASaveRemovesTemporariesThatKilledWritersLeftButNoLiveOne) {
  WriteFileBytes(path_, Sample().File());
  WriteFileBytes(dir_ + "/record.dat.a1B2c3", {'o', 'l', 'd'});  // a dead writer's
  WriteFileBytes(dir_ + "/record.dat.bak", {'k'});                // not a temporary's name
  WriteFileBytes(dir_ + "/record.dat.Z9y8x7", {'l', 'i', 'v', 'e'});
  const int live = ::open((dir_ + "/record.dat.Z9y8x7").c_str(), O_RDWR);
  ASSERT_GE(live, 0);
  ASSERT_EQ(::flock(live, LOCK_EX | LOCK_NB), 0);  // a writer still at work holds it

  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);
  ASSERT_EQ(file.MarkDeleted(0, true), kOk);
  ASSERT_EQ(file.Save(), kOk);
  ::close(live);
  std::vector<std::string> left = Entries();
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"record.dat", "record.dat.Z9y8x7", "record.dat.bak"}));
}

TEST_F(RecordFileExclusive, ASaveNeverWritesOverAFileAnotherProgramChangedSinceTheLoad) {
  WriteFileBytes(path_, Sample().File());
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);
  ASSERT_EQ(file.MarkDeleted(0, true), kOk);

  // Another program (a HotSync that ran without telling) wrote the file meanwhile.
  Bytes theirs = Sample(0x0004).File();
  WriteFileBytes(path_ + ".other", theirs);
  std::filesystem::rename(path_ + ".other", path_);
  EXPECT_EQ(file.Save(), kErrFileChanged);
  EXPECT_EQ(ReadFileBytes(path_), theirs);
  EXPECT_TRUE(file.IsDirty());

  // Put back byte for byte as it was read, it is the same file: the save goes on.
  ASSERT_EQ(file.Load(), kOk);
  const Bytes read = ReadFileBytes(path_);
  ASSERT_EQ(file.MarkDeleted(0, true), kOk);
  WriteFileBytes(path_ + ".copy", read);
  std::filesystem::rename(path_ + ".copy", path_);
  EXPECT_EQ(file.Save(), kOk);
  // After its own save the store knows the file it wrote.
  ASSERT_EQ(file.MarkDeleted(1, true), kOk);
  EXPECT_EQ(file.Save(), kOk);
}

TEST_F(RecordFileExclusive, AReplaceRefusesAFileThatWasReplacedUnderIt) {
  // A file system without locks lets another writer in: the replace notices.
  WriteFileBytes(path_, {'o', 'l', 'd'});
  LockedFile held;
  ASSERT_EQ(held.Open(path_, LockedFile::Mode::kReadExisting), kOk);
  WriteFileBytes(path_ + ".other", {'t', 'h', 'e', 'i', 'r', 's'});
  std::filesystem::rename(path_ + ".other", path_);
  EXPECT_EQ(held.Replace([](int fd) { return ::write(fd, "mine", 4) == 4 ? kOk : kErrWrite; }),
            kErrFileChanged);
  EXPECT_EQ(ReadFileBytes(path_), (Bytes{'t', 'h', 'e', 'i', 'r', 's'}));
  EXPECT_EQ(Entries(), std::vector<std::string>{"record.dat"});
}

// ---------------------------------------------------------------- the record list

class RecordFileRecords : public RecordFileDir {};

TEST_F(RecordFileRecords, MarksIterationAndLookUpById) {
  WriteFileBytes(path_, Sample().File());
  CPRecordFile file(path_, kWithCategories);
  ASSERT_EQ(file.Load(), kOk);

  EXPECT_EQ(file.MarkModified(2, true), kOk);  // new: status unchanged
  EXPECT_EQ(file.RecordAt(2)->Status(), kStatusNew);
  EXPECT_TRUE(file.IsDirty());
  EXPECT_EQ(file.MarkModified(0, true), kOk);
  EXPECT_EQ(file.RecordAt(0)->Status(), kStatusModified);
  EXPECT_EQ(file.MarkDeleted(0, true), kOk);
  EXPECT_EQ(file.MarkDeleted(0, false), kOk);
  EXPECT_EQ(file.RecordAt(0)->Status(), kStatusModified);
  EXPECT_EQ(file.MarkDeleted(17, true), kErrRecordNotFound);

  ASSERT_EQ(file.RemoveRecord(1), kOk);
  EXPECT_EQ(file.RemoveRecord(1), kErrRecordNotFound);
  std::vector<std::uint32_t> ids;
  for (CPRecord* r = file.FirstRecord(); r; r = file.NextRecord()) ids.push_back(r->Id());
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{100, 0, 300}));

  CPRecord* fresh = file.AddEmptyRecord();  // takes the hole at 1, id 0 like slot 2
  EXPECT_EQ(fresh->Index(), 1);
  EXPECT_EQ(file.FindRecordById(0), 1);
  EXPECT_EQ(file.FindRecordById(300), 3);
  EXPECT_EQ(file.FindRecordById(200), -1);
  ASSERT_EQ(file.SetRecordId(1, 200), kOk);
  EXPECT_EQ(file.FindRecordById(0), 2);
  EXPECT_EQ(file.FindRecordById(200), 1);
}

}  // namespace
}  // namespace tallimor
