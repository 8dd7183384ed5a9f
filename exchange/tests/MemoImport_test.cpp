// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Import into a real store read from a file written independently: every check comes
// before the first change, categories are found by name, made while there is room and
// otherwise the memo is Unfiled, and the memos saved read back as new memos.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "exchange/MemoImport.h"
#include "protect/CProtectedRecordFile.h"
#include "protect/StoredMemo.h"
#include "protect/tests/ProtectedFileWriter.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

class MemoImportStore : public ::testing::Test {
 protected:
  void SetUp() override { path_ = temp_.Join("record.dat"); }
  void WriteStore(const std::vector<std::string>& categories) {
    testing::ProtectedFileSpec spec;
    spec.password = "pw";
    spec.categories = categories;
    spec.memos.push_back({1, 1, 0, testing::PlainMemo("kept")});
    ASSERT_TRUE(testing::WriteBytes(path_, testing::ProtectedFileBytes(spec)));
  }
  tallimor::testing::TempDir temp_{"memo-import"};  // removed after the test
  std::string path_;
};

TEST_F(MemoImportStore, MemosBecomeNewMemosInTheirCategoriesAndSurviveASave) {
  WriteStore({"Unfiled", "\x8e\x64\x8e\x96"});  // "仕事"
  MemoImport import;
  ImportProblem problem;
  ASSERT_TRUE(import.Prepare({{"仕事", "日本語\n二行目", true, false, false},
                              {"Travel", "", false, false, false},
                              {kUnfiledCategoryName, "x", false, false, false},
                              {"Travel", "again", false, false, false}},
                             &problem));
  {
    CProtectedRecordFile store(path_, "pw");
    ASSERT_EQ(store.Load(), kOk);
    ImportCounts counts;
    ASSERT_EQ(import.Apply(store, &counts), kOk);
    EXPECT_EQ(counts.memos, 4u);
    EXPECT_EQ(counts.categoriesAdded, 1u);  // Travel, once
    EXPECT_EQ(counts.filedAsUnfiled, 0u);
    ASSERT_EQ(store.Save(), kOk);
  }
  CProtectedRecordFile again(path_, "pw");
  ASSERT_EQ(again.Load(), kOk);
  ASSERT_EQ(again.RecordCount(), 5);
  const CPCategory* travel = again.Categories()->FindByName("Travel");
  ASSERT_NE(travel, nullptr);
  std::vector<std::string> texts;
  for (std::int32_t slot = 0; slot < again.HighWater(); ++slot) {
    const CPRecord* record = again.RecordAt(slot);
    if (record == nullptr || StoredMemoText(*record) == "kept") continue;
    EXPECT_TRUE(record->IsNew());
    texts.push_back(std::string(StoredMemoText(*record)));
    if (texts.size() == 1) {
      EXPECT_EQ(record->Category(), 1);
      EXPECT_TRUE(record->IsPrivate());
    } else if (texts.size() == 2 || texts.size() == 4) {
      EXPECT_EQ(record->Category(), travel->Index());
    } else {
      EXPECT_EQ(record->Category(), 0);
    }
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"\x93\xfa\x96\x7b\x8c\xea\n\x93\xf1\x8d\x73\x96\xda", "", "x", "again"}));
}

TEST_F(MemoImportStore, AFullCategoryTableFilesNewNamesAsUnfiled) {
  std::vector<std::string> sixteen = {"Unfiled"};
  for (int i = 1; i < 16; ++i) sixteen.push_back("c" + std::to_string(i));
  WriteStore(sixteen);
  MemoImport import;
  ImportProblem problem;
  ASSERT_TRUE(import.Prepare({{"c3", "a", false, false, false}, {"new", "b", false, false, false}}, &problem));
  CProtectedRecordFile store(path_, "pw");
  ASSERT_EQ(store.Load(), kOk);
  ImportCounts counts;
  ASSERT_EQ(import.Apply(store, &counts), kOk);
  EXPECT_EQ(counts.categoriesAdded, 0u);
  EXPECT_EQ(counts.filedAsUnfiled, 1u);
  store.DiscardEdits();
}

TEST(MemoImportPrepare, TheFirstMemoThatCannotBeStoredIsNamedAndNothingIsKept) {
  const std::string longest(kMaxStoredMemoText, 'a');
  const struct {
    ExchangeMemo bad;
    ImportFault fault;
    char32_t character;
  } kCases[] = {
      {{"x", "emoji \xF0\x9F\x98\x80", false, false, false}, ImportFault::kTextUnrepresentable, 0x1F600},
      {{"\xF0\x9F\x98\x80", "a", false, false, false}, ImportFault::kCategoryUnrepresentable, 0x1F600},
      {{"x", "bad \xFF utf-8", false, false, false}, ImportFault::kNotUtf8, 0},
      {{"0123456789abcdef", "a", false, false, false}, ImportFault::kCategoryTooLong, 0},
      {{"x", std::string("nul\0in", 6), false, false, false}, ImportFault::kTextHasNul, 0},
      {{"x", longest + "a", false, false, false}, ImportFault::kMemoTooLong, 0},
  };
  for (const auto& c : kCases) {
    MemoImport import;
    ImportProblem problem;
    EXPECT_FALSE(import.Prepare({{"x", longest, false, false, false}, {"日本", "ok", false, false, false}, c.bad},
                                &problem));
    EXPECT_EQ(problem.fault, c.fault) << ImportFaultMeaning(c.fault);
    EXPECT_EQ(problem.memo, 3u);
    EXPECT_EQ(problem.character, c.character);
    EXPECT_TRUE(import.memos().empty());
  }
}

}  // namespace
}  // namespace tallimor
