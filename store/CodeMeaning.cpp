// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a code's text in a layer's table; the tables are short, so a walk in
// table order is all it takes.
#include "store/CodeMeaning.h"

namespace tallimor {

const char* FindCodeMeaning(std::span<const CodeMeaning> table, std::int32_t code, const char* otherwise) {
  for (const CodeMeaning& row : table) {
    if (row.code == code) return row.text;
  }
  return otherwise;
}

}  // namespace tallimor
