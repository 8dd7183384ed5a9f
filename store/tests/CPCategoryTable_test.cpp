// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of CPCategory and CPCategoryTable: the 276-byte stored table against
// bytes built from its layout, the rules of add (free index, unique ids), name
// limits, finding and deleting by name, file names, and desktop id assignment.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "store/CPCategoryTable.h"
#include "store/tests/RecordFileBytes.h"

namespace tallimor {
namespace {

using testing::Bytes;
using testing::CategoryTableBytes;

CPCategory Category(std::int32_t index, std::int32_t id, const char* name) {
  CPCategory c;
  c.SetIndex(index);
  c.SetId(id);
  c.SetName(name);
  return c;
}

TEST(CategoryTableStore, WritesNamesAndIdsAtTheirOffsets) {
  CPCategoryTable table;
  CPCategory unfiled = Category(0, 0, "Unfiled");
  CPCategory work = Category(3, 131, "Work");
  work.SetChanged(true);  // the changed word is not the table's to write
  ASSERT_EQ(table.Add(unfiled), kOk);
  ASSERT_EQ(table.Add(work), kOk);

  Bytes out(300, 0xEE);
  std::uint32_t size = static_cast<std::uint32_t>(out.size());
  ASSERT_EQ(table.Store(out.data(), size), kOk);
  EXPECT_EQ(size, 276u);
  Bytes expected(276, 0);
  std::memcpy(&expected[2], "Unfiled", 7);
  std::memcpy(&expected[50], "Work", 4);
  expected[258] = 0;
  expected[261] = 131;
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 276), expected);
  EXPECT_EQ(out[276], 0xEE);  // nothing past the table

  size = 275;
  EXPECT_EQ(table.Store(out.data(), size), kErrBufferTooSmall);
  EXPECT_EQ(size, 276u);
}

TEST(CategoryTableLoad, ReadsNamesIdsAndChangedWord) {
  // Index 2 changed (bit 2) and index 15 changed (bit 15): word 0x8004.
  const Bytes stored = CategoryTableBytes({"Unfiled", "", "Private", "", "", "", "", "", "", "", "", "", "",
                                           "", "", "FifteenBytes..."},
                                          {0, 0, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 200}, 0x8004);
  CPCategoryTable table;
  ASSERT_EQ(table.Load(stored.data(), static_cast<std::uint32_t>(stored.size())), kOk);
  EXPECT_EQ(table.Count(), 3);
  EXPECT_TRUE(table.IsDirty());
  ASSERT_NE(table.At(15), nullptr);
  EXPECT_STREQ(table.At(15)->Name(), "FifteenBytes...");
  EXPECT_EQ(table.At(15)->Id(), 200);
  EXPECT_TRUE(table.At(15)->IsChanged());
  EXPECT_TRUE(table.At(2)->IsChanged());
  EXPECT_FALSE(table.At(0)->IsChanged());
  EXPECT_EQ(table.ChangedWord(), 0x8004);
  EXPECT_EQ(table.At(1), nullptr);

  // Loading and storing again gives the same table with a zero changed word.
  Bytes again(276);
  std::uint32_t size = 276;
  ASSERT_EQ(table.Store(again.data(), size), kOk);
  Bytes expected = stored;
  expected[0] = expected[1] = 0;
  EXPECT_EQ(again, expected);
}

TEST(CategoryTableLoad, ShortDataLeavesTableEmpty) {
  const Bytes stored = CategoryTableBytes({"Unfiled"}, {0});
  CPCategoryTable table;
  EXPECT_EQ(table.Load(stored.data(), 275), kErrCategoryTableShort);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_EQ(table.Load(nullptr, 276), kErrNullArgument);
}

TEST(CategoryTableLoad, UnterminatedNameIsCutAndDuplicateIdStops) {
  Bytes stored = CategoryTableBytes({"Unfiled", "x", "y"}, {0, 5, 5});
  std::memset(&stored[2 + 16], 'A', 16);  // name 1 fills its 16 bytes without a NUL
  CPCategoryTable table;
  EXPECT_EQ(table.Load(stored.data(), 276), kErrCategoryIdExists);
  ASSERT_NE(table.At(1), nullptr);
  EXPECT_EQ(std::string(table.At(1)->Name()), std::string(15, 'A'));
  EXPECT_EQ(table.At(2), nullptr);  // stopped at the duplicate
}

