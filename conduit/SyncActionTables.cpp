// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The action tables of the synchronizer, written as the grids they are read from:
// one line per row (a remote state, or the single row of a one-state table), one
// column per counterpart state. The grids are turned into (key, action) entries at
// compile time, row by row and column by column, leaving out the cells marked "-"
// (pairs that never occur without a comparison bit).
#include "conduit/SyncActionTables.h"

#include <array>

namespace tallimor {
namespace {

// The states under their table names.
constexpr std::uint32_t D = kStateDeleted;
constexpr std::uint32_t A = kStateArchived;
constexpr std::uint32_t M = kStateModified;
constexpr std::uint32_t N = kStateNew;
constexpr std::uint32_t U = kStateUnchanged;
constexpr std::uint32_t X = kStateMissing;

// The actions under their table names: dL, aL, dR, aR; addR is "L>R" (add the
// desktop record to the handheld), addL "R>L", setL "R=>L" (replace the desktop
// record), setR "L=>R"; c100 to c800 and dup the conflict operations; dRq the quiet
// handheld delete; log the modified-and-deleted message; none; O the key with no
// action bit ("0"); and "-", a cell that is no key at all.
constexpr std::uint32_t dL = kActionDeleteLocal;
constexpr std::uint32_t aL = kActionArchiveLocal;
constexpr std::uint32_t dR = kActionDeleteRemote;
constexpr std::uint32_t aR = kActionArchiveRemote;
constexpr std::uint32_t addR = kActionAddToRemote;
constexpr std::uint32_t addL = kActionAddToLocal;
constexpr std::uint32_t setL = kActionReplaceLocal;
constexpr std::uint32_t setR = kActionReplaceRemote;
constexpr std::uint32_t c100 = kActionConflictEither;
constexpr std::uint32_t c200 = kActionConflictArchivedModified;
constexpr std::uint32_t c400 = kActionConflictModifiedArchived;
constexpr std::uint32_t c800 = kActionConflictBothArchived;
constexpr std::uint32_t dup = kActionDuplicatePair;
constexpr std::uint32_t dRq = kActionQuietRemoteDelete;
constexpr std::uint32_t log = kActionLogModifiedDeleted;
constexpr std::uint32_t none = kActionNone;
constexpr std::uint32_t O = 0;
constexpr std::uint32_t kNoKey = 0xFFFFFFFFu;
constexpr std::uint32_t _ = kNoKey;  // "-"

template <std::size_t Columns>
struct Row {
  std::uint32_t state;                   // the remote state; 0 in a one-state table
  std::uint32_t actions[Columns];
};

// A printed table: its column states, its rows, where a column state goes in the
// key, and the comparison bit its keys carry.
template <std::size_t Rows, std::size_t Columns>
struct Grid {
  std::uint32_t columns[Columns];
  Row<Columns> rows[Rows];
  int columnShift = 0;
  std::uint32_t comparison = 0;
};

template <std::size_t Rows, std::size_t Columns>
constexpr std::size_t KeyCount(const Grid<Rows, Columns>& grid) {
  std::size_t count = 0;
  for (const auto& row : grid.rows) {
    for (std::uint32_t action : row.actions) count += action != kNoKey ? 1 : 0;
  }
  return count;
}

template <std::size_t Count, std::size_t Rows, std::size_t Columns>
constexpr std::array<SyncActionEntry, Count> Entries(const Grid<Rows, Columns>& grid) {
  std::array<SyncActionEntry, Count> entries{};
  std::size_t next = 0;
  for (const auto& row : grid.rows) {
    for (std::size_t c = 0; c < Columns; ++c) {
      if (row.actions[c] == kNoKey) continue;
      const std::uint32_t key =
          (row.state << kRemoteStateShift) | (grid.columns[c] << grid.columnShift) | grid.comparison;
      entries[next++] = SyncActionEntry{key, row.actions[c]};
    }
  }
  return entries;
}

template <std::size_t First, std::size_t... More>
constexpr auto Concatenate(const std::array<SyncActionEntry, First>& first,
                           const std::array<SyncActionEntry, More>&... more) {
  std::array<SyncActionEntry, (First + ... + More)> all{};
  std::size_t next = 0;
  for (const auto& entry : first) all[next++] = entry;
  ((void)[&] {
    for (const auto& entry : more) all[next++] = entry;
  }(), ...);
  return all;
}

// ---------------------------------------------------------------- fast synchronization

constexpr Grid<10, 8> kFastGrid{
    // Remote \ local:   X      U        D        A        M           A+M      D+M      N
    {X, U, D, A, M, A | M, D | M, N},
    {{D,         {dR,    dL | dR, dL | dR, aL | dR, setR | log, aL | dR, dL | dR, none}},
     {D | M,     {dR,    dL | dR, dL | dR, aL | dR, setR | log, aL | dR, dL | dR, none}},
     {A,         {aR,    dL | aR, dL | aR, dL | aR, setR | log, aL | dR, dL | aR, none}},
     {A | M,     {aR,    dL | aR, dL | aR, dL | aR, c200,       c800,    dL | aR, none}},
     {M,         {addL,  setL,    setL | log, setL | log, c100, c400,    setL | log, none}},
     {U,         {none,  none,    dL | dR, aL | dR, setR,       aL | dR, dL | dR, setR}},
     {X,         {none,  none,    dL,      aL,      addR,       aL,      dL,      addR}},
     {N,         {addL,  setL,    setL | log, setL | log, c100, setL | log, setL | log, none}},
     {D | A,     {aR,    dL | aR, dL | aR, dL | aR, c200,       c800,    dL | aR, none}},
     {D | A | M, {aR,    dL | aR, dL | aR, dL | aR, c200,       c800,    dL | aR, none}}},
};

// ---------------------------------------------------------------- slow synchronization

// Keys without a comparison bit: the handheld record is deleted, or has no
// desktop counterpart.
constexpr Grid<10, 8> kSlowUncomparedGrid{
    // Remote \ local:   X      U        D        A        M           A+M      D+M      N
    {X, U, D, A, M, A | M, D | M, N},
    {{D,         {dR,    dL | dR, dL | dR, aL | dR, setR | log, aL | dR, dL | dR, none}},
     {D | M,     {dR,    dL | dR, dL | dR, aL | dR, setR | log, aL | dR, dL | dR, none}},
     {A,         {aR,    _,       _,       _,       _,          _,       _,       _}},
     {A | M,     {aR,    _,       _,       _,       _,          _,       _,       _}},
     {M,         {addL,  _,       _,       _,       _,          _,       _,       _}},
     {U,         {addL,  _,       _,       _,       _,          _,       _,       _}},
     {X,         {none,  addR,    dL,      aL,      addR,       aL,      dL,      addR}},
     {N,         {addL,  _,       _,       _,       _,          _,       _,       _}},
     {D | A,     {aR,    _,       _,       _,       _,          _,       _,       _}},
     {D | A | M, {aR,    _,       _,       _,       _,          _,       _,       _}}},
};

// Keys with 0x10000000: the two records differ.
constexpr Grid<7, 7> kSlowDifferGrid{
    // Remote \ local:   U        D        A           M           A+M      D+M      N
    {U, D, A, M, A | M, D | M, N},
    {{A,         {dL | aR, dL | aR, aL | aR,    setR,       aL | aR, dL | aR, none}},
     {A | M,     {dL | aR, dL | aR, aL | aR,    dup | log,  aL | aR, dL | aR, none}},
     {M,         {setL,    setL,    setL | log, dup,        dup,     setL,    none}},
     {U,         {dup,     dL | dR, aL | dR,    setR,       aL | dR, dL | dR, dup}},
     {N,         {none,    none,    none,       none,       none,    none,    none}},
     {D | A,     {dL | aR, dL | aR, aL | aR,    setR,       aL | aR, dL | aR, none}},
     {D | A | M, {dL | aR, dL | aR, aL | aR,    dup | log,  aL | aR, dL | aR, none}}},
    0,
    kKeyRecordsDiffer,
};

// Keys with 0x20000000: the two records are equal.
constexpr Grid<7, 7> kSlowEqualGrid{
    // Remote \ local:   U        D        A        M        A+M      D+M      N
    {U, D, A, M, A | M, D | M, N},
    {{A,         {dL | aR, dL | aR, dL | aR, dL | aR, dL | aR, dL | aR, none}},
     {A | M,     {dL | aR, dL | aR, dL | aR, dL | aR, dL | aR, dL | aR, none}},
     {M,         {O,       dL | dR, aL | dR, O,       aL | dR, dL | dR, none}},
     {U,         {O,       dL | dR, aL | dR, O,       aL | dR, dL | dR, O}},
     {N,         {none,    none,    none,    none,    none,    none,    none}},
     {D | A,     {dL | aR, dL | aR, dL | aR, dL | aR, dL | aR, dL | aR, none}},
     {D | A | M, {dL | aR, dL | aR, dL | aR, dL | aR, dL | aR, dL | aR, none}}},
    0,
    kKeyRecordsEqual,
};

// ---------------------------------------------------------------- desktop records alone

constexpr Grid<1, 15> kFastLocalGrid{
    {X, U, D, A, M, A | M, D | M, N, N | M, N | A, N | A | M, N | D, N | D | M, D | A, D | A | M},
    // Status:  X     U     D         A         M     A+M       D+M       N     N+M   N+A       N+A+M     N+D       N+D+M     D+A       D+A+M
    {{0,       {none, none, dL | dRq, aL | dRq, setR, aL | dRq, dL | dRq, addR, addR, aL | dRq, aL | dRq, dL | dRq, dL | dRq, aL | dRq, aL | dRq}}},
};

constexpr Grid<1, 15> kSlowLocalGrid{
    {X, U, D, A, M, A | M, D | M, N, N | M, N | A, N | A | M, N | D, N | D | M, D | A, D | A | M},
    // Status:  X     U   D   A   M     A+M D+M N     N+M   N+A N+A+M N+D N+D+M D+A D+A+M
    {{0,       {none, dL, dL, aL, addR, aL, dL, addR, addR, aL, aL,   dL, dL,   aL, aL}}},
};

// ---------------------------------------------------------------- overwriting one side

constexpr Grid<1, 14> kOverwriteHandheldGrid{
    {U, D, A, M, A | M, D | M, N, N | M, N | A, N | A | M, N | D, N | D | M, D | A, D | A | M},
    // Status:  U     D   A   M     A+M D+M N     N+M   N+A N+A+M N+D N+D+M D+A D+A+M
    {{0,       {addR, dL, aL, addR, aL, dL, addR, addR, aL, aL,   dL, dL,   aL, aL}}},
};

constexpr Grid<1, 8> kOverwriteDesktopGrid{
    {U, D, A, M, A | M, D | M, D | A, D | A | M},
    // Status:  U     D  A   M     A+M D+M D+A D+A+M
    {{0,       {addL, O, aR, addL, aR, O,  aR, aR}}},
    kRemoteStateShift,
};

constexpr auto kFastEntries = Entries<KeyCount(kFastGrid)>(kFastGrid);
constexpr auto kSlowEntries =
    Concatenate(Entries<KeyCount(kSlowUncomparedGrid)>(kSlowUncomparedGrid),
                Entries<KeyCount(kSlowDifferGrid)>(kSlowDifferGrid),
                Entries<KeyCount(kSlowEqualGrid)>(kSlowEqualGrid));
constexpr auto kFastLocalEntries = Entries<KeyCount(kFastLocalGrid)>(kFastLocalGrid);
constexpr auto kSlowLocalEntries = Entries<KeyCount(kSlowLocalGrid)>(kSlowLocalGrid);
constexpr auto kOverwriteHandheldEntries = Entries<KeyCount(kOverwriteHandheldGrid)>(kOverwriteHandheldGrid);
constexpr auto kOverwriteDesktopEntries = Entries<KeyCount(kOverwriteDesktopGrid)>(kOverwriteDesktopGrid);

static_assert(kFastEntries.size() == 80);
static_assert(kSlowEntries.size() == 31 + 49 + 49);
static_assert(kFastLocalEntries.size() == 15);
static_assert(kSlowLocalEntries.size() == 15);
static_assert(kOverwriteHandheldEntries.size() == 14);
static_assert(kOverwriteDesktopEntries.size() == 8);

}  // namespace

std::uint32_t SyncActionTable::Lookup(std::uint32_t key) const {
  for (std::size_t i = 0; i < size; ++i) {
    if (entries[i].key == key) return entries[i].action;
  }
  return 0;
}

const SyncActionTable kFastActions{kFastEntries.data(), kFastEntries.size()};
const SyncActionTable kSlowActions{kSlowEntries.data(), kSlowEntries.size()};
const SyncActionTable kFastLocalActions{kFastLocalEntries.data(), kFastLocalEntries.size()};
const SyncActionTable kSlowLocalActions{kSlowLocalEntries.data(), kSlowLocalEntries.size()};
const SyncActionTable kOverwriteHandheldActions{kOverwriteHandheldEntries.data(),
                                                kOverwriteHandheldEntries.size()};
const SyncActionTable kOverwriteDesktopActions{kOverwriteDesktopEntries.data(),
                                               kOverwriteDesktopEntries.size()};

}  // namespace tallimor
