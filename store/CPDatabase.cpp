// CPDatabase: the record slot list shared by the conduit's database managers, with
// first-fit add, look-up by id, the iteration modes, the sorts and the id-list
// reorder. A user's list may hold 65,535 records, so adding and finding by id go
// through two indexes (an occupancy summary tree and an ordered (id, slot) set)
// instead of walking the slots; both always describe exactly the slot array.
#include "store/CPDatabase.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <new>

#include "store/CPCategoryTable.h"

namespace tallimor {

// One bit per slot, set for an occupied slot, under a tree of summary levels: a bit
// of level k + 1 is set when its 64-bit word of level k is full. The lowest empty
// slot is found by following the first clear bit from the single top word down,
// one word per level, so first-fit add never scans the list. Bits past the last
// slot (and past the last word of a level) are kept set, so they never look empty.
class CPDatabase::FreeSlots {
 public:
  // Every slot empty. Throws std::bad_alloc.
  explicit FreeSlots(std::int32_t capacity) { Build(nullptr, capacity); }
  // The occupancy of `from` for the first min(from, capacity) slots, the rest
  // empty. Throws std::bad_alloc.
  FreeSlots(const FreeSlots& from, std::int32_t capacity) { Build(&from, capacity); }

  // The lowest empty slot, or -1 when every slot is occupied.
  std::int32_t LowestFree() const {
    if (capacity_ == 0 || levels_.back()[0] == kFull) return -1;
    std::size_t at = static_cast<std::size_t>(std::countr_one(levels_.back()[0]));
    for (std::size_t level = levels_.size() - 1; level-- > 0;) {
      at = at * kBits + static_cast<std::size_t>(std::countr_one(levels_[level][at]));
    }
    return static_cast<std::int32_t>(at);
  }

  void SetOccupied(std::int32_t slot) {
    std::size_t at = static_cast<std::size_t>(slot);
    for (auto& level : levels_) {
      std::uint64_t& word = level[at / kBits];
      word |= std::uint64_t{1} << (at % kBits);
      if (word != kFull) return;
      at /= kBits;  // this word just became full: record it one level up
    }
  }

  void SetFree(std::int32_t slot) {
    std::size_t at = static_cast<std::size_t>(slot);
    for (auto& level : levels_) {
      std::uint64_t& word = level[at / kBits];
      const bool wasFull = word == kFull;
      word &= ~(std::uint64_t{1} << (at % kBits));
      if (!wasFull) return;
      at /= kBits;  // the word is no longer full: clear its summary bit too
    }
  }

  // No slots at all; allocates nothing.
  void Clear() {
    capacity_ = 0;
    levels_.clear();
  }

  // The slot of the n-th occupied slot (0-based), or -1 when there are fewer.
  // Counts whole words, so it costs capacity / 64 steps rather than capacity.
  std::int32_t NthOccupied(std::int32_t n) const {
    if (capacity_ == 0) return -1;
    const std::vector<std::uint64_t>& bits = levels_[0];
    std::uint64_t left = static_cast<std::uint64_t>(n);
    for (std::size_t w = 0; w < bits.size(); ++w) {
      std::uint64_t word = bits[w] & RealSlots(w);
      const auto here = static_cast<std::uint64_t>(std::popcount(word));
      if (left >= here) {
        left -= here;
        continue;
      }
      for (; left > 0; --left) word &= word - 1;  // drop the lower occupied slots
      return static_cast<std::int32_t>(w * kBits + static_cast<std::size_t>(std::countr_zero(word)));
    }
    return -1;
  }

 private:
  static constexpr std::size_t kBits = 64;
  static constexpr std::uint64_t kFull = ~std::uint64_t{0};

  // The bits of level-0 word `w` that stand for real slots.
  std::uint64_t RealSlots(std::size_t w) const {
    const std::size_t first = w * kBits;
    const auto cap = static_cast<std::size_t>(capacity_);
    if (cap >= first + kBits) return kFull;
    return (std::uint64_t{1} << (cap - first)) - 1;
  }

  void Build(const FreeSlots* from, std::int32_t capacity) {
    capacity_ = capacity;
    levels_.clear();
    if (capacity == 0) return;
    const auto cap = static_cast<std::size_t>(capacity);
    std::vector<std::uint64_t> base((cap + kBits - 1) / kBits, 0);
    if (from != nullptr && from->capacity_ > 0) {
      const std::vector<std::uint64_t>& old = from->levels_[0];
      const std::size_t keep = std::min(base.size(), old.size());
      for (std::size_t w = 0; w < keep; ++w) base[w] = old[w] & from->RealSlots(w);
    }
    const std::size_t tail = cap % kBits;
    if (tail != 0) base.back() |= kFull << tail;  // bits past the last slot
    levels_.push_back(std::move(base));
    while (levels_.back().size() > 1) {
      const std::vector<std::uint64_t>& below = levels_.back();
      std::vector<std::uint64_t> up((below.size() + kBits - 1) / kBits, 0);
      for (std::size_t w = 0; w < up.size() * kBits; ++w) {
        if (w >= below.size() || below[w] == kFull) up[w / kBits] |= std::uint64_t{1} << (w % kBits);
      }
      levels_.push_back(std::move(up));
    }
  }

