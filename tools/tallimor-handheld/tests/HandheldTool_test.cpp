// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the memo database of tallimor-handheld on databases built by hand: how
// category ids are chosen, what is refused as not being the memo database, and which
// bytes of the application information the handheld keeps as they came.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tools/tallimor-handheld/MemoDatabase.h"

namespace tallimor {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct StoredCategory {
  int index;
  int id;
  const char* name;
};

// An application information block laid out by hand: table, 4 bytes, digest, hint.
Bytes AppInfo(const std::vector<StoredCategory>& categories, std::uint8_t lastId, const Bytes& tail) {
  Bytes block(276, 0);
  for (const StoredCategory& c : categories) {
    const std::string name = c.name;
    std::copy(name.begin(), name.end(), block.begin() + 2 + 16 * c.index);
    block[258 + static_cast<std::size_t>(c.index)] = static_cast<std::uint8_t>(c.id);
  }
  block[274] = lastId;
  block.insert(block.end(), tail.begin(), tail.end());
  return block;
}

std::unique_ptr<HandheldDatabase> Database(Bytes appInfo, std::uint32_t creator = MemoDatabase::kCreator,
                                           std::uint16_t attributes = 0) {
  PdbHeader header;
  header.name = MemoDatabase::kDatabaseName;
  header.creator = creator;
  header.type = MemoDatabase::kType;
  header.attributes = attributes;
  auto db = std::make_unique<HandheldDatabase>(header);
  db->SetAppInfo(std::move(appInfo));
  return db;
}

std::unique_ptr<MemoDatabase> Adopted(Bytes appInfo) {
  std::unique_ptr<MemoDatabase> memo;
  std::string error;
  EXPECT_EQ(MemoDatabase::Adopt(Database(std::move(appInfo)), &memo, &error), kOk) << error;
  return memo;
}

TEST(HandheldTool, CategoryIdsFollowTheLastIdWrapAndSkipIdsInUse) {
  const Bytes noPassword(4 + 16 + 1, 0);
  std::unique_ptr<MemoDatabase> memo = Adopted(
      AppInfo({{0, 0, "Unfiled"}, {1, 127, "Last"}, {2, 1, "First"}, {3, 128, "Desktop"}}, 126, noPassword));
  int index = -1;
  std::string error;
  ASSERT_EQ(memo->AddCategory("A", &index, &error), kOk) << error;
  EXPECT_EQ(index, 4);
  EXPECT_EQ(memo->categories().At(4)->Id(), 2);  // after 126: 127 and 1 are taken
  ASSERT_EQ(memo->AddCategory("B", &index, &error), kOk);
  EXPECT_EQ(memo->categories().At(5)->Id(), 3);
  const Bytes& block = *memo->database().appInfo();
  EXPECT_EQ(block[274], 3);
  EXPECT_EQ(block[258 + 4], 2);
  EXPECT_EQ(block[258 + 5], 3);
  EXPECT_EQ(block[0], 0);
  EXPECT_EQ(block[1], 0x30);  // only the two added categories are marked

  // A last id outside the handheld's range starts the search at 1.
  memo = Adopted(AppInfo({{0, 0, "Unfiled"}, {1, 1, "One"}}, 200, noPassword));
  ASSERT_EQ(memo->AddCategory("Two", &index, &error), kOk);
  EXPECT_EQ(memo->categories().At(index)->Id(), 2);
}

TEST(HandheldTool, AdoptRefusesWhatIsNotTheMemoDatabase) {
  const Bytes good = AppInfo({{0, 0, "Unfiled"}}, 0, Bytes(21, 0));
  std::unique_ptr<MemoDatabase> memo;
  std::string error;
  EXPECT_EQ(MemoDatabase::Adopt(Database(good, FourCc("Othr")), &memo, &error), kErrNotSupported);
  EXPECT_NE(error.find("creator Othr"), std::string::npos) << error;
  EXPECT_EQ(MemoDatabase::Adopt(Database(good, MemoDatabase::kCreator, kPdbAttrResourceDb), &memo, &error),
            kErrNotSupported);
  EXPECT_EQ(MemoDatabase::Adopt(Database(Bytes(275, 0)), &memo, &error), kErrNoAppInfoForCategories);
  EXPECT_EQ(MemoDatabase::Adopt(Database(AppInfo({{0, 0, "Unfiled"}, {1, 0, "Twin"}}, 0, {})), &memo, &error),
            kErrCategoryIdExists);
  EXPECT_EQ(memo, nullptr);
  // A table alone (no password info) is an unprotected memo database.
  memo = Adopted(AppInfo({{0, 0, "Unfiled"}}, 0, {}));
  EXPECT_FALSE(memo->IsProtected());
}

TEST(HandheldTool, AppInfoBytesTheHandheldDoesNotOwnAreKept) {
  // Four bytes after the table belong to the application and are kept; what follows
  // the hint's NUL is kept until the hint itself is rewritten.
  Bytes tail = {0xAA, 0xBB, 0xCC, 0xDD};
  tail.insert(tail.end(), 16, 0);
  const Bytes afterHint = {'h', 'i', 'n', 't', 0, 0x5A, 0x5B};
  tail.insert(tail.end(), afterHint.begin(), afterHint.end());
  std::unique_ptr<MemoDatabase> memo = Adopted(AppInfo({{0, 0, "Unfiled"}}, 0, tail));
  EXPECT_EQ(memo->hint(), "hint");
  int index = 0;
  std::string error;
  ASSERT_EQ(memo->AddCategory("Work", &index, &error), kOk);
  Bytes block = *memo->database().appInfo();
  EXPECT_EQ(Bytes(block.begin() + 276, block.end()), tail);

  ASSERT_EQ(memo->ChangePassword("secret", "new", &error), kOk) << error;
  block = *memo->database().appInfo();
  ASSERT_EQ(block.size(), 296u + 4);
  EXPECT_EQ(Bytes(block.begin() + 276, block.begin() + 280), Bytes({0xAA, 0xBB, 0xCC, 0xDD}));
  EXPECT_EQ(Bytes(block.begin() + 296, block.end()), Bytes({'n', 'e', 'w', 0}));
  EXPECT_TRUE(memo->IsProtected());
  EXPECT_NE(memo->database().header().attributes & kPdbAttrAppInfoDirty, 0);
}

}  // namespace
}  // namespace tallimor
