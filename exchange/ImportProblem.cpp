// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// English meanings of the import faults, one row a fault.
#include "exchange/ImportProblem.h"

namespace tallimor {

const char* ImportFaultMeaning(ImportFault fault) {
  switch (fault) {
    case ImportFault::kNone: return "no fault";
    case ImportFault::kFileTooLarge: return "the file is larger than an import reads";
    case ImportFault::kTooManyMemos: return "the file holds more memos than a database can";
    case ImportFault::kCsvNoHeader: return "the first row does not name the columns category, text and private";
    case ImportFault::kCsvBadQuote: return "a quote stands where CSV allows none";
    case ImportFault::kCsvUnclosedQuote: return "the file ends inside a quoted field";
    case ImportFault::kCsvFieldCount: return "the row has another number of fields than the header";
    case ImportFault::kCsvBadPrivate: return "the private field is not true or false";
    case ImportFault::kTextNoHeader: return "the file does not start with a memo header line (\"%% \")";
    case ImportFault::kNotUtf8: return "the text is not UTF-8";
    case ImportFault::kTextUnrepresentable: return "the text holds a character code page 932 cannot hold";
    case ImportFault::kCategoryUnrepresentable:
      return "the category name holds a character code page 932 cannot hold";
    case ImportFault::kCategoryTooLong: return "the category name is longer than 15 bytes";
    case ImportFault::kTextHasNul: return "the text holds a NUL character";
    case ImportFault::kMemoTooLong: return "the memo is longer than a record holds";
  }
  return "unknown fault";
}

}  // namespace tallimor
