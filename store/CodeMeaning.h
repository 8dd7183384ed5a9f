// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The one look-up from numeric codes to their text. Each layer that names codes of
// its own (the shared results, the Sync Manager, the users library, the window-message
// transport, the HotSync log's activities) keeps only a table of CodeMeaning rows, one
// row a line in code order, and finds a text with FindCodeMeaning.
#pragma once

#include <cstdint>
#include <span>

namespace tallimor {

struct CodeMeaning {
  std::int32_t code;
  const char* text;
};

// The text of the first row of `table` with `code`, or `otherwise` when none has it.
const char* FindCodeMeaning(std::span<const CodeMeaning> table, std::int32_t code, const char* otherwise);

}  // namespace tallimor