TEST(CategoryTableAdd, SixteenthWithoutIndexIsRefusedButIndexZeroFits) {
  CPCategoryTable table;
  for (int i = 1; i <= 15; ++i) {
    CPCategory c = Category(-1, i, ("C" + std::to_string(i)).c_str());
    ASSERT_EQ(table.Add(c), kOk);
    EXPECT_EQ(c.Index(), i);  // the caller's object gets the index given
    EXPECT_TRUE(c.IsChanged());
  }
  CPCategory extra = Category(-1, 40, "Extra");
  EXPECT_EQ(table.Add(extra), kErrCategoryTableFull);
  CPCategory unfiled = Category(0, 0, "Unfiled");
  EXPECT_EQ(table.Add(unfiled), kOk);
  EXPECT_EQ(table.Count(), 16);
  EXPECT_EQ(table.FirstFreeIndex(), -1);
}

TEST(CategoryTableAdd, RefusesDuplicateIdTakenSlotAndMissingId) {
  CPCategoryTable table;
  CPCategory a = Category(1, 10, "A");
  ASSERT_EQ(table.Add(a), kOk);
  CPCategory sameId = Category(2, 10, "B");
  EXPECT_EQ(table.Add(sameId), kErrCategoryIdExists);
  CPCategory sameSlot = Category(1, 11, "C");
  EXPECT_EQ(table.Add(sameSlot), kErrCategoryTableFull);
  CPCategory outside = Category(16, 12, "D");
  EXPECT_EQ(table.Add(outside), kErrBadCategoryIndex);
  CPCategory noId = Category(-1, -1, "E");  // the base table has no id source
  EXPECT_EQ(table.Add(noId), kErrCategoryTableFull);
  EXPECT_EQ(table.Count(), 1);
  EXPECT_FALSE(table.IsDirty());
  CPCategory dirtying = Category(-1, 12, "F");
  EXPECT_EQ(table.AddAndMarkDirty(dirtying), kOk);
  EXPECT_TRUE(table.IsDirty());
}

TEST(CategoryName, FifteenBytesFitSixteenAreCut) {
  CPCategory c;
  EXPECT_EQ(c.SetName("123456789012345"), kOk);
  EXPECT_STREQ(c.Name(), "123456789012345");
  EXPECT_EQ(c.SetName("1234567890123456"), kErrTooLong);
  EXPECT_STREQ(c.Name(), "123456789012345");
  EXPECT_EQ(c.SetName(nullptr), kOk);
  EXPECT_EQ(c.Name(), nullptr);
}

TEST(CategoryName, CutNeverSplitsADoubleByteCharacter) {
  // 14 ASCII bytes, then a two-byte character (0x93 0xFA) that would straddle the limit.
  const char name[] = "ABCDEFGHIJKLMN\x93\xfa";
  CPCategory c;
  EXPECT_EQ(c.SetName(name), kErrTooLong);
  EXPECT_STREQ(c.Name(), "ABCDEFGHIJKLMN");
}

TEST(CategoryName, CopyNameRules) {
  CPCategory c;
  char buffer[16];
  std::uint32_t size = sizeof buffer;
  EXPECT_EQ(c.CopyName(buffer, size), kOk);  // empty: size unchanged
  EXPECT_EQ(size, sizeof buffer);
  c.SetName("Personal");
  size = 4;
  EXPECT_EQ(c.CopyName(buffer, size), kErrBufferTooSmall);
  EXPECT_EQ(size, 8u);
  std::memset(buffer, 'x', sizeof buffer);
  size = 8;  // exactly fills: no NUL written
  EXPECT_EQ(c.CopyName(buffer, size), kOk);
  EXPECT_EQ(std::string(buffer, 8), "Personal");
  EXPECT_EQ(buffer[8], 'x');
  EXPECT_EQ(c.CopyName(nullptr, size), kErrNoNameBuffer);
}

TEST(CategoryFind, ByNameIgnoresCaseDeleteByNameDoesNot) {
  CPCategoryTable table;
  CPCategory business = Category(1, 1, "Business");
  ASSERT_EQ(table.Add(business), kOk);
  EXPECT_EQ(table.FindByName("bUSINESS"), table.At(1));
  EXPECT_EQ(table.FindByName(""), nullptr);
  EXPECT_EQ(table.DeleteByName("business"), kErrCategoryNotFound);
  EXPECT_EQ(table.DeleteByName(""), kErrNoCategoryName);
  EXPECT_EQ(table.DeleteByName("Business"), kOk);
  EXPECT_EQ(table.Count(), 0);
  EXPECT_TRUE(table.IsDirty());
}

