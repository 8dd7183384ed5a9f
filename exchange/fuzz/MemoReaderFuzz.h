// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The property both memo reader fuzz targets check: any bytes read or are refused with a
// fault (and no memo), never crash; whatever reads writes out and reads back the same
// memos, and the import's checks name a memo of the file when they refuse one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>
#include <vector>

#include "exchange/ExchangeMemo.h"
#include "exchange/ImportProblem.h"
#include "exchange/MemoImport.h"

namespace tallimor {

template <typename Reader, typename Writer>
int FuzzMemoReader(const std::uint8_t* data, std::size_t size, Reader read, Writer write) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::vector<ExchangeMemo> memos;
  ImportProblem problem;
  if (!read(bytes, &memos, &problem)) {
    if (problem.fault == ImportFault::kNone || !memos.empty()) std::abort();
    return 0;
  }
  std::ostringstream out;
  write(memos, out);
  std::vector<ExchangeMemo> again;
  if (!read(out.str(), &again, &problem) || again.size() != memos.size()) std::abort();
  for (std::size_t i = 0; i < memos.size(); ++i) {
    if (again[i].text != memos[i].text || again[i].category != memos[i].category ||
        again[i].isPrivate != memos[i].isPrivate) {
      std::abort();
    }
  }
  MemoImport import;
  if (!import.Prepare(memos, &problem) && (problem.memo == 0 || problem.memo > memos.size())) std::abort();
  return 0;
}

}  // namespace tallimor
