// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The one look-up from codes to texts that every layer's table goes through, and the
// shared codes' texts that logs and command-line messages print word for word.
#include "store/CodeMeaning.h"

#include <gtest/gtest.h>

#include <string>

#include "store/ResultCodes.h"

namespace tallimor {
namespace {

TEST(CodeMeaningLookup, FindsTheRowOfACodeOrFallsBack) {
  constexpr CodeMeaning table[] = {{-1, "minus one"}, {0, "zero"}, {7, "seven"}, {7, "shadowed"}};
  EXPECT_STREQ(FindCodeMeaning(table, 0, "none"), "zero");
  EXPECT_STREQ(FindCodeMeaning(table, -1, "none"), "minus one");
  EXPECT_STREQ(FindCodeMeaning(table, 7, "none"), "seven");  // the first row wins
  EXPECT_STREQ(FindCodeMeaning(table, 8, "none"), "none");
  EXPECT_EQ(FindCodeMeaning({}, 0, nullptr), nullptr);
}

TEST(CodeMeaningLookup, SharedResultsKeepTheirTexts) {
  EXPECT_STREQ(ResultMeaning(kOk), "success");
  EXPECT_STREQ(ResultMeaning(kErrCategoryTableShort), "app info data shorter than the 276-byte category table");
  EXPECT_STREQ(ResultMeaning(kErrFileChanged),
               "the file was changed by another program since it was read; it was not written over");
  EXPECT_STREQ(ResultMeaning(kErrMassDeleteRefused),
               "the HotSync would delete many memos only because the other side lacks them; nothing was changed");
  // Sync Manager results are not the store's: they read as unknown here.
  EXPECT_STREQ(ResultMeaning(0x4003), "unknown result");
  for (Result code = kErrBufferTooSmall; code <= kErrReorderCountMismatch; ++code) {
    if (code == 4358 || code == 4362) continue;  // never given out
    EXPECT_NE(std::string(ResultMeaning(code)), "unknown result") << code;
  }
}

}  // namespace
}  // namespace tallimor
