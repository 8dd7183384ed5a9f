// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CPDatabase: the record slot list shared by the conduit's database managers, with
// first-fit add, look-up by id, the iteration modes, the sorts and the id-list
// reorder. A user's list may hold 65,535 records, so the slots are a RecordSlots,
// whose indexes find the lowest empty slot and the lowest slot with an id without
// walking the list.
#include "store/CPDatabase.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <set>
#include <utility>

#include "store/CPCategoryTable.h"
#include "store/CopyOut.h"

namespace tallimor {

namespace {

// What NextRecord() does in each iteration mode, looked up by mode number.
using NextStep = Result (CPDatabase::*)(CPRecord&);
constexpr NextStep kNextByMode[kIterateLastMode + 1] = {
    &CPDatabase::NextRecordAny,                // 0 all
    &CPDatabase::NextRecordWithStatus,         // 1 changed
    &CPDatabase::NextRecordInCategory,         // 2 category
    &CPDatabase::NextChangedRecordInCategory,  // 3 category changed
    &CPDatabase::NextRecordMatchingStateMask,  // 4 state mask
    &CPDatabase::NextRecordMatchingStateMask,  // 5 state mask
    &CPDatabase::NextRecordMatchingStateMask,  // 6 state mask
    &CPDatabase::NextPendingRecord,            // 7 pending
    &CPDatabase::NextRecordMatchingStateMask,  // 8 state mask
    &CPDatabase::NextRecordMatchingStateMask,  // 9 state mask
};

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

// Minimum of each power-of-two range of a key sequence, so that "the rightmost
// position in a range whose key is below a limit" takes logarithmic time.
class MinTree {
 public:
  explicit MinTree(const std::vector<std::int64_t>& keys) {
    while (leaves_ < keys.size()) leaves_ *= 2;
    min_.assign(2 * leaves_, INT64_MAX);
    for (std::size_t p = 0; p < keys.size(); ++p) min_[leaves_ + p] = keys[p];
    for (std::size_t node = leaves_ - 1; node > 0; --node) {
      min_[node] = std::min(min_[2 * node], min_[2 * node + 1]);
    }
  }

  void Set(std::size_t p, std::int64_t key) {
    std::size_t node = leaves_ + p;
    min_[node] = key;
    for (node /= 2; node > 0; node /= 2) min_[node] = std::min(min_[2 * node], min_[2 * node + 1]);
  }

  // The rightmost p with lo <= p < hi and key(p) < limit, or kNone.
  std::size_t RightmostBelow(std::size_t lo, std::size_t hi, std::int64_t limit) const {
    return Search(1, 0, leaves_, lo, hi, limit);
  }

 private:
  std::size_t Search(std::size_t node, std::size_t nodeLo, std::size_t nodeHi, std::size_t lo,
                     std::size_t hi, std::int64_t limit) const {
    if (nodeHi <= lo || hi <= nodeLo || min_[node] >= limit) return kNone;
    if (nodeHi - nodeLo == 1) return nodeLo;
    const std::size_t mid = nodeLo + (nodeHi - nodeLo) / 2;
    const std::size_t right = Search(2 * node + 1, mid, nodeHi, lo, hi, limit);
    return right != kNone ? right : Search(2 * node, nodeLo, mid, lo, hi, limit);
  }

