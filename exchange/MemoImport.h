// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Importing exchange memos into a store, all or nothing. Prepare checks every memo
// first (code page 932 can hold its text and category name, it fits a record) and
// reports the first that cannot be stored by its number in the file; only a set that
// passes reaches Apply, which adds the memos as new ones, so that they reach the
// handheld at the next HotSync. A category is found by name, made when the table has
// room, and otherwise the memo is filed as Unfiled.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "exchange/ExchangeMemo.h"
#include "exchange/ImportProblem.h"
#include "store/ResultCodes.h"

namespace tallimor {

class CPRecordFile;

struct ImportCounts {
  std::size_t memos = 0;              // memos added
  std::size_t categoriesAdded = 0;    // categories made for them
  std::size_t filedAsUnfiled = 0;     // memos whose category found no room
};

class MemoImport {
 public:
  // A memo ready for the store: code page 932 bytes.
  struct Prepared {
    std::string category;  // empty for Unfiled
    std::string text;
    bool isPrivate = false;
  };

  // Converts and checks every memo. False with *problem naming the first memo that
  // cannot be stored (1-based) and why; nothing is kept then.
  bool Prepare(const std::vector<ExchangeMemo>& memos, ImportProblem* problem);

  // The memos Prepare accepted.
  const std::vector<Prepared>& memos() const { return prepared_; }

  // Adds the prepared memos to `store` (its categories first). On an error (out of
  // memory) every memo and category added so far is taken out again and the store's
  // dirty flag is as it was. Returns kOk with *counts, or the error.
  Result Apply(CPRecordFile& store, ImportCounts* counts) const;

 private:
  std::vector<Prepared> prepared_;
};

}  // namespace tallimor
