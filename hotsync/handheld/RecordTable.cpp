// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Position and id indexes of a handheld database's records. Holes left by removals
// are compacted away once they outnumber the records, so the table never grows
// beyond about twice its contents and every operation stays logarithmic.
#include "hotsync/handheld/RecordTable.h"

#include <utility>

namespace tallimor {

void RecordTable::Assign(std::vector<PdbRecord> records) {
  slots_ = std::move(records);
  alive_.assign(slots_.size(), 1);
  live_ = slots_.size();
  Rebuild(slots_.size());
}

void RecordTable::Rebuild(std::size_t capacity) {
  std::size_t kept = 0;
  for (std::size_t s = 0; s < slots_.size(); ++s) {
    if (!alive_[s]) continue;
    if (kept != s) slots_[kept] = std::move(slots_[s]);
    ++kept;
  }
  slots_.resize(kept);
  slots_.reserve(capacity);
  alive_.assign(kept, 1);
  slotOfId_.clear();
  slotOfId_.reserve(kept);
  for (std::size_t s = 0; s < kept; ++s) slotOfId_[slots_[s].uniqueId] = s;
  // Linear-time Fenwick construction over a table sized for `capacity` slots.
  tree_.assign(std::max(capacity, kept) + 1, 0);
  for (std::size_t i = 1; i < tree_.size(); ++i) {
    if (i <= kept) tree_[i] += 1;
    const std::size_t parent = i + (i & (~i + 1));
    if (parent < tree_.size()) tree_[parent] += tree_[i];
  }
}

void RecordTable::AddToTree(std::size_t slot, int delta) {
  for (std::size_t i = slot + 1; i < tree_.size(); i += i & (~i + 1)) tree_[i] += delta;
}

std::size_t RecordTable::LiveBefore(std::size_t slot) const {
  std::int64_t sum = 0;
  for (std::size_t i = slot; i > 0; i -= i & (~i + 1)) sum += tree_[i];
  return static_cast<std::size_t>(sum);
}

std::size_t RecordTable::SlotOfIndex(std::size_t index) const {
  // Descends the tree for the smallest slot with index + 1 live slots up to it.
  std::size_t position = 0;
  std::size_t remaining = index + 1;
  std::size_t step = 1;
  while (step * 2 < tree_.size()) step *= 2;
  for (; step > 0; step /= 2) {
    const std::size_t next = position + step;
    if (next < tree_.size() && static_cast<std::size_t>(tree_[next]) < remaining) {
      position = next;
      remaining -= static_cast<std::size_t>(tree_[next]);
    }
  }
  return position;  // 1-based position + 1 is the slot; as 0-based it is `position`
}

const PdbRecord* RecordTable::At(std::size_t index) const {
  if (index >= live_) return nullptr;
  return &slots_[SlotOfIndex(index)];
}

PdbRecord* RecordTable::At(std::size_t index) {
  if (index >= live_) return nullptr;
  return &slots_[SlotOfIndex(index)];
}

std::optional<std::size_t> RecordTable::IndexOfId(std::uint32_t id) const {
  const auto found = slotOfId_.find(id);
  if (found == slotOfId_.end()) return std::nullopt;
  return LiveBefore(found->second);
}

std::size_t RecordTable::Append(PdbRecord record) {
  if (slots_.size() + 1 >= tree_.size()) Rebuild(2 * live_ + 16);
  const std::size_t slot = slots_.size();
  slotOfId_[record.uniqueId] = slot;
  slots_.push_back(std::move(record));
  alive_.push_back(1);
  AddToTree(slot, 1);
  return live_++;
}

void RecordTable::RemoveAt(std::size_t index) {
  if (index >= live_) return;
  const std::size_t slot = SlotOfIndex(index);
  slotOfId_.erase(slots_[slot].uniqueId);
  slots_[slot] = PdbRecord{};
  alive_[slot] = 0;
  AddToTree(slot, -1);
  --live_;
  if (slots_.size() > 2 * live_ + 64) Rebuild(2 * live_ + 16);
}

}  // namespace tallimor
