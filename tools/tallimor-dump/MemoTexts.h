// The memo texts that tallimor-dump shows with --password: the password is checked
// against the digest in the file's application information as the desktop program
// checks it, each record is deciphered (when the file is protected) and its memo, up
// to the first NUL, is turned from code page 932 into UTF-8.
#pragma once

#include <cstddef>

#include "tools/tallimor-dump/DumpedFile.h"

namespace tallimor {

enum class MemoTextsResult {
  kProtected,       // the password matched; file.texts holds the deciphered memos
  kNotProtected,    // the file has no password; file.texts holds the memos as stored
  kWrongPassword,   // nothing filled in
  kNoPasswordInfo,  // no application information was read, so nothing can be checked
};

// Checks `password` (code page 932 bytes before its NUL) and fills `file.texts` (one
// entry per record, in file order) and `file.hasTexts`. A memo byte that is not code
// page 932 shows as \xHH (text/ShownText.h); `undecodable` counts the memos where
// that happened. Only copies of record data are deciphered; the records stay as read.
MemoTextsResult FillMemoTexts(const char* password, DumpedFile& file, std::size_t* undecodable);

}  // namespace tallimor
