// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// RecordSlots: first-fit slot allocation over a bitmap of occupied slots, with a
// second bitmap marking full words so that the lowest empty slot is found by
// looking at one bit per 4,096 slots; and an id index built lazily, so that a
// load that never looks up an id does not pay for it. Every operation that can
// run out of memory allocates before it changes anything.
#include "store/RecordSlots.h"

#include <algorithm>
#include <bit>
#include <new>

namespace tallimor {
namespace {

constexpr std::uint64_t kAllOnes = ~std::uint64_t{0};

std::size_t WordsFor(std::size_t slots) { return (slots + 63) / 64; }

}  // namespace

RecordSlots::RecordSlots() = default;
RecordSlots::~RecordSlots() = default;

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

std::int32_t RecordSlots::LowestFree() const {
  // Bits past the last slot stay clear, so a full array answers the capacity or
  // more; that is reported as no empty slot.
  for (std::size_t group = 0; group < fullWords_.size(); ++group) {
    if (fullWords_[group] == kAllOnes) continue;
    const std::size_t word = group * 64 + static_cast<std::size_t>(std::countr_one(fullWords_[group]));
    if (word >= occupied_.size()) break;
    const std::int64_t slot = static_cast<std::int64_t>(word * 64) + std::countr_one(occupied_[word]);
    return slot < Capacity() ? static_cast<std::int32_t>(slot) : -1;
  }
  return -1;
}

Result RecordSlots::Add(std::unique_ptr<CPRecord> record, std::int32_t& slot) {
  slot = -1;
  if (!record) return kErrNullArgument;
  std::int32_t free = LowestFree();
  if (free < 0) {
    const std::int32_t full = Capacity();
    if (full > INT32_MAX - kGrowth) return kErrOutOfMemory;
    const Result grown = GrowTo(full + kGrowth);
    if (grown != kOk) return grown;
    free = full;  // every slot below was taken
  }
  const Result placed = Put(free, std::move(record));
  if (placed != kOk) return placed;
  slot = free;
  return kOk;
}

Result RecordSlots::Put(std::int32_t slot, std::unique_ptr<CPRecord> record) {
  if (!record) return kErrNullArgument;
  if (slot < 0 || slot >= Capacity()) return kErrBadCategoryIndex;
  record->SetIndex(slot);
  if (records_[slot]) {
    const std::uint32_t before = records_[slot]->Id();
    records_[slot] = std::move(record);
    IdChanged(slot, before);
    return kOk;
  }
  if (byIdBuilt_) {
    try {
      byId_.emplace(record->Id(), slot);
    } catch (const std::bad_alloc&) {
      return kErrOutOfMemory;
    }
  }
  records_[slot] = std::move(record);
  MarkOccupied(slot, true);
  ++count_;
  if (slot >= highWater_) highWater_ = slot + 1;
  return kOk;
}

CPRecord* RecordSlots::At(std::int32_t slot) const {
  if (slot < 0 || slot >= Capacity()) return nullptr;
  return records_[slot].get();
}

std::unique_ptr<CPRecord> RecordSlots::Take(std::int32_t slot) {
  CPRecord* record = At(slot);
  if (!record) return nullptr;
  if (byIdBuilt_) byId_.erase({record->Id(), slot});
  MarkOccupied(slot, false);
  --count_;
  return std::move(records_[slot]);
}

bool RecordSlots::Remove(std::int32_t slot) { return Take(slot) != nullptr; }

bool RecordSlots::SetId(std::int32_t slot, std::uint32_t id) {
  CPRecord* record = At(slot);
  if (!record) return false;
  const std::uint32_t before = record->Id();
  record->SetId(id);
  IdChanged(slot, before);
  return true;
}

void RecordSlots::IdChanged(std::int32_t slot, std::uint32_t before) {
  const CPRecord* record = At(slot);
  if (!byIdBuilt_ || record == nullptr || record->Id() == before) return;
  // Re-keying the existing node allocates nothing, so this cannot fail half-way.
  auto node = byId_.extract({before, slot});
  if (node.empty()) return;
  node.value().first = record->Id();
  byId_.insert(std::move(node));
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

std::int32_t RecordSlots::FindById(std::uint32_t id, std::int32_t from) const {
  from = std::max(from, 0);
  if (!byIdBuilt_) BuildIdIndex();
  if (!byIdBuilt_) {
    // No memory for the index: answer by walking the slots.
    for (std::int32_t slot = NextOccupied(from); slot != -1; slot = NextOccupied(slot + 1)) {
      if (records_[slot]->Id() == id) return slot;
    }
    return -1;
  }
  const auto it = byId_.lower_bound({id, from});
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

std::int32_t RecordSlots::NthOccupied(std::int32_t n) const {
  if (n < 0) return -1;
  // Counts whole words, so it costs capacity / 64 steps rather than capacity.
  auto left = static_cast<std::uint64_t>(n);
  for (std::size_t w = 0; w < occupied_.size(); ++w) {
    std::uint64_t word = occupied_[w];
    const auto here = static_cast<std::uint64_t>(std::popcount(word));
    if (left >= here) {
      left -= here;
      continue;
    }
    for (; left > 0; --left) word &= word - 1;  // drop the lower occupied slots
    return static_cast<std::int32_t>(w * 64 + static_cast<std::size_t>(std::countr_zero(word)));
  }
  return -1;
}

Result RecordSlots::GrowTo(std::int32_t capacity) {
  if (capacity < 0) return kErrOutOfMemory;
  if (capacity <= Capacity()) return kOk;  // never drops a slot, nor a record in it
  const auto slots = static_cast<std::size_t>(capacity);
  const std::size_t words = WordsFor(slots);
  const std::size_t groups = WordsFor(words);
  // Reserve all three first so that a failure leaves them in step with each other.
  try {
    records_.reserve(slots);
    occupied_.reserve(words);
    fullWords_.reserve(groups);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  records_.resize(slots);
  occupied_.resize(words, 0);
  fullWords_.resize(groups, 0);
  return kOk;
}

Result RecordSlots::Allocate(std::int32_t capacity) {
  if (capacity < 0) return kErrOutOfMemory;
  const auto slots = static_cast<std::size_t>(capacity);
  std::vector<std::unique_ptr<CPRecord>> records;
  std::vector<std::uint64_t> occupied;
  std::vector<std::uint64_t> fullWords;
  try {
    records.resize(slots);
    occupied.resize(WordsFor(slots), 0);
    fullWords.resize(WordsFor(occupied.size()), 0);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  Clear();
  records_.swap(records);
  occupied_.swap(occupied);
  fullWords_.swap(fullWords);
  return kOk;
}

Result RecordSlots::Rearrange(const std::vector<CPRecord*>& arrangement, bool renumberAll) {
  const std::size_t slots = std::max(arrangement.size(), records_.size());
  if (slots > static_cast<std::size_t>(INT32_MAX)) return kErrOutOfMemory;
  std::vector<std::unique_ptr<CPRecord>> records;
  std::vector<std::uint64_t> occupied;
  std::vector<std::uint64_t> fullWords;
  std::set<std::pair<std::uint32_t, std::int32_t>> byId;
  try {
    records.resize(slots);
    occupied.resize(WordsFor(slots), 0);
    fullWords.resize(WordsFor(occupied.size()), 0);
    if (byIdBuilt_) {
      for (std::size_t slot = 0; slot < arrangement.size(); ++slot) {
        if (arrangement[slot] != nullptr) byId.emplace(arrangement[slot]->Id(), static_cast<std::int32_t>(slot));
      }
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  // Nothing below allocates. Ownership passes from the old array to the new one;
  // the arrangement names every stored record exactly once.
  for (std::size_t slot = 0; slot < arrangement.size(); ++slot) {
    CPRecord* record = arrangement[slot];
    if (record == nullptr) continue;
    const auto at = static_cast<std::int32_t>(slot);
    if (renumberAll || At(at) != record) record->SetIndex(at);
    records[slot].reset(record);
  }
  for (auto& old : records_) static_cast<void>(old.release());
  records_.swap(records);
  occupied_.swap(occupied);
  fullWords_.swap(fullWords);
  byId_.swap(byId);
  for (std::size_t slot = 0; slot < records_.size(); ++slot) {
    if (!records_[slot]) continue;
    const auto at = static_cast<std::int32_t>(slot);
    MarkOccupied(at, true);
    highWater_ = std::max(highWater_, at + 1);
  }
  return kOk;
}

void RecordSlots::Clear() {
  records_.clear();
  records_.shrink_to_fit();
  occupied_.clear();
  occupied_.shrink_to_fit();
  fullWords_.clear();
  fullWords_.shrink_to_fit();
  byId_.clear();
  byIdBuilt_ = false;
  count_ = 0;
  highWater_ = 0;
}

}  // namespace tallimor
