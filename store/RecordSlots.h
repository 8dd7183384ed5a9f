// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// RecordSlots: the sparse array of owned records in which a record's slot number
// is its index, shared by the record file and the database managers. Adding takes
// the lowest empty slot and look-up by id finds the lowest slot holding that id,
// both without walking the array: a two-level bitmap of occupied slots answers the
// first, an ordered (id, slot) set the second.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "store/CPRecord.h"
#include "store/ResultCodes.h"

namespace tallimor {

class RecordSlots {
 public:
  // Slots added each time a first-fit add finds every slot taken.
  static constexpr std::int32_t kGrowth = 2000;

  RecordSlots();
  RecordSlots(const RecordSlots&) = delete;
  RecordSlots& operator=(const RecordSlots&) = delete;
  ~RecordSlots();

  // Puts `record` into the lowest empty slot (growing the array by kGrowth slots
  // when every slot is taken), sets the record's index to that slot and returns
  // it in `slot`. kErrOutOfMemory (the record is then destroyed, `slot` is -1);
  // kErrNullArgument for a missing record.
  Result Add(std::unique_ptr<CPRecord> record, std::int32_t& slot);
  // The lowest empty slot, or -1 when every slot is taken.
  std::int32_t LowestFree() const;
  // Stores `record` in `slot` (0 <= slot < Capacity()), destroying any record
  // there, and sets its index to the slot. kErrBadCategoryIndex for a slot outside
  // the array; kErrNullArgument for a missing record; kErrOutOfMemory (the array
  // is then unchanged).
  Result Put(std::int32_t slot, std::unique_ptr<CPRecord> record);
  // The record in `slot`, or nullptr for an empty slot or one outside the array.
  // REQUIRES: a caller that changes the record's id tells the look-up by id
  // (SetId() or IdChanged()).
  CPRecord* At(std::int32_t slot) const;
  // Removes the record in `slot` and hands it over, leaving a hole; nullptr when
  // the slot is empty. The high-water mark stays.
  std::unique_ptr<CPRecord> Take(std::int32_t slot);
  // Destroys the record in `slot`, leaving a hole. False if the slot was empty.
  bool Remove(std::int32_t slot);
  // Gives the record in `slot` a new id and keeps the look-up by id right.
  // False if the slot is empty.
  bool SetId(std::int32_t slot, std::uint32_t id);
  // Tells the look-up by id that the record in `slot` had id `before` and now
  // has another. Cannot fail.
  void IdChanged(std::int32_t slot, std::uint32_t before);
  // The lowest occupied slot at or after `from` whose record has `id`, or -1.
  std::int32_t FindById(std::uint32_t id, std::int32_t from = 0) const;
  // The first occupied slot at or after `from`, or -1 when there is none.
  std::int32_t NextOccupied(std::int32_t from) const;
  // The n-th occupied slot (0-based, in slot order), or -1 when there are fewer.
  std::int32_t NthOccupied(std::int32_t n) const;
  // Enlarges the array to `capacity` slots, keeping every record in its slot; a
  // capacity not above the current one changes nothing. kErrOutOfMemory for a
  // negative capacity or when it cannot be allocated (the array is unchanged).
  Result GrowTo(std::int32_t capacity);
  // Replaces the array by an empty one of `capacity` slots, destroying the records
  // held; the high-water mark becomes 0. kErrOutOfMemory (the array unchanged).
  Result Allocate(std::int32_t capacity);
  // Installs `arrangement` as the array: entry i is the record for slot i or
  // nullptr, and names every stored record exactly once (it may be longer than the
  // array, which then grows to its length). Records whose slot changed, or all of
  // them with `renumberAll`, get their index set to the new slot. kErrOutOfMemory
  // leaves the array as it was.
  Result Rearrange(const std::vector<CPRecord*>& arrangement, bool renumberAll);
  // Destroys every record and frees the array.
  void Clear();

  std::int32_t Count() const { return count_; }
  // Highest slot ever occupied + 1 since the array was last cleared or allocated.
  std::int32_t HighWater() const { return highWater_; }
  std::int32_t Capacity() const { return static_cast<std::int32_t>(records_.size()); }

 private:
  void MarkOccupied(std::int32_t slot, bool occupied);
  void BuildIdIndex() const;

  std::vector<std::unique_ptr<CPRecord>> records_;  // capacity slots, nullptr = empty
  std::vector<std::uint64_t> occupied_;             // bit per slot, set when occupied
  std::vector<std::uint64_t> fullWords_;            // bit per occupied_ word, set when it is all ones
  std::int32_t count_ = 0;                          // occupied slots
  std::int32_t highWater_ = 0;                      // highest occupied slot + 1 ever reached
  // (id, slot) of every record; built on the first look-up, then kept up to date.
  mutable std::set<std::pair<std::uint32_t, std::int32_t>> byId_;
  mutable bool byIdBuilt_ = false;
};

}  // namespace tallimor