TEST(CategoryFind, CaseFoldingLeavesDoubleByteTrailBytesAlone) {
  // 0x82 0x60 and 0x82 0x41 differ only in a trail byte that looks like 'a' / 'A'
  // to a byte-wise comparison; they are different characters.
  CPCategoryTable table;
  CPCategory c = Category(1, 1, "\x82\x60");
  ASSERT_EQ(table.Add(c), kOk);
  EXPECT_EQ(table.FindByName("\x82\x41"), nullptr);
  EXPECT_EQ(table.FindByName("\x82\x60"), table.At(1));
}

TEST(CategoryFileName, UnsafeCharactersBecomeUnderscores) {
  CPCategoryTable table;
  char buffer[256];
  std::uint32_t size = sizeof buffer;
  ASSERT_EQ(table.MakeFileName("a/b:c\"*+,.;<=>?[\\]^|d", buffer, size), kOk);
  EXPECT_STREQ(buffer, "a_b_c_______________d");
  size = 4;
  ASSERT_EQ(table.MakeFileName("abcdef", buffer, size), kOk);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(table.MakeFileName("", buffer, size), kErrNoCategoryName);
  EXPECT_EQ(table.MakeFileName("x", nullptr, size), kErrNullArgument);

  CPCategory c = Category(2, 2, "Q1/Q2: plans");
  ASSERT_EQ(table.Add(c), kOk);
  EXPECT_STREQ(table.At(2)->FileName(), "Q1_Q2_ plans");
  size = 5;
  EXPECT_EQ(table.At(2)->CopyFileName(buffer, size), kErrBufferTooSmall);
  EXPECT_EQ(size, 13u);
}

TEST(CategoryTableEdit, SetDeleteIterateAndCompare) {
  CPCategoryTable a, b;
  for (CPCategoryTable* t : {&a, &b}) {
    CPCategory x = Category(0, 0, "Unfiled");
    CPCategory y = Category(4, 7, "Four");
    t->Add(x);
    t->Add(y);
  }
  EXPECT_TRUE(a.Equals(b));
  EXPECT_EQ(a.SetNameAt(4, "Vier"), kOk);
  EXPECT_FALSE(a.Equals(b));
  EXPECT_EQ(a.SetNameAt(5, "x"), kErrNoCategoryAtIndex);
  EXPECT_EQ(a.SetNameAt(16, "x"), kErrBadCategoryIndex);
  EXPECT_EQ(a.SetAt(9, Category(2, 8, "Nine")), kOk);
  EXPECT_EQ(a.At(9)->Index(), 9);

  std::string order;
  for (CPCategory* c = a.First(); c; c = a.Next()) order += std::to_string(c->Index()) + " ";
  EXPECT_EQ(order, "0 4 9 ");

  EXPECT_EQ(a.DeleteAt(5), kErrBadCategoryIndex);
  EXPECT_EQ(a.DeleteById(8), kOk);
  EXPECT_EQ(a.DeleteById(8), kErrCategoryNotFound);
  EXPECT_EQ(a.Count(), 2);
  a.MarkAllChanged();
  EXPECT_EQ(a.ChangedWord(), 0x0011);
  EXPECT_EQ(a.SwapBytes(0x1234), 0x3412);
  a.DeleteAll();
  EXPECT_EQ(a.Count(), 0);
  EXPECT_EQ(a.First(), nullptr);
}

TEST(CategoryDesktopId, FollowsTheLargestIdFrom128) {
  CPCategoryTable table;
  for (int id : {0, 1, 2}) {
    CPCategory c = Category(-1, id, ("c" + std::to_string(id)).c_str());
    table.Add(c);
  }
  EXPECT_EQ(table.NextDesktopId(), 128);
  table.DeleteAll();
  for (int id : {128, 131}) {
    CPCategory c = Category(-1, id, ("c" + std::to_string(id)).c_str());
    table.Add(c);
  }
  EXPECT_EQ(table.NextDesktopId(), 132);
  // 255 is taken: the lowest free id from 128 is used instead of 256.
  CPCategory top = Category(-1, 255, "top");
  table.Add(top);
  EXPECT_EQ(table.NextDesktopId(), 129);
}

}  // namespace
}  // namespace tallimor