  std::size_t leaves_ = 1;
  std::vector<std::int64_t> min_;  // min_[1] is the root; leaves start at leaves_
};

// The exchange sort of the record list, whose order of records with equal keys is
// part of its result: for each position i, the positions above i are compared from
// the top down and swapped into i whenever their key is smaller than the key now at
// i. Returns, for each final position, the original position of what ends up there.
//
// Distinct keys have only one ascending order, so they are sorted directly. With
// equal keys the swaps are replayed, but instead of comparing every pair each step
// jumps straight to the next position that would swap. The cost is one logarithmic
// search per swap, and the swaps of one step bring ever smaller keys, so a step
// makes fewer swaps than there are distinct keys (at most 15 for the categories).
std::vector<std::size_t> ExchangeSortOrder(std::vector<std::int64_t> keys) {
  std::vector<std::size_t> from(keys.size());
  for (std::size_t p = 0; p < from.size(); ++p) from[p] = p;
  std::vector<std::size_t> ascending = from;
  std::sort(ascending.begin(), ascending.end(),
            [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
  const auto tie = std::adjacent_find(ascending.begin(), ascending.end(),
                                      [&](std::size_t a, std::size_t b) { return keys[a] == keys[b]; });
  if (tie == ascending.end()) return ascending;

  MinTree tree(keys);
  for (std::size_t i = 0; i + 1 < keys.size(); ++i) {
    std::size_t upper = keys.size();
    for (;;) {
      const std::size_t j = tree.RightmostBelow(i + 1, upper, keys[i]);
      if (j == kNone) break;
      std::swap(keys[i], keys[j]);
      std::swap(from[i], from[j]);
      tree.Set(i, keys[i]);
      tree.Set(j, keys[j]);
      upper = j;  // the downward scan goes on below the swapped position
    }
  }
  return from;
}

// The sorts that move the records with `matches` ahead of the others, over slots
// 0 to mark - 1: for each slot that does not match (an empty one included), the
// first matching slot above it is swapped in. The matching slot found last time now
// holds a non-matching record, so the search goes on from there, not from i + 1.
template <typename Matches>
void MoveMatchingFirst(std::vector<CPRecord*>& slots, std::int32_t mark, Matches matches) {
  const auto isMatch = [&](std::int32_t slot) {
    return slots[slot] != nullptr && matches(*slots[slot]);
  };
  std::int32_t j = 0;
  for (std::int32_t i = 0; i + 1 < mark; ++i) {
    if (isMatch(i)) continue;
    j = std::max(j, i + 1);
    while (j < mark && !isMatch(j)) ++j;
    if (j >= mark) break;
    std::swap(slots[i], slots[j]);
  }
}

// The sorts that order the occupied slots below the mark by ascending `key`. Empty
// slots never take part; they stay where they are. Throws std::bad_alloc.
template <typename Key>
void SortOccupiedByKey(std::vector<CPRecord*>& slots, std::int32_t mark, Key key) {
  std::vector<std::int32_t> occupied;
  std::vector<std::int64_t> keys;
  for (std::int32_t slot = 0; slot < mark; ++slot) {
    if (slots[slot] == nullptr) continue;
    occupied.push_back(slot);
    keys.push_back(key(*slots[slot]));
  }
  const std::vector<std::size_t> from = ExchangeSortOrder(std::move(keys));
  std::vector<CPRecord*> records(occupied.size());
  for (std::size_t p = 0; p < occupied.size(); ++p) records[p] = slots[occupied[from[p]]];
  for (std::size_t p = 0; p < occupied.size(); ++p) slots[occupied[p]] = records[p];
}

}  // namespace

CPDatabase::CPDatabase(std::uint32_t capabilityFlags, std::int32_t syncType)
    : syncType_(syncType), capabilities_(capabilityFlags) {}

CPDatabase::~CPDatabase() = default;

CPCategoryTable* CPDatabase::CategoryTable() { return categories_.get(); }

Result CPDatabase::Open(std::int32_t) { return kErrNotSupported; }
Result CPDatabase::OpenForSyncType() { return kErrNotSupported; }
Result CPDatabase::Close(bool) { return kErrNotSupported; }

bool CPDatabase::UsesCategories() const {
  return (capabilities_ & (kCapCategories | kCapAppInfo)) == (kCapCategories | kCapAppInfo);
}

void CPDatabase::SetUsesCategories(bool on) {
  // The category table lives in the app info block, so categories bring app info
  // with them; giving categories up keeps the app info.
  if (on) {
    capabilities_ |= kCapCategories | kCapAppInfo;
  } else {
    capabilities_ &= ~kCapCategories;
  }
}

Result CPDatabase::RecordCount(std::int32_t&) { return kErrNotSupported; }
Result CPDatabase::ReservedOperation() { return kErrNotSupported; }

std::int32_t CPDatabase::FindSlotById(std::uint32_t id) const {
  return slots_.FindById(id);
}

Result CPDatabase::GetRecordById(std::uint32_t id, CPRecord& record) {
  const CPRecord* stored = RecordAt(FindSlotById(id));
  return stored != nullptr ? record.Assign(*stored) : kErrNoMatch;
}

Result CPDatabase::StartIteration(std::int32_t mode, std::int32_t categoryFilter,
                                  CPRecord& record) {
  mode_ = mode;
  position_ = 0;
  categoryFilter_ = categoryFilter;
  return NextRecord(record);
}

Result CPDatabase::FirstRecord(CPRecord& record) {
  return StartIteration(kIterateAll, categoryFilter_, record);
}

Result CPDatabase::NextRecord(CPRecord& record) {
  if (mode_ < 0 || mode_ > kIterateLastMode) return kErrBadIterationMode;
  return (this->*kNextByMode[mode_])(record);
}

Result CPDatabase::FirstPendingRecord(CPRecord& record) {
  return StartIteration(kIteratePending, 0, record);
}

// The sorts before the iterations below only bring the wanted records forward; a
// manager that cannot sort (the handheld's) still iterates, so their result is
// deliberately not checked.

Result CPDatabase::FirstChangedRecord(CPRecord& record) {
  Sort(kSortChangedFirst);
  return StartIteration(kIterateChanged, categoryFilter_, record);
}

Result CPDatabase::FirstRecordByStateMask(std::uint32_t mask, CPRecord& record) {
  Sort(kSortChangedFirst);
  stateMask_ = mask;
  return StartIteration(kIterateStateMask, categoryFilter_, record);
}

Result CPDatabase::FirstRecordInCategory(std::int32_t category, CPRecord& record) {
  Sort(kSortByCategory);
  return StartIteration(kIterateCategory, category, record);
}

Result CPDatabase::FirstChangedRecordInCategory(std::int32_t category, CPRecord& record) {
  Sort(kSortByCategoryChanged);
  return StartIteration(kIterateCategoryChanged, category, record);
}

Result CPDatabase::DeleteRecordsOfCategory(std::int32_t, bool) { return kErrNotSupported; }
Result CPDatabase::ChangeCategory(std::int32_t, std::int32_t) { return kErrNotSupported; }

Result CPDatabase::AddCleanRecord(CPRecord& record) {
  record.ClearStatusAndMarks();
  return AddRecord(record);
}

Result CPDatabase::AddRecord(CPRecord& record) {
  std::int32_t slot = slots_.LowestFree();
  if (slot < 0) {
    const std::int32_t full = Capacity();
    if (full > INT32_MAX - kSlotGrowth) return kErrOutOfMemory;
    const Result grown = GrowSlots(full + kSlotGrowth);
    if (grown != kOk) return grown;
    if (Capacity() <= full) return kErrOutOfMemory;
    slot = full;  // every slot below was taken
  }
  std::unique_ptr<CPRecord> stored = MakeStoredCopy(record);
  if (!stored) return kErrOutOfMemory;
  const Result placed = slots_.Put(slot, std::move(stored));
  if (placed != kOk) return placed;
  record.SetIndex(slot);
  return kOk;
}

std::unique_ptr<CPRecord> CPDatabase::MakeStoredCopy(const CPRecord& record) {
  std::unique_ptr<CPRecord> copy(new (std::nothrow) CPRecord(record));
  // A copy whose data could not be allocated would silently lose the record's bytes.
  if (!copy || copy->DataLength() != record.DataLength()) return nullptr;
  return copy;
}

Result CPDatabase::ModifyRecordById(CPRecord&) { return kErrNotSupported; }
Result CPDatabase::DeleteRecord(CPRecord&) { return kErrNotSupported; }
Result CPDatabase::ModifyRecordAtIndex(std::int32_t, CPRecord&) { return kErrNotSupported; }

Result CPDatabase::SetSyncType(std::int32_t syncType) {
  syncType_ = syncType;
  return kOk;
}

Result CPDatabase::FindFirstNewRecord(CPRecord&) { return kErrNotSupported; }
Result CPDatabase::PurgeDeletedRecords() { return kErrNotSupported; }

Result CPDatabase::Sort(std::int32_t type) {
  switch (type) {
    case kSortById:
      return SortById();
    case kSortChangedFirst:
      return SortChangedFirst();
    case kSortPendingFirst:
      return SortPendingFirst();
    case kSortByCategory:
    case kSortByCategoryChanged:
      return SortByCategory();
    default:
      return kErrNotSupported;
  }
}

Result CPDatabase::ReadForSync() { return kErrNotSupported; }
Result CPDatabase::FinishSync() { return kErrNotSupported; }
Result CPDatabase::LoadCategories() { return kErrNotSupported; }
Result CPDatabase::StoreCategories() { return kErrNotSupported; }
Result CPDatabase::RemapCategories(const std::int32_t*) { return kErrNotSupported; }
Result CPDatabase::GetSortInfo(DbBlockInfo&) { return kErrNotSupported; }
Result CPDatabase::SetSortInfo(const DbBlockInfo&) { return kErrNotSupported; }
Result CPDatabase::GetAppInfo(DbBlockInfo&) { return kErrNotSupported; }
Result CPDatabase::SetAppInfo(const DbBlockInfo&) { return kErrNotSupported; }
Result CPDatabase::HasApplicationData(bool&) { return kErrNotSupported; }
Result CPDatabase::SetApplicationData(std::uint32_t, const std::uint8_t*) {
  return kErrNotSupported;
}

Result CPDatabase::GetApplicationData(std::uint8_t* buffer, std::uint32_t& size) {
  std::uint32_t length = 0;
  const Result measured = ApplicationDataLength(length);
  if (measured != kOk) return measured;
  if (length == 0) {
    size = 0;
    return kOk;
  }
  const std::uint8_t* data = ApplicationData();
  if (data == nullptr) return kErrNoAppInfo;  // a length without the bytes to go with it
  return CopyOut(data, length, buffer, size);
}

Result CPDatabase::ApplicationDataLength(std::uint32_t&) { return kErrNotSupported; }
Result CPDatabase::SetDatabaseInfo(const char*, std::uint16_t, std::uint32_t, std::uint32_t,
                                   std::uint16_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                   std::uint32_t) {
  return kErrNotSupported;
}

Result CPDatabase::CheckIdListRoom(const std::uint32_t* ids, std::int32_t& count, std::int32_t& needed) {
  needed = 0;
  const Result counted = RecordCount(needed);
  if (counted != kOk) return counted;
  if (count < needed) {
    count = needed;
    return kErrBufferTooSmall;
  }
  return ids == nullptr ? kErrNullArgument : kOk;
}

Result CPDatabase::ListRecordIds(std::uint32_t* ids, std::int32_t& count) {
  std::int32_t needed = 0;
  if (const Result room = CheckIdListRoom(ids, count, needed); room != kOk) return room;
  std::int32_t written = 0;
  for (std::int32_t slot = slots_.NextOccupied(0); slot != -1; slot = slots_.NextOccupied(slot + 1)) {
    // The manager's count may lag the list; never write past the caller's array.
    if (written == count) {
      count = slots_.Count();
      return kErrBufferTooSmall;
    }
    ids[written++] = slots_.At(slot)->Id();
  }
  count = written;
  return kOk;
}

Result CPDatabase::ReorderByIdList(const std::uint32_t* ids, std::int32_t count) {
  std::int32_t records = 0;
  if (RecordCount(records) != kOk || records == 0) return kOk;
  if (count != records) return kErrReorderCountMismatch;
  if (ids == nullptr) return kErrNullArgument;
  try {
    std::vector<CPRecord*> arrangement(static_cast<std::size_t>(std::max(Capacity(), count)),
                                       nullptr);
    // Each record is placed once: a repeated id takes the next record with that id.
    std::set<std::pair<std::uint32_t, std::int32_t>> unplaced;
    for (std::int32_t slot = slots_.NextOccupied(0); slot != -1; slot = slots_.NextOccupied(slot + 1)) {
      unplaced.emplace(slots_.At(slot)->Id(), slot);
    }
    std::int32_t placed = 0;
    for (std::int32_t i = 0; i < count; ++i) {
      if (ids[i] == kReorderEmptySlot) continue;
      const auto it = unplaced.lower_bound({ids[i], INT32_MIN});
      if (it == unplaced.end() || it->first != ids[i]) return kErrReorderUnknownId;
      arrangement[i] = slots_.At(it->second);
      unplaced.erase(it);
      ++placed;
    }
    if (placed != slots_.Count()) return kErrReorderCountMismatch;
    return slots_.Rearrange(arrangement, true);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

bool CPDatabase::UsesAppInfo() const { return (capabilities_ & kCapAppInfo) != 0; }

void CPDatabase::SetUsesAppInfo(bool on) {
  // Without app info there is nowhere to keep the category table.
  if (on) {
    capabilities_ |= kCapAppInfo;
  } else {
    capabilities_ &= ~(kCapCategories | kCapAppInfo);
  }
}

bool CPDatabase::UsesSortInfo() const { return (capabilities_ & kCapSortInfo) != 0; }

void CPDatabase::SetUsesSortInfo(bool on) {
  if (on) {
    capabilities_ |= kCapSortInfo;
  } else {
    capabilities_ &= ~kCapSortInfo;
  }
}

Result CPDatabase::BuildCategoryTable() { return kErrNotSupported; }
Result CPDatabase::StoreCategoryTable() { return kErrNotSupported; }
Result CPDatabase::NextRecordAny(CPRecord&) { return kErrNotSupported; }
Result CPDatabase::NextRecordWithStatus(CPRecord&) { return kErrNotSupported; }

Result CPDatabase::NextRecordMatchingStateMask(CPRecord& record) {
  // Every record is considered, so that kStateNoStatus in the mask selects the
  // records without status; for any other mask the result is the same as walking
  // only the records with a status bit.
  for (;;) {
    const Result step = NextRecordAny(record);
    if (step != kOk) return step;
    if ((record.StateCode() & stateMask_) != 0) return kOk;
  }
}

Result CPDatabase::NextPendingRecord(CPRecord&) { return kErrNotSupported; }
Result CPDatabase::NextRecordInCategory(CPRecord&) { return kErrNotSupported; }
Result CPDatabase::NextChangedRecordInCategory(CPRecord&) { return kErrNotSupported; }

void CPDatabase::DestroyAllRecords() { slots_.Clear(); }

Result CPDatabase::GrowSlots(std::int32_t capacity) { return slots_.GrowTo(capacity); }

Result CPDatabase::AllocateSlots(std::int32_t capacity) { return slots_.Allocate(capacity); }

template <typename Arrange>
Result CPDatabase::SortWith(Arrange arrange) {
  std::int32_t count = 0;
  const Result counted = RecordCount(count);
  if (counted != kOk) return counted;
  if (count <= 0) return kOk;
  try {
    std::vector<CPRecord*> arrangement(static_cast<std::size_t>(Capacity()));
    for (std::int32_t slot = slots_.NextOccupied(0); slot != -1; slot = slots_.NextOccupied(slot + 1)) {
      arrangement[static_cast<std::size_t>(slot)] = slots_.At(slot);
    }
    arrange(arrangement, HighWaterMark());
    return slots_.Rearrange(arrangement, false);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
}

Result CPDatabase::SortById() {
  return SortWith([](std::vector<CPRecord*>& slots, std::int32_t mark) {
    SortOccupiedByKey(slots, mark,
                      [](const CPRecord& r) { return static_cast<std::int64_t>(r.Id()); });
  });
}

Result CPDatabase::SortChangedFirst() {
  return SortWith([](std::vector<CPRecord*>& slots, std::int32_t mark) {
    MoveMatchingFirst(slots, mark, [](const CPRecord& r) { return r.HasAnyStatus(); });
  });
}

Result CPDatabase::SortPendingFirst() {
  return SortWith([](std::vector<CPRecord*>& slots, std::int32_t mark) {
    MoveMatchingFirst(slots, mark, [](const CPRecord& r) { return r.HasPendingMark(); });
  });
}

Result CPDatabase::SortByCategory() {
  return SortWith([](std::vector<CPRecord*>& slots, std::int32_t mark) {
    SortOccupiedByKey(slots, mark,
                      [](const CPRecord& r) { return static_cast<std::int64_t>(r.Category()); });
  });
}

Result CPDatabase::GetNthRecord(std::int32_t n, CPRecord& record) {
  const CPRecord* stored = RecordAt(slots_.NthOccupied(n));
  return stored != nullptr ? record.Assign(*stored) : kErrNoMatch;
}

Result CPDatabase::GetRecordByHandheldIndex(std::int32_t index, CPRecord& record) {
  for (std::int32_t slot = slots_.NextOccupied(0); slot != -1; slot = slots_.NextOccupied(slot + 1)) {
    const CPRecord* stored = slots_.At(slot);
    if (stored->HandheldIndex() == index) return record.Assign(*stored);
  }
  return kErrNoMatch;
}

Result CPDatabase::GetRecordByIdAndHandheldIndex(std::uint32_t id, std::int32_t index,
                                                 CPRecord& record) {
  for (std::int32_t slot = slots_.FindById(id); slot != -1; slot = slots_.FindById(id, slot + 1)) {
    const CPRecord& stored = *slots_.At(slot);
    if (stored.HandheldIndex() == index) return record.Assign(stored);
  }
  return kErrNoMatch;
}

void CPDatabase::Reset() {
  DestroyAllRecords();
  categories_.reset();
  syncType_ = 0;
  mode_ = 0;
  position_ = 0;
  categoryFilter_ = 0;
  stateMask_ = 0;
  capabilities_ = 0;
}

const CPRecord* CPDatabase::RecordAt(std::int32_t slot) const { return slots_.At(slot); }

Result CPDatabase::ScanNext(RecordFilter filter, CPRecord& record) {
  for (std::int32_t slot = slots_.NextOccupied(position_); slot != -1;
       slot = slots_.NextOccupied(slot + 1)) {
    const CPRecord* stored = slots_.At(slot);
    bool passes = true;
    switch (filter) {
      case RecordFilter::kAny:
        break;
      case RecordFilter::kAnyStatus:
        passes = stored->HasAnyStatus();
        break;
      case RecordFilter::kPending:
        passes = stored->HasPendingMark();
        break;
      case RecordFilter::kInCategory:
        passes = stored->Category() == categoryFilter_;
        break;
      case RecordFilter::kChangedInCategory:
        passes = stored->Category() == categoryFilter_ && stored->HasAnyStatus();
        break;
    }
    if (!passes) continue;
    position_ = slot + 1;
    return record.Assign(*stored);
  }
  position_ = std::max(position_, HighWaterMark());
  return kErrNoMatch;
}

Result CPDatabase::PutRecordAt(std::int32_t slot, std::unique_ptr<CPRecord> record) {
  return slots_.Put(slot, std::move(record));
}

std::unique_ptr<CPRecord> CPDatabase::TakeRecordAt(std::int32_t slot) { return slots_.Take(slot); }

void CPDatabase::SetCategoryTable(std::unique_ptr<CPCategoryTable> table) {
  categories_ = std::move(table);
}

}  // namespace tallimor
