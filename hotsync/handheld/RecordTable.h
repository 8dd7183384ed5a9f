// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The ordered record list of one handheld database, indexed both by position and
// by unique id. Positions shift when a record is removed, as on a handheld; to keep
// a removal cheap, removed records leave a hole that a Fenwick tree of live slots
// steps over, so position look-ups, id look-ups and removals all cost O(log n).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <vector>

#include "hotsync/pdb/PdbFile.h"

namespace tallimor {

class RecordTable {
 public:
  RecordTable() = default;
  RecordTable(const RecordTable&) = delete;
  RecordTable& operator=(const RecordTable&) = delete;

  // Replaces the contents. REQUIRES: unique ids are distinct.
  void Assign(std::vector<PdbRecord> records);

  // Number of records.
  std::size_t size() const { return live_; }

  // The record at position `index`, or nullptr past the end.
  const PdbRecord* At(std::size_t index) const;
  PdbRecord* At(std::size_t index);

  // The position of the record with unique id `id`, if there is one.
  std::optional<std::size_t> IndexOfId(std::uint32_t id) const;
  bool ContainsId(std::uint32_t id) const { return slotOfId_.count(id) != 0; }

  // Appends a record and returns its position. REQUIRES: its id is not in use.
  std::size_t Append(PdbRecord record);

  // Removes the record at `index`; later records move up one position.
  void RemoveAt(std::size_t index);

  // Removes every record for which `remove(record)` is true; returns how many.
  template <typename Predicate>
  std::size_t RemoveIf(Predicate remove);

  // Calls `visit(record)` on every record in position order.
  template <typename Visitor>
  void ForEach(Visitor visit) const {
    for (std::size_t s = 0; s < slots_.size(); ++s) {
      if (alive_[s]) visit(slots_[s]);
    }
  }
  template <typename Visitor>
  void ForEachMutable(Visitor visit) {
    for (std::size_t s = 0; s < slots_.size(); ++s) {
      if (alive_[s]) visit(slots_[s]);
    }
  }

 private:
  void Rebuild(std::size_t capacity);         // compacts slots and rebuilds both indexes
  void AddToTree(std::size_t slot, int delta);
  std::size_t LiveBefore(std::size_t slot) const;   // live slots in [0, slot)
  std::size_t SlotOfIndex(std::size_t index) const; // REQUIRES: index < live_

  std::vector<PdbRecord> slots_;              // records and holes, in position order
  std::vector<std::uint8_t> alive_;           // 1 for a record, 0 for a hole
  std::vector<std::int32_t> tree_;            // Fenwick tree over alive_, 1-based
  std::unordered_map<std::uint32_t, std::size_t> slotOfId_;
  std::size_t live_ = 0;
};

template <typename Predicate>
std::size_t RecordTable::RemoveIf(Predicate remove) {
  std::size_t removed = 0;
  for (std::size_t s = 0; s < slots_.size(); ++s) {
    if (alive_[s] && remove(slots_[s])) {
      alive_[s] = 0;
      slotOfId_.erase(slots_[s].uniqueId);
      slots_[s] = PdbRecord{};
      --live_;
      ++removed;
    }
  }
  if (removed != 0) Rebuild(slots_.size());
  return removed;
}

}  // namespace tallimor
