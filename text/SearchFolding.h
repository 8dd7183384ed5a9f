// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// SearchFolding: brings a text to the one form in which the memo search compares, so
// that a plain substring search finds a memo however its letters were typed: Latin
// letters in lower case, full-width ASCII (U+FF01-FF5E) as ASCII, half-width katakana
// (U+FF61-FF9F) as full-width katakana with a following voiced or semi-voiced mark
// joined to its letter, and the ideographic space as a space. The folded text is
// UTF-8: unlike code page 932, no character's bytes can match inside another's.
#pragma once

#include <string>
#include <string_view>

namespace tallimor {

class SearchFolding {
 public:
  SearchFolding() = delete;

  // Folds Unicode text (what the user types into the find field).
  static std::string FoldUnicode(std::u32string_view text);

  // Folds code page 932 bytes (a memo as the store holds it). Bytes that are no code of
  // the code page are left out, so the rest of such a memo can still be found.
  static std::string FoldCp932(std::string_view bytes);
};

}  // namespace tallimor
