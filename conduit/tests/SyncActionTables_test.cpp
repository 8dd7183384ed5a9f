// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The action tables as data: their sizes, that no key is listed twice (a repeated
// key would leave its later row unreachable), that every key is made of the
// states the tables print, and the cells that the synchronizer's edge cases rest on.
#include <gtest/gtest.h>

#include <set>

#include "conduit/SyncActionTables.h"

namespace tallimor {
namespace {

// The rows (handheld states) and the columns (desktop states) of the paired tables.
const std::set<std::uint32_t> kPairedStates = {0x01, 0x05, 0x02, 0x06, 0x04, 0x20, 0x40, 0x08, 0x03, 0x07};
const std::set<std::uint32_t> kPairedColumns = {0x40, 0x20, 0x01, 0x02, 0x04, 0x06, 0x05, 0x08};
const std::set<std::uint32_t> kLocalStates = {0x40, 0x20, 0x01, 0x02, 0x04, 0x06, 0x05, 0x08,
                                              0x0C, 0x0A, 0x0E, 0x09, 0x0D, 0x03, 0x07};

std::set<std::uint32_t> KeysOf(const SyncActionTable& table) {
  std::set<std::uint32_t> keys;
  for (std::size_t i = 0; i < table.size; ++i) keys.insert(table.entries[i].key);
  return keys;
}

TEST(SynchronizerActionTables, SizesAndKeysAreThoseOfThePrintedTables) {
  struct Expected {
    const SyncActionTable* table;
    std::size_t size;
  };
  for (const Expected& e : {Expected{&kFastActions, 80}, Expected{&kSlowActions, 129},
                            Expected{&kFastLocalActions, 15}, Expected{&kSlowLocalActions, 15},
                            Expected{&kOverwriteHandheldActions, 14}, Expected{&kOverwriteDesktopActions, 8}}) {
    EXPECT_EQ(e.table->size, e.size);
    EXPECT_EQ(KeysOf(*e.table).size(), e.size) << "a key is listed twice";
  }
  for (const std::uint32_t key : KeysOf(kFastActions)) {
    EXPECT_TRUE(kPairedStates.count(key >> 16)) << std::hex << key;
    EXPECT_TRUE(kPairedColumns.count(key & 0xFFFF)) << std::hex << key;
  }
  int compared[3] = {};
  for (const std::uint32_t key : KeysOf(kSlowActions)) {
    const std::uint32_t comparison = key & 0x30000000;
    ++compared[comparison >> 28];
    EXPECT_TRUE(kPairedStates.count((key & 0x0FFFFFFF) >> 16)) << std::hex << key;
    EXPECT_TRUE(kPairedColumns.count(key & 0xFFFF)) << std::hex << key;
    // Only pairs of two records are compared.
    if (comparison != 0) EXPECT_NE(key & 0xFFFF, 0x40u) << std::hex << key;
  }
  EXPECT_EQ(compared[0], 31);
  EXPECT_EQ(compared[1], 49);
  EXPECT_EQ(compared[2], 49);
  for (const std::uint32_t key : KeysOf(kFastLocalActions)) EXPECT_TRUE(kLocalStates.count(key));
  EXPECT_EQ(KeysOf(kFastLocalActions), KeysOf(kSlowLocalActions));
  for (const std::uint32_t key : KeysOf(kOverwriteDesktopActions)) EXPECT_EQ(key & 0xFFFF, 0u);
}

TEST(SynchronizerActionTables, CellsTheEdgeCasesRestOn) {
  const std::uint32_t M = kStateModified, D = kStateDeleted, A = kStateArchived, U = kStateUnchanged;
  const std::uint32_t X = kStateMissing, N = kStateNew;
  // Modified on both sides: a conflict in fast synchronization, nothing when equal in slow.
  EXPECT_EQ(kFastActions.Lookup(M << 16 | M), kActionConflictEither);
  EXPECT_EQ(kSlowActions.Lookup(M << 16 | M | kKeyRecordsEqual), 0u);
  EXPECT_EQ(kSlowActions.Lookup(M << 16 | M | kKeyRecordsDiffer), kActionDuplicatePair);
  // Modified on one side, deleted on the other: the modified version, and the message.
  EXPECT_EQ(kFastActions.Lookup(D << 16 | M), kActionReplaceRemote | kActionLogModifiedDeleted);
  EXPECT_EQ(kFastActions.Lookup(M << 16 | D), kActionReplaceLocal | kActionLogModifiedDeleted);
  // A desktop record alone: new ones go to the handheld; in slow synchronization an
  // unchanged one was deleted on the handheld.
  EXPECT_EQ(kFastLocalActions.Lookup(N | M), kActionAddToRemote);
  EXPECT_EQ(kSlowLocalActions.Lookup(U), kActionDeleteLocal);
  EXPECT_EQ(kFastLocalActions.Lookup(N | D | M), kActionDeleteLocal | kActionQuietRemoteDelete);
  // Archived on the handheld (always with the deleted bit there).
  EXPECT_EQ(kFastActions.Lookup((D | A) << 16 | U), kActionDeleteLocal | kActionArchiveRemote);
  EXPECT_EQ(kSlowActions.Lookup((D | A) << 16 | X), kActionArchiveRemote);
  // A key outside the table is no action; "none" is a bit of its own.
  EXPECT_EQ(kSlowActions.Lookup(U << 16 | U), 0u);
  EXPECT_EQ(kFastActions.Lookup(U << 16 | U), kActionNone);
  EXPECT_EQ(kOverwriteDesktopActions.Lookup(D << 16), 0u);
  EXPECT_EQ(kOverwriteDesktopActions.Lookup((D | A | M) << 16), kActionArchiveRemote);
  EXPECT_EQ(kOverwriteHandheldActions.Lookup(X), 0u);
}

}  // namespace
}  // namespace tallimor