  std::int32_t capacity_ = 0;
  std::vector<std::vector<std::uint64_t>> levels_;  // [0]: per slot; last: one word
};

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
    : syncType_(syncType), capabilities_(capabilityFlags), free_(std::make_unique<FreeSlots>(0)) {}

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
  const auto it = idSlots_.lower_bound({id, INT32_MIN});
  return it != idSlots_.end() && it->first == id ? it->second : -1;
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
  std::int32_t slot = free_->LowestFree();
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
  stored->SetIndex(slot);
  const Result placed = Occupy(slot, std::move(stored));
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
Result CPDatabase::GetApplicationData(std::uint8_t*, std::uint32_t&) { return kErrNotSupported; }
Result CPDatabase::ApplicationDataLength(std::uint32_t&) { return kErrNotSupported; }
Result CPDatabase::SetDatabaseInfo(const char*, std::uint16_t, std::uint32_t, std::uint32_t,
                                   std::uint16_t, std::uint32_t, std::uint32_t, std::uint32_t,
                                   std::uint32_t) {
  return kErrNotSupported;
}

Result CPDatabase::ListRecordIds(std::uint32_t* ids, std::int32_t& count) {
  std::int32_t needed = 0;
  const Result counted = RecordCount(needed);
  if (counted != kOk) return counted;
  if (count < needed) {
    count = needed;
    return kErrBufferTooSmall;
  }
  if (ids == nullptr) return kErrNullArgument;
  std::int32_t written = 0;
  for (std::int32_t slot = 0; slot < highWater_; ++slot) {
    if (!slots_[slot]) continue;
    // The manager's count may lag the list; never write past the caller's array.
    if (written == count) {
      count = storedCount_;
      return kErrBufferTooSmall;
    }
    ids[written++] = slots_[slot]->Id();
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
    std::set<std::pair<std::uint32_t, std::int32_t>> unplaced = idSlots_;
    std::int32_t placed = 0;
    for (std::int32_t i = 0; i < count; ++i) {
      if (ids[i] == kReorderEmptySlot) continue;
      const auto it = unplaced.lower_bound({ids[i], INT32_MIN});
      if (it == unplaced.end() || it->first != ids[i]) return kErrReorderUnknownId;
      arrangement[i] = slots_[it->second].get();
      unplaced.erase(it);
      ++placed;
    }
    if (placed != storedCount_) return kErrReorderCountMismatch;
    return Rearrange(arrangement, true);
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

void CPDatabase::DestroyAllRecords() {
  std::vector<std::unique_ptr<CPRecord>>().swap(slots_);
  idSlots_.clear();
  free_->Clear();
  storedCount_ = 0;
  highWater_ = 0;
}

Result CPDatabase::GrowSlots(std::int32_t capacity) {
  if (capacity < 0) return kErrOutOfMemory;
  if (capacity <= Capacity()) return kOk;  // never drops a slot, nor a record in it
  try {
    auto grown = std::make_unique<FreeSlots>(*free_, capacity);
    slots_.resize(static_cast<std::size_t>(capacity));
    free_ = std::move(grown);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

Result CPDatabase::AllocateSlots(std::int32_t capacity) {
  if (capacity < 0) return kErrOutOfMemory;
  try {
    auto empty = std::make_unique<FreeSlots>(capacity);
    std::vector<std::unique_ptr<CPRecord>> slots(static_cast<std::size_t>(capacity));
    DestroyAllRecords();
    slots_.swap(slots);
    free_ = std::move(empty);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  return kOk;
}

template <typename Arrange>
Result CPDatabase::SortWith(Arrange arrange) {
  std::int32_t count = 0;
  const Result counted = RecordCount(count);
  if (counted != kOk) return counted;
  if (count <= 0) return kOk;
  try {
    std::vector<CPRecord*> arrangement(slots_.size());
    for (std::size_t slot = 0; slot < slots_.size(); ++slot) arrangement[slot] = slots_[slot].get();
    arrange(arrangement, highWater_);
    return Rearrange(arrangement, false);
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
  if (n < 0) return kErrNoMatch;
  const CPRecord* stored = RecordAt(free_->NthOccupied(n));
  return stored != nullptr ? record.Assign(*stored) : kErrNoMatch;
}

Result CPDatabase::GetRecordByHandheldIndex(std::int32_t index, CPRecord& record) {
  for (std::int32_t slot = 0; slot < highWater_; ++slot) {
    const CPRecord* stored = slots_[slot].get();
    if (stored != nullptr && stored->HandheldIndex() == index) return record.Assign(*stored);
  }
  return kErrNoMatch;
}

Result CPDatabase::GetRecordByIdAndHandheldIndex(std::uint32_t id, std::int32_t index,
                                                 CPRecord& record) {
  for (auto it = idSlots_.lower_bound({id, INT32_MIN}); it != idSlots_.end() && it->first == id;
       ++it) {
    const CPRecord& stored = *slots_[it->second];
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

const CPRecord* CPDatabase::RecordAt(std::int32_t slot) const {
  if (slot < 0 || slot >= Capacity()) return nullptr;
  return slots_[slot].get();
}

CPRecord* CPDatabase::MutableRecordAt(std::int32_t slot) {
  if (slot < 0 || slot >= Capacity()) return nullptr;
  return slots_[slot].get();
}

Result CPDatabase::ScanNext(RecordFilter filter, CPRecord& record) {
  for (std::int32_t slot = std::max(position_, 0); slot < highWater_; ++slot) {
    const CPRecord* stored = slots_[slot].get();
    if (stored == nullptr) continue;
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
  position_ = std::max(position_, highWater_);
  return kErrNoMatch;
}

Result CPDatabase::PutRecordAt(std::int32_t slot, std::unique_ptr<CPRecord> record) {
  if (!record) return kErrNullArgument;
  if (slot < 0 || slot >= Capacity()) return kErrBadCategoryIndex;
  record->SetIndex(slot);
  if (slots_[slot]) {
    MoveIdEntry(slots_[slot]->Id(), record->Id(), slot);
    slots_[slot] = std::move(record);
    return kOk;
  }
  return Occupy(slot, std::move(record));
}

std::unique_ptr<CPRecord> CPDatabase::TakeRecordAt(std::int32_t slot) {
  if (MutableRecordAt(slot) == nullptr) return nullptr;
  idSlots_.erase({slots_[slot]->Id(), slot});
  free_->SetFree(slot);
  --storedCount_;
  return std::move(slots_[slot]);
}

void CPDatabase::SetCategoryTable(std::unique_ptr<CPCategoryTable> table) {
  categories_ = std::move(table);
}

Result CPDatabase::Occupy(std::int32_t slot, std::unique_ptr<CPRecord> record) {
  try {
    idSlots_.emplace(record->Id(), slot);
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  slots_[slot] = std::move(record);
  free_->SetOccupied(slot);
  ++storedCount_;
  if (slot >= highWater_) highWater_ = slot + 1;
  return kOk;
}

void CPDatabase::MoveIdEntry(std::uint32_t from, std::uint32_t to, std::int32_t slot) {
  if (from == to) return;
  // Re-keying the existing node allocates nothing, so this cannot fail half-way.
  auto node = idSlots_.extract({from, slot});
  node.value().first = to;
  idSlots_.insert(std::move(node));
}

Result CPDatabase::Rearrange(std::vector<CPRecord*>& arrangement, bool renumberAll) {
  const auto capacity = static_cast<std::int32_t>(arrangement.size());
  std::unique_ptr<FreeSlots> occupancy;
  std::set<std::pair<std::uint32_t, std::int32_t>> ids;
  std::vector<std::unique_ptr<CPRecord>> slots;
  try {
    occupancy = std::make_unique<FreeSlots>(capacity);
    slots.resize(arrangement.size());
    for (std::int32_t slot = 0; slot < capacity; ++slot) {
      if (arrangement[slot] == nullptr) continue;
      ids.emplace(arrangement[slot]->Id(), slot);
      occupancy->SetOccupied(slot);
    }
  } catch (const std::bad_alloc&) {
    return kErrOutOfMemory;
  }
  // Nothing below allocates. Ownership passes from the old array to the new one;
  // the arrangement names every stored record exactly once.
  std::int32_t highWater = highWater_;
  for (std::int32_t slot = 0; slot < capacity; ++slot) {
    CPRecord* record = arrangement[slot];
    if (record == nullptr) continue;
    if (renumberAll || RecordAt(slot) != record) record->SetIndex(slot);
    slots[slot].reset(record);
    highWater = std::max(highWater, slot + 1);
  }
  for (auto& old : slots_) static_cast<void>(old.release());
  slots_.swap(slots);
  free_ = std::move(occupancy);
  idSlots_.swap(ids);
  highWater_ = highWater;
  return kOk;
}

}  // namespace tallimor
