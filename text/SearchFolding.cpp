// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The search folding. Both entry points read characters one at a time and share one
// folding step; a voiced mark is joined to the letter before it, so a letter is held
// back until the character after it is known.
#include "text/SearchFolding.h"

#include <cstdint>
#include <iterator>

#include "text/CodePage932.h"

namespace tallimor {
namespace {

constexpr char32_t kVoicedMark = 0xFF9E;      // half-width ﾞ
constexpr char32_t kSemiVoicedMark = 0xFF9F;  // half-width ﾟ
constexpr char32_t kNothing = 0xFFFFFFFF;     // no character held back

// Half-width U+FF61-FF9D in full width, in code order: punctuation, then katakana.
constexpr char16_t kHalfWidthKana[] = {
    u'。', u'「', u'」', u'、', u'・', u'ヲ', u'ァ', u'ィ', u'ゥ', u'ェ', u'ォ', u'ャ', u'ュ',
    u'ョ', u'ッ', u'ー', u'ア', u'イ', u'ウ', u'エ', u'オ', u'カ', u'キ', u'ク', u'ケ', u'コ',
    u'サ', u'シ', u'ス', u'セ', u'ソ', u'タ', u'チ', u'ツ', u'テ', u'ト', u'ナ', u'ニ', u'ヌ',
    u'ネ', u'ノ', u'ハ', u'ヒ', u'フ', u'ヘ', u'ホ', u'マ', u'ミ', u'ム', u'メ', u'モ', u'ヤ',
    u'ユ', u'ヨ', u'ラ', u'リ', u'ル', u'レ', u'ロ', u'ワ', u'ン'};
static_assert(std::size(kHalfWidthKana) == 0xFF9D - 0xFF61 + 1);

// The katakana `letter` with the voiced (semi = false) or semi-voiced mark, or kNothing
// when the pair has no single character.
char32_t Voiced(char32_t letter, bool semi) {
  const bool kaToTo = (letter >= u'カ' && letter <= u'ヂ' && (letter - u'カ') % 2 == 0) ||
                      letter == u'ツ' || letter == u'テ' || letter == u'ト';
  const bool haRow = letter >= u'ハ' && letter <= u'ホ' && (letter - u'ハ') % 3 == 0;
  if (semi) return haRow ? letter + 2 : kNothing;
  if (kaToTo || haRow) return letter + 1;
  if (letter == u'ウ') return u'ヴ';
  if (letter == u'ワ') return u'ヷ';
  if (letter == u'ヲ') return u'ヺ';
  return kNothing;
}

// One character in its folded form, before voiced marks are joined.
char32_t FoldOne(char32_t c) {
  if (c >= 0xFF01 && c <= 0xFF5E) c = c - 0xFF01 + U'!';
  if (c >= U'A' && c <= U'Z') return c - U'A' + U'a';
  if (c == 0x3000) return U' ';
  if (c >= 0xFF61 && c <= 0xFF9D) return kHalfWidthKana[c - 0xFF61];
  return c;
}

void PutUtf8(std::string& out, char32_t c) {
  if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
  if (c < 0x80) {
    out += static_cast<char>(c);
    return;
  }
  const int extra = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
  out += static_cast<char>(((0xFF00u >> (extra + 1)) & 0xFF) | (c >> (6 * extra)));
  for (int shift = 6 * (extra - 1); shift >= 0; shift -= 6)
    out += static_cast<char>(0x80 | ((c >> shift) & 0x3F));
}

// Collects folded characters, holding the last one back for a voiced mark after it.
class Folder {
 public:
  explicit Folder(std::size_t sizeHint) { out_.reserve(sizeHint); }

  void Add(char32_t c) {
    if ((c == kVoicedMark || c == kSemiVoicedMark) && held_ != kNothing) {
      const char32_t joined = Voiced(held_, c == kSemiVoicedMark);
      if (joined != kNothing) {
        held_ = joined;
        return;
      }
    }
    Flush();
    // A mark that joins nothing stands as the full-width mark code page 932 stores.
    if (c == kVoicedMark) held_ = u'゛';
    else if (c == kSemiVoicedMark) held_ = u'゜';
    else held_ = FoldOne(c);
  }

  std::string Finish() {
    Flush();
    return std::move(out_);
  }

 private:
  void Flush() {
    if (held_ != kNothing) PutUtf8(out_, held_);
    held_ = kNothing;
  }

  std::string out_;
  char32_t held_ = kNothing;
};

}  // namespace

std::string SearchFolding::FoldUnicode(std::u32string_view text) {
  Folder folder(text.size());
  for (char32_t c : text) folder.Add(c);
  return folder.Finish();
}

std::string SearchFolding::FoldCp932(std::string_view bytes) {
  Folder folder(bytes.size() + bytes.size() / 2);
  for (std::size_t at = 0; at < bytes.size();) {
    char32_t c = 0;
    const std::size_t length = CodePage932::ReadCharacter(bytes, at, &c);
    if (length == 0) {
      ++at;  // no code: step over the byte
      continue;
    }
    folder.Add(c);
    at += length;
  }
  return folder.Finish();
}

}  // namespace tallimor
