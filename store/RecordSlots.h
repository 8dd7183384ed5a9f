// RecordSlots: the sparse array of owned records in which a record's slot number
// is its index. Adding takes the lowest empty slot and look-up by id finds the
// lowest slot holding that id, both without walking the array: a two-level
// bitmap of occupied slots answers the first, an ordered (id, slot) set the second.
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
  // The record in `slot`, or nullptr for an empty slot or one outside the array.
  // REQUIRES: a caller that changes the record's id does so through SetId().
  CPRecord* At(std::int32_t slot) const;
  // Destroys the record in `slot`, leaving a hole. False if the slot was empty.
  bool Remove(std::int32_t slot);
  // Gives the record in `slot` a new id and keeps the look-up by id right.
  // False if the slot is empty.
  bool SetId(std::int32_t slot, std::uint32_t id);
  // The lowest occupied slot whose record has `id`, or -1.
  std::int32_t FindById(std::uint32_t id) const;
  // The first occupied slot at or after `from`, or -1 when there is none.
  std::int32_t NextOccupied(std::int32_t from) const;
  // Destroys every record and frees the array.
  void Clear();

  std::int32_t Count() const { return count_; }
  // Highest slot ever occupied + 1 since the array was last cleared.
  std::int32_t HighWater() const { return highWater_; }
  std::int32_t Capacity() const { return static_cast<std::int32_t>(records_.size()); }

 private:
  // Grows the array and both bitmaps by kGrowth slots. Returns false on failure.
  bool Grow();
  void MarkOccupied(std::int32_t slot, bool occupied);
  // Lowest slot not occupied; may equal or pass the capacity when all are taken.
  std::int64_t LowestFree() const;
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
