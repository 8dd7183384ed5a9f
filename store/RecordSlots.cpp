// RecordSlots: first-fit slot allocation over a bitmap of occupied slots, with a
// second bitmap marking full words so that the lowest empty slot is found by
// looking at one bit per 4,096 slots; and an id index built lazily, so that a
// load that never looks up an id does not pay for it.
#include "store/RecordSlots.h"

#include <bit>
#include <new>

namespace tallimor {
namespace {

constexpr std::uint64_t kAllOnes = ~std::uint64_t{0};

}  // namespace

RecordSlots::RecordSlots() = default;
RecordSlots::~RecordSlots() = default;

bool RecordSlots::Grow() {
  const std::size_t capacity = records_.size() + kGrowth;
  const std::size_t words = (capacity + 63) / 64;
  const std::size_t groups = (words + 63) / 64;
  // Reserve all three first so that a failure leaves them in step with each other.
  try {
    records_.reserve(capacity);
    occupied_.reserve(words);
    fullWords_.reserve(groups);
  } catch (const std::bad_alloc&) {
    return false;
  }
  records_.resize(capacity);
  occupied_.resize(words, 0);
  fullWords_.resize(groups, 0);
  return true;
}

void RecordSlots::MarkOccupied(std::int32_t slot, bool occupied) {
  const std::size_t word = static_cast<std::size_t>(slot) / 64;
  const std::uint64_t bit = std::uint64_t{1} << (slot % 64);
  if (occupied) {
    occupied_[word] |= bit;
  } else {
    occupied_[word] &= ~bit;
  }
  const std::uint64_t fullBit = std::uint64_t{1} << (word % 64);
  if (occupied_[word] == kAllOnes) {
    fullWords_[word / 64] |= fullBit;
  } else {
    fullWords_[word / 64] &= ~fullBit;
  }
}

std::int64_t RecordSlots::LowestFree() const {
  for (std::size_t group = 0; group < fullWords_.size(); ++group) {
    if (fullWords_[group] == kAllOnes) continue;
    const std::size_t word = group * 64 + static_cast<std::size_t>(std::countr_one(fullWords_[group]));
    if (word >= occupied_.size()) break;
    return static_cast<std::int64_t>(word * 64) + std::countr_one(occupied_[word]);
  }
  return static_cast<std::int64_t>(occupied_.size()) * 64;
}

Result RecordSlots::Add(std::unique_ptr<CPRecord> record, std::int32_t& slot) {
  slot = -1;
  if (!record) return kErrNullArgument;
  std::int64_t free = LowestFree();
  if (free >= Capacity()) {
    if (records_.size() + kGrowth > static_cast<std::size_t>(INT32_MAX) || !Grow()) {
      return kErrOutOfMemory;
    }
    free = LowestFree();
  }
  const std::int32_t chosen = static_cast<std::int32_t>(free);
  if (byIdBuilt_) {
    try {
      byId_.emplace(record->Id(), chosen);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }
  record->SetIndex(chosen);
  records_[chosen] = std::move(record);
  MarkOccupied(chosen, true);
  ++count_;
  if (chosen >= highWater_) highWater_ = chosen + 1;
  slot = chosen;
  return kOk;
}

CPRecord* RecordSlots::At(std::int32_t slot) const {
  if (slot < 0 || slot >= Capacity()) return nullptr;
  return records_[slot].get();
}

bool RecordSlots::Remove(std::int32_t slot) {
  CPRecord* record = At(slot);
  if (!record) return false;
  if (byIdBuilt_) byId_.erase({record->Id(), slot});
  records_[slot].reset();
  MarkOccupied(slot, false);
  --count_;
  return true;
}

bool RecordSlots::SetId(std::int32_t slot, std::uint32_t id) {
  CPRecord* record = At(slot);
  if (!record) return false;
  if (byIdBuilt_) {
    byId_.erase({record->Id(), slot});
    try {
      byId_.emplace(id, slot);
    } catch (const std::bad_alloc&) {
      byIdBuilt_ = false;  // rebuilt on the next look-up
      byId_.clear();
    }
  }
  record->SetId(id);
  return true;
}

void RecordSlots::BuildIdIndex() const {
  byId_.clear();
  try {
    for (std::int32_t slot = NextOccupied(0); slot != -1; slot = NextOccupied(slot + 1)) {
      byId_.emplace(records_[slot]->Id(), slot);
    }
    byIdBuilt_ = true;
  } catch (const std::bad_alloc&) {
    byId_.clear();
    byIdBuilt_ = false;
  }
}

std::int32_t RecordSlots::FindById(std::uint32_t id) const {
  if (!byIdBuilt_) BuildIdIndex();
  if (!byIdBuilt_) {
    // No memory for the index: answer by walking the slots.
    for (std::int32_t slot = NextOccupied(0); slot != -1; slot = NextOccupied(slot + 1)) {
      if (records_[slot]->Id() == id) return slot;
    }
    return -1;
  }
  const auto it = byId_.lower_bound({id, INT32_MIN});
  if (it == byId_.end() || it->first != id) return -1;
  return it->second;
}

std::int32_t RecordSlots::NextOccupied(std::int32_t from) const {
  if (from < 0) from = 0;
  if (from >= highWater_) return -1;
  std::size_t word = static_cast<std::size_t>(from) / 64;
  std::uint64_t bits = occupied_[word] & (kAllOnes << (from % 64));
  const std::size_t lastWord = static_cast<std::size_t>(highWater_ - 1) / 64;
  for (;;) {
    if (bits != 0) {
      const std::int64_t slot = static_cast<std::int64_t>(word * 64) + std::countr_zero(bits);
      return slot < highWater_ ? static_cast<std::int32_t>(slot) : -1;
    }
    if (++word > lastWord) return -1;
    bits = occupied_[word];
  }
}

void RecordSlots::Clear() {
  records_.clear();
  records_.shrink_to_fit();
  occupied_.clear();
  fullWords_.clear();
  byId_.clear();
  byIdBuilt_ = false;
  count_ = 0;
  highWater_ = 0;
}

}  // namespace tallimor
