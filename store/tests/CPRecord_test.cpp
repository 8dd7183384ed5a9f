// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of CPRecord: the handheld attribute mapping in both directions, the
// comparison order, copy-out and describe buffer rules, and copies owning their data.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "store/CPRecord.h"

namespace tallimor {
namespace {

RawRecordInfo RawWith(std::uint8_t attributes, std::uint8_t* bytes, std::uint32_t size) {
  RawRecordInfo raw;
  raw.handle = 3;
  raw.recordId = 0x00ABCDEF;
  raw.recordIndex = 0xFFFE;
  raw.attributes = attributes;
  raw.category = 5;
  raw.recordSize = size;
  raw.bufferSize = static_cast<std::uint16_t>(size);
  raw.data = bytes;
  return raw;
}

TEST(RecordRawConversion, DeletedAndDirtyRoundTrip) {
  std::uint8_t bytes[] = {1, 2, 3};
  CPRecord record(RawWith(0xC0, bytes, 3));
  EXPECT_EQ(record.Status(), kStatusDeleted | kStatusModified);
  EXPECT_FALSE(record.IsPrivate());
  EXPECT_EQ(record.Id(), 0x00ABCDEFu);
  EXPECT_EQ(record.Index(), 0xFFFE);  // zero-extended
  EXPECT_EQ(record.Category(), 5);
  EXPECT_EQ(record.Handle(), 3);
  EXPECT_EQ(record.HandheldIndex(), -1);
  ASSERT_EQ(record.DataLength(), 3u);
  EXPECT_NE(record.Data(), bytes);  // a copy, not the caller's buffer

  std::uint8_t out[8] = {};
  RawRecordInfo back;
  back.data = out;
  back.bufferSize = sizeof out;
  back.attributes = 0xFF;  // rebuilt from nothing
  ASSERT_EQ(record.ToRawRecord(back), kOk);
  EXPECT_EQ(back.attributes, 0xC0);
  EXPECT_EQ(back.recordSize, 3u);
  EXPECT_EQ(0, std::memcmp(out, bytes, 3));
}

TEST(RecordRawConversion, BusyBitIsIgnored) {
  CPRecord record(RawWith(0x20, nullptr, 0));
  EXPECT_EQ(record.Status(), 0u);
  EXPECT_FALSE(record.IsPrivate());
  EXPECT_EQ(record.StateCode(), kStateNoStatus);
}

TEST(RecordRawConversion, PrivateAndArchivedMapBothWays) {
  CPRecord record(RawWith(0x18, nullptr, 0));
  EXPECT_TRUE(record.IsPrivate());
  EXPECT_TRUE(record.IsArchived());
  record.SetNew(true);  // new is not carried to the handheld
  RawRecordInfo back;
  ASSERT_EQ(record.ToRawRecord(back), kOk);
  EXPECT_EQ(back.attributes, 0x18);
}

TEST(RecordRawConversion, NegativeCategoryIsSignExtended) {
  RawRecordInfo raw = RawWith(0, nullptr, 0);
  raw.category = -1;
  EXPECT_EQ(CPRecord(raw).Category(), -1);
}

TEST(RecordRawConversion, HandheldIndexWinsAndSmallBufferIsRefused) {
  CPRecord record;
  record.SetIndex(4);
  record.SetHandheldIndex(9);
  const std::uint8_t data[10] = {};
  record.SetData(10, data);
  std::uint8_t out[4];
  RawRecordInfo raw;
  raw.data = out;
  raw.bufferSize = sizeof out;
  EXPECT_EQ(record.ToRawRecord(raw), kErrBufferTooSmall);
  EXPECT_EQ(raw.recordIndex, 9);
}

TEST(RecordRawConversion, ByReferenceSharesDataAndKeepsAttributes) {
  CPRecord record;
  const std::uint8_t data[5] = {9, 8, 7, 6, 5};
  record.SetData(5, data);
  record.SetDeleted(true);
  RawRecordInfo raw;
  raw.attributes = 0x04;
  ASSERT_EQ(record.ToRawRecordByReference(7, raw), kOk);
  EXPECT_EQ(raw.data, record.Data());
  EXPECT_EQ(raw.bufferSize, 5);
  EXPECT_EQ(raw.recordSize, 5u);
  EXPECT_EQ(raw.handle, 7);
  EXPECT_EQ(raw.attributes, 0x04);
}

TEST(RecordCompare, ReportsFirstDifferenceInOrder) {
  CPRecord a, b;
  const std::uint8_t same[3] = {1, 2, 3};
  const std::uint8_t other[3] = {1, 2, 4};
  a.SetData(3, same);
  b.SetData(3, same);
  b.SetId(77);
  b.SetStatus(kStatusModified);
  EXPECT_EQ(a.Compare(b), 0);  // ids and status are not compared
  b.SetCategory(2);
  EXPECT_EQ(a.Compare(b), 3);
  b.SetData(3, other);
  EXPECT_EQ(a.Compare(b), 2);
  b.SetData(2, same);
  EXPECT_EQ(a.Compare(b), 1);
  b.SetData(3, same);
  b.SetCategory(0);
  b.SetPrivate(true);
  EXPECT_EQ(a.Compare(b), 4);
}

TEST(RecordData, CopyOutRules) {
  CPRecord record;
  const std::uint8_t data[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  record.SetData(10, data);
  std::uint8_t out[16];
  std::uint32_t size = 0;
  EXPECT_EQ(record.CopyData(out, size), kErrBufferTooSmall);
  EXPECT_EQ(size, 10u);
  size = sizeof out;
  EXPECT_EQ(record.CopyData(out, size), kOk);
  EXPECT_EQ(size, 10u);
  EXPECT_EQ(0, std::memcmp(out, data, 10));
  EXPECT_EQ(record.CopyData(nullptr, size), kErrNoNameBuffer);

  CPRecord empty;
  size = sizeof out;
  out[0] = 'x';
  EXPECT_EQ(empty.CopyData(out, size), kOk);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(out[0], 0);
}

TEST(RecordData, CopiesOwnTheirData) {
  CPRecord original;
  const std::uint8_t data[4] = {1, 2, 3, 4};
  original.SetData(4, data);
  original.SetId(5);
  original.AddMarks(kPendingMark | 0x100);
  CPRecord copy(original);
  CPRecord assigned;
  assigned = original;
  original.Data()[0] = 99;
  for (const CPRecord* r : {&copy, &assigned}) {
    EXPECT_EQ(r->Data()[0], 1);
    EXPECT_EQ(r->Id(), 5u);
    EXPECT_TRUE(r->TestMarks(0x100));
    EXPECT_TRUE(r->HasPendingMark());
  }
  original.SetData(0, nullptr);
  EXPECT_EQ(original.Data(), nullptr);
  EXPECT_EQ(original.DataLength(), 0u);
  EXPECT_EQ(original.SetData(3, nullptr), kErrNullArgument);
}

TEST(RecordDescribe, ByIdOrByIndex) {
  char text[64];
  CPRecord record;
  record.SetIndex(5);
  std::uint32_t size = sizeof text;
  const Result written = record.Describe(text, size);
  EXPECT_STREQ(text, "Record Index 5");
  EXPECT_EQ(written, 14);

  record.SetId(7);
  size = sizeof text;
  record.Describe(text, size);
  EXPECT_STREQ(text, "Record ID 7");

  CPRecord none;  // id and index both -1: by id
  size = sizeof text;
  none.Describe(text, size);
  EXPECT_STREQ(text, "Record ID 4294967295");

  size = 5;
  EXPECT_EQ(record.Describe(text, size), kErrBufferTooSmall);
  EXPECT_EQ(size, std::strlen("Record ID %u") + 10);
}

TEST(RecordStatus, BitsAndStateCode) {
  CPRecord record;
  EXPECT_EQ(record.StateCode(), 32u);
  EXPECT_TRUE(record.HasNoStatus());
  record.SetModified(true);
  EXPECT_EQ(record.StateCode(), 4u);
  record.SetNew(true);
  record.SetDeleted(true);
  record.SetArchived(true);
  record.SetModified(false);
  EXPECT_EQ(record.Status(), kStatusNew | kStatusDeleted | kStatusArchived);
  record.SetPendingMark(true);
  record.ClearStatus();
  EXPECT_TRUE(record.HasPendingMark());
  record.SetModified(true);
  record.ClearStatusAndMarks();
  EXPECT_FALSE(record.HasAnyStatus());
  EXPECT_FALSE(record.HasPendingMark());
}

}  // namespace
}  // namespace tallimor
