// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Why an import file was refused, and where: the readers and the import's own checks
// stop at the first fault and report it here, before anything reaches the store. The
// desktop program shows each fault in Japanese from its string table; the English
// meanings are for logs and tests.
#pragma once

#include <cstddef>

namespace tallimor {

// The largest import file read, and the most memos one import adds (a handheld
// database holds at most 65,535 records).
inline constexpr std::size_t kMaxImportFileBytes = 64u * 1024u * 1024u;
inline constexpr std::size_t kMaxImportedMemos = 65535;

enum class ImportFault {
  kNone = 0,
  kFileTooLarge,             // above kMaxImportFileBytes
  kTooManyMemos,             // above kMaxImportedMemos
  kCsvNoHeader,              // no header row naming category, text and private
  kCsvBadQuote,              // a quote inside an unquoted field, or text after a closing quote
  kCsvUnclosedQuote,         // the file ends inside a quoted field
  kCsvFieldCount,            // a row with another number of fields than the header
  kCsvBadPrivate,            // a private field that is not true, false, 1, 0 or empty
  kTextNoHeader,             // text before the first memo header line
  kNotUtf8,                  // text that is not UTF-8
  kTextUnrepresentable,      // a character code page 932 cannot hold
  kCategoryUnrepresentable,  // the same in the category name
  kCategoryTooLong,          // a category name above 15 bytes in code page 932
  kTextHasNul,               // a NUL character, which would cut the memo short
  kMemoTooLong,              // above the longest memo a record holds
};

struct ImportProblem {
  ImportFault fault = ImportFault::kNone;
  std::size_t memo = 0;       // 1-based number of the memo in the file; 0 for the file itself
  std::size_t line = 0;       // 1-based line of the file where the fault is; 0 when not known
  char32_t character = 0;     // the character, for kTextUnrepresentable and kCategoryUnrepresentable
};

// Plain English for a fault.
const char* ImportFaultMeaning(ImportFault fault);

}  // namespace tallimor
