// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Archives read beside their record.dat: the memos of "<category>.ARC" are filed in the
// category of that file name in record.dat's table (a name with a character unsafe in
// file names included), Unfiled where no category has that name or no record.dat
// stands beside; none of the files is changed by the reading.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "exchange/MemoFile.h"
#include "store/tests/RecordFileBytes.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

using namespace tallimor::testing;  // NOLINT: the record file byte builders

class ArchiveBesideRecordFile : public ::testing::Test {
 protected:
  TempDir temp_{"memo-file"};  // removed after the test
  const std::string dir_ = temp_.path();

  // record.dat with these categories (index order; "" unused) and no records.
  void WriteRecordDat(const std::vector<std::string>& names) {
    std::vector<std::uint8_t> ids;
    for (std::size_t i = 0; i < names.size(); ++i) ids.push_back(static_cast<std::uint8_t>(i));
    const Bytes table = CategoryTableBytes(names, ids);
    Bytes file = Header(HeaderFields{}, 0, 56 + 276, 0);
    Append(file, InfoBlockBytes("TallimorDB", 276, table, 276));
    WriteFileBytes(dir_ + "/record.dat", file);
  }
  // An archive as the HotSync writes it: no info blocks, records filed at index 0.
  std::string WriteArchive(const std::string& name) {
    Bytes file = Header(HeaderFields{}, 2, 0, 0);
    Append(file, RecordImageBytes(7, 0x04, 0, std::string("first\0", 6)));
    Append(file, RecordImageBytes(9, 0x04, 0, std::string("second\0", 7)));
    const std::string path = dir_ + "/" + name;
    WriteFileBytes(path, file);
    return path;
  }
  // The category of each record's exchange memo (the memos as stored, unprotected).
  static std::vector<std::string> Categories(MemoFile& file) {
    file.memos = {"first", "second"};
    std::vector<std::string> names;
    bool lossy = false;
    for (std::size_t i = 0; i < file.records.size(); ++i) names.push_back(MemoFileExchangeMemo(file, i, &lossy).category);
    return names;
  }
};

TEST_F(ArchiveBesideRecordFile, MemosTakeTheCategoryTheFileIsNamedFor) {
  WriteRecordDat({"Unfiled", "Business", "a/b", "\x8e\x64\x8e\x96"});  // 仕事 in code page 932
  struct Case {
    const char* file;
    int index;
    const char* category;
  } const kCases[] = {
      {"Business.ARC", 1, "Business"},
      {"a_b.ARC", 2, "a/b"},                // the file name has the unsafe character replaced
      {"\x8e\x64\x8e\x96.ARC", 3, "仕事"},  // the name's code page 932 bytes name the file
      {"Business.arc", 1, "Business"},
      {"Personal.ARC", -1, kUnfiledCategoryName},  // no such category in record.dat
      {"record.ARC", -1, kUnfiledCategoryName},    // the database's own archive
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.file);
    const std::string path = WriteArchive(c.file);
    const Bytes before = ReadFileBytes(path);
    const Bytes recordBefore = ReadFileBytes(dir_ + "/record.dat");
    MemoFile file;
    ASSERT_EQ(ReadMemoFile(path, file), kOk);
    EXPECT_EQ(file.archiveCategory, c.index);
    EXPECT_EQ(Categories(file), std::vector<std::string>(2, c.category));
    // The records stay as stored: only the exchange memos are filed.
    EXPECT_EQ(file.records[0]->Category(), 0);
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_EQ(ReadFileBytes(dir_ + "/record.dat"), recordBefore);
    std::filesystem::remove(path);
  }
}

TEST_F(ArchiveBesideRecordFile, WithoutARecordDatOrWithADamagedOneTheMemosAreUnfiled) {
  const std::string path = WriteArchive("Business.ARC");
  MemoFile alone;
  ASSERT_EQ(ReadMemoFile(path, alone), kOk);
  EXPECT_EQ(alone.archiveCategory, -1);
  EXPECT_FALSE(alone.hasCategories);
  EXPECT_EQ(Categories(alone), std::vector<std::string>(2, kUnfiledCategoryName));

  // A record.dat cut inside its category table names nothing.
  WriteRecordDat({"Unfiled", "Business"});
  Bytes cut = ReadFileBytes(dir_ + "/record.dat");
  cut.resize(84 + 56 + 100);
  WriteFileBytes(dir_ + "/record.dat", cut);
  MemoFile damaged;
  ASSERT_EQ(ReadMemoFile(path, damaged), kOk);
  EXPECT_EQ(damaged.archiveCategory, -1);
  EXPECT_EQ(Categories(damaged), std::vector<std::string>(2, kUnfiledCategoryName));
}

}  // namespace
}  // namespace tallimor
