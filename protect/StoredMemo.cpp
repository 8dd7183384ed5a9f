// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The stored memo form and its line-end conversions. CR and LF are single bytes that
// never occur inside a double-byte character of code page 932 (trail bytes start at
// 0x40), so the conversions work on the bytes without decoding them, and equally on
// UTF-8 text.
#include "protect/StoredMemo.h"

#include <algorithm>

#include "store/CPRecord.h"
#include "store/Cp932Bytes.h"

namespace tallimor {

namespace {

// The text as far as a C reader of the stored form would see it.
std::string_view UpToNul(std::string_view text) {
  const std::size_t nul = text.find('\0');
  return nul == std::string_view::npos ? text : text.substr(0, nul);
}

}  // namespace

std::size_t StoredMemoLength(std::size_t textLength) {
  return (textLength + 1 + 7) & ~static_cast<std::size_t>(7);
}

std::vector<std::uint8_t> MakeStoredMemo(std::string_view text) {
  const std::string_view body = UpToNul(text);
  // Value-initialised: the NUL and the filler are zero bytes.
  std::vector<std::uint8_t> stored(StoredMemoLength(body.size()));
  std::copy(body.begin(), body.end(), stored.begin());
  return stored;
}

Result StoreMemo(CPRecord& record, std::string_view text) {
  if (UpToNul(text).size() > kMaxStoredMemoText) return kErrTooLong;
  const std::vector<std::uint8_t> stored = MakeStoredMemo(text);
  return record.SetData(static_cast<std::uint32_t>(stored.size()), stored.data());
}

std::string_view StoredMemoText(const std::uint8_t* data, std::size_t length) {
  if (data == nullptr || length == 0) return {};
  return UpToNul(std::string_view(reinterpret_cast<const char*>(data), length));
}

std::string_view StoredMemoText(const CPRecord& record) {
  return StoredMemoText(record.Data(), record.DataLength());
}

std::string LfToCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')));
  for (const char c : text) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::string CrLfToLf(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

std::vector<std::string_view> SplitMemoPieces(std::string_view text, std::size_t maxBytes) {
  const std::size_t limit = std::max<std::size_t>(maxBytes, 2);
  std::vector<std::string_view> pieces;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    // A lead byte with a byte after it is one two-byte character; a lead byte at the
    // very end stands alone.
    const bool pair = IsCp932LeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size();
    const std::size_t width = pair ? 2 : 1;
    if (i + width - start > limit) {
      pieces.push_back(text.substr(start, i - start));
      start = i;
    }
    i += width;
  }
  if (start < text.size()) pieces.push_back(text.substr(start));
  return pieces;
}

}  // namespace tallimor
