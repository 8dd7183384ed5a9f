// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The memo texts of a file opened read-only (tallimor-dump --password, the desktop
// program's backup window): the password is checked against the digest in the file's
// application information as the desktop program's store checks it, each record is deciphered (when the file is protected) and its memo, up
// to the first NUL, is turned from code page 932 into UTF-8.
//
// A file without application information (an archive, .ARC, holds none) carries no
// digest. It is checked against the user's record.dat when that stands beside it, as
// archives do in the user's directory; otherwise the password is taken when its key
// deciphers every memo to valid text, and the caller says so.
#pragma once

#include <cstddef>
#include <string>

#include "exchange/MemoFile.h"

namespace tallimor {

enum class MemoTextsResult {
  kProtected,          // the password matched; file.texts holds the deciphered memos
  kNotProtected,       // the file has no password; file.texts holds the memos as stored
  kWrongPassword,      // nothing filled in
  kNoPasswordInfo,     // no digest anywhere, and the key deciphers no memo set to text
  kCheckedBeside,      // no digest in the file: checked against record.dat beside it
  kNotProtectedBeside, // no digest in the file, and record.dat beside it has no password
  kDecipheredToText,   // no digest anywhere: the key deciphers every memo to valid text
  kStoredAsText,       // no digest anywhere: the memos as stored are valid text
};

// Checks `password` (code page 932 bytes before its NUL) and fills `file.texts` and
// `file.memos` (one entry per record, in file order) and `file.hasTexts`. `path` is the
// file's own path, where record.dat is looked for beside a file without a digest. In
// `file.texts` a memo byte that is not code page 932 shows as \xHH (text/ShownText.h);
// `undecodable` counts the memos where that happened. `file.memos` keeps the bytes,
// from which the exports make their own text. Only copies of record data are deciphered; the records
// stay as read.
MemoTextsResult FillMemoTexts(const char* password, const std::string& path, MemoFile& file,
                              std::size_t* undecodable);

// True when `data` is a memo in the stored form: its first NUL lies in its last 8 bytes
// (anywhere, when its length is no multiple of 8), and the text before it is code page
// 932 without control characters other than tab, LF and CR. Empty data counts as a memo.
bool LooksLikeStoredMemo(const std::uint8_t* data, std::size_t length);

}  // namespace tallimor
