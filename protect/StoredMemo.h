// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The stored memo form: how a memo's text lies in a record's data between a load and a
// save (the text with LF line ends, one NUL, zero filler up to a multiple of 8 bytes, so
// that the cipher covers every text byte), and the line-end conversions between that form
// and the CR LF of the edit controls and the clipboard. The memo edit dialog and paste
// both store memos through here; the text is code page 932 bytes throughout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "store/ResultCodes.h"

namespace tallimor {

class CPRecord;

// The most data one record can carry in the record file.
inline constexpr std::size_t kMaxStoredMemoBytes = 65480;
// The longest memo text (bytes, without its NUL) whose stored form still fits a record.
inline constexpr std::size_t kMaxStoredMemoText = kMaxStoredMemoBytes - 1;
// The longest piece of pasted text that becomes one memo.
inline constexpr std::size_t kMaxPastedMemoBytes = 32767;

// Bytes that the stored form of a text of `textLength` bytes takes: textLength + 1
// rounded up to a multiple of 8 (0 bytes take 8, 7 take 8, 8 take 16).
std::size_t StoredMemoLength(std::size_t textLength);

// The stored form of `text`: its bytes up to its first NUL (or all of them), one NUL,
// then zero bytes up to StoredMemoLength().
std::vector<std::uint8_t> MakeStoredMemo(std::string_view text);

// Replaces the record's data by the stored form of `text`. kErrTooLong when the text
// (up to its first NUL) is longer than kMaxStoredMemoText (the record is unchanged);
// kErrOutOfMemory as CPRecord::SetData.
Result StoreMemo(CPRecord& record, std::string_view text);

// The memo text held in `length` bytes of record data: the bytes before the first NUL,
// or all of them when there is none (a reader never runs past the data).
std::string_view StoredMemoText(const std::uint8_t* data, std::size_t length);
// The same over a record's own data. The view lives as long as the record's data.
std::string_view StoredMemoText(const CPRecord& record);

// Every LF becomes CR LF, for the edit controls and the clipboard.
std::string LfToCrLf(std::string_view text);
// Every CR LF becomes LF, for storing; a CR on its own stays as it is.
std::string CrLfToLf(std::string_view text);

// Cuts `text` into consecutive pieces of at most `maxBytes` bytes (a limit below 2
// counts as 2), each ending on a character boundary of code page 932, so no double-byte
// character is torn in two. An empty text gives no piece. The views point into `text`.
std::vector<std::string_view> SplitMemoPieces(std::string_view text,
                                              std::size_t maxBytes = kMaxPastedMemoBytes);

}  // namespace tallimor
