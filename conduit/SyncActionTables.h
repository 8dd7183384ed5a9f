// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The synchronizer's action tables: for each pair of a handheld record and its
// desktop counterpart (each classified by its state code), the set of actions that
// reconciles them. The tables are data, one printed row per source line, so that
// they can be checked row by row; lookups search a table from the top and answer
// the action of the first equal key, or 0 (no action) for a key it does not hold.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tallimor {

// Record states as the tables use them: the status bits of a record, 0x20 when it
// has none (its state code), and 0x40 for a counterpart that does not exist.
inline constexpr std::uint32_t kStateDeleted = 0x01;   // D
inline constexpr std::uint32_t kStateArchived = 0x02;  // A
inline constexpr std::uint32_t kStateModified = 0x04;  // M
inline constexpr std::uint32_t kStateNew = 0x08;       // N: no counterpart yet
inline constexpr std::uint32_t kStateUnchanged = 0x20; // U
inline constexpr std::uint32_t kStateMissing = 0x40;   // X

// A remote (handheld) state sits in the upper 16 bits of a key, a local one in the lower.
inline constexpr int kRemoteStateShift = 16;
// Slow synchronization adds the outcome of comparing the pair's contents.
inline constexpr std::uint32_t kKeyRecordsDiffer = 0x10000000;
inline constexpr std::uint32_t kKeyRecordsEqual = 0x20000000;

// Action bits of an action word, executed from the lowest to the highest.
inline constexpr std::uint32_t kActionDeleteLocal = 0x00000001;            // dL
inline constexpr std::uint32_t kActionArchiveLocal = 0x00000002;           // aL (then delete)
inline constexpr std::uint32_t kActionDeleteRemote = 0x00000004;           // dR
inline constexpr std::uint32_t kActionArchiveRemote = 0x00000008;          // aR (then delete)
inline constexpr std::uint32_t kActionAddToRemote = 0x00000010;            // L>R
inline constexpr std::uint32_t kActionAddToLocal = 0x00000020;             // R>L
inline constexpr std::uint32_t kActionReplaceLocal = 0x00000040;           // R=>L
inline constexpr std::uint32_t kActionReplaceRemote = 0x00000080;          // L=>R
inline constexpr std::uint32_t kActionConflictEither = 0x00000100;         // c100
inline constexpr std::uint32_t kActionConflictArchivedModified = 0x00000200;  // c200
inline constexpr std::uint32_t kActionConflictModifiedArchived = 0x00000400;  // c400
inline constexpr std::uint32_t kActionConflictBothArchived = 0x00000800;   // c800
inline constexpr std::uint32_t kActionDuplicatePair = 0x00002000;          // dup
inline constexpr std::uint32_t kActionQuietRemoteDelete = 0x00010000;      // dRq
inline constexpr std::uint32_t kActionLogModifiedDeleted = 0x01000000;     // log
inline constexpr std::uint32_t kActionNone = 0x10000000;                   // none

// One entry of an action table.
struct SyncActionEntry {
  std::uint32_t key;
  std::uint32_t action;
};

// A table: its entries in lookup order.
struct SyncActionTable {
  const SyncActionEntry* entries;
  std::size_t size;

  // The action of the first entry whose key equals `key`; 0 when there is none.
  std::uint32_t Lookup(std::uint32_t key) const;
};

// The tables. Keys: fast and slow, remote state << 16 | local state (| comparison
// bit in slow synchronization); the local tables, the local state; overwriting the
// desktop, remote state << 16.
extern const SyncActionTable kFastActions;             // 80 keys
extern const SyncActionTable kSlowActions;             // 31 + 49 + 49 keys, in that order
extern const SyncActionTable kFastLocalActions;        // 15 keys
extern const SyncActionTable kSlowLocalActions;        // 15 keys
extern const SyncActionTable kOverwriteHandheldActions;  // 14 keys
extern const SyncActionTable kOverwriteDesktopActions;   // 8 keys

}  // namespace tallimor
