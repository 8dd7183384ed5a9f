// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of CodePage932: every byte sequence of one and two bytes and every Unicode
// character against glibc's iconv "CP932" at test time, then the errors (kind and
// offset) that callers report, and the characters with more than one code.
#include "text/CodePage932.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <optional>
#include <string>

namespace tallimor {
namespace {

// iconv as the reference. Decoding answers the characters, or nothing with the errno.
class Iconv {
 public:
  Iconv()
      : decoder_(iconv_open("UTF-32LE", "CP932")), encoder_(iconv_open("CP932", "UTF-32LE")) {}
  ~Iconv() {
    iconv_close(decoder_);
    iconv_close(encoder_);
  }
  bool Available() const {
    return decoder_ != reinterpret_cast<iconv_t>(-1) && encoder_ != reinterpret_cast<iconv_t>(-1);
  }

  std::optional<std::u32string> Decode(const std::string& bytes, int* error = nullptr) {
    std::string out;
    if (!Run(decoder_, bytes, out, error)) return std::nullopt;
    std::u32string characters;
    for (std::size_t i = 0; i + 4 <= out.size(); i += 4) {
      char32_t c = 0;
      for (int b = 3; b >= 0; --b) c = c << 8 | static_cast<unsigned char>(out[i + b]);
      characters += c;
    }
    return characters;
  }

  // The bytes for one character; nullopt when iconv refuses it.
  std::optional<std::string> Encode(char32_t c) {
    std::string in(4, '\0');
    for (int b = 0; b < 4; ++b) in[b] = static_cast<char>(c >> (8 * b));
    std::string out;
    if (!Run(encoder_, in, out, nullptr)) return std::nullopt;
    return out;
  }

 private:
  static bool Run(iconv_t cd, const std::string& in, std::string& out, int* error) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char buffer[64];
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) {
      if (error != nullptr) *error = errno;
      return false;
    }
    out.assign(buffer, outPtr);
    return true;
  }

  iconv_t decoder_;
  iconv_t encoder_;
};

std::u32string ToUtf32(const std::u16string& text) {
  std::u32string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    out += c;
  }
  return out;
}

std::string Utf8Of(char32_t c) {
  std::string out;
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
  } else if (c < 0x10000) {
    out += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
            static_cast<char>(0x80 | (c & 0x3F))};
  } else {
    out += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
            static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
  }
  return out;
}

TEST(CodePage932Iconv, EveryOneAndTwoByteSequenceDecodesAsIconvDoes) {
  Iconv iconv;
  ASSERT_TRUE(iconv.Available());
  std::size_t decoded = 0;
  auto check = [&](const std::string& bytes) {
    const auto expected = iconv.Decode(bytes);
    const auto utf16 = CodePage932::ToUtf16(bytes);
    const auto utf8 = CodePage932::ToUtf8(bytes);
    ASSERT_EQ(utf16.ok(), expected.has_value())
        << std::hex << static_cast<unsigned>(static_cast<unsigned char>(bytes[0])) << " "
        << (bytes.size() > 1 ? static_cast<unsigned>(static_cast<unsigned char>(bytes[1])) : 0u);
    ASSERT_EQ(utf8.ok(), utf16.ok());
    if (!expected) return;
    ++decoded;
    ASSERT_EQ(ToUtf32(utf16.text), *expected);
    std::string utf8Expected;
    for (char32_t c : *expected) utf8Expected += Utf8Of(c);
    ASSERT_EQ(utf8.text, utf8Expected);
  };
  for (int first = 0; first < 256; ++first) {
    check(std::string(1, static_cast<char>(first)));
    if (first < 0x80) continue;  // two ASCII bytes add nothing
    for (int second = 0; second < 256; ++second) {
      check(std::string{static_cast<char>(first), static_cast<char>(second)});
    }
  }
  EXPECT_GT(decoded, 9000u);  // the double-byte part of the code page was reached
}

TEST(CodePage932Iconv, EveryUnicodeCharacterEncodesAsIconvDoes) {
  Iconv iconv;
  ASSERT_TRUE(iconv.Available());
  std::size_t encoded = 0;
  for (char32_t c = 0; c <= 0x10FFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    auto expected = iconv.Encode(c);
    // glibc drops the tag characters U+E0000-U+E007F without a word; a strict
    // converter must refuse them like any other character it cannot store.
    if (expected && expected->empty()) expected.reset();
    const auto fromUtf8 = CodePage932::FromUtf8(Utf8Of(c));
    ASSERT_EQ(fromUtf8.ok(), expected.has_value()) << std::hex << "U+" << static_cast<unsigned>(c);
    if (c < 0x10000) {
      const auto fromUtf16 = CodePage932::FromUtf16(std::u16string(1, static_cast<char16_t>(c)));
      ASSERT_EQ(fromUtf16.text, fromUtf8.text);
      ASSERT_EQ(fromUtf16.error, fromUtf8.error);
    }
    if (!expected) {
      ASSERT_EQ(fromUtf8.error, TextError::kUnrepresentable);
      ASSERT_EQ(fromUtf8.errorCharacter, c);
      continue;
    }
    ++encoded;
    ASSERT_EQ(fromUtf8.text, *expected) << std::hex << "U+" << static_cast<unsigned>(c);
  }
  EXPECT_GT(encoded, 9000u);
}

TEST(CodePage932Iconv, LeadBytesAreTheBytesIconvFindsIncomplete) {
  Iconv iconv;
  ASSERT_TRUE(iconv.Available());
  for (int byte = 0; byte < 256; ++byte) {
    int error = 0;
    const bool decodes = iconv.Decode(std::string(1, static_cast<char>(byte)), &error).has_value();
    const bool incomplete = !decodes && error == EINVAL;
    EXPECT_EQ(CodePage932::IsLeadByte(static_cast<unsigned char>(byte)), incomplete) << byte;
  }
}

TEST(CodePage932Decode, JapaneseTextAndNulBytesConvert) {
  // "Tallimor デスクトップ" as the string table stores it, with a NUL and more after it.
  const std::string stored =
      "Tallimor \x83\x66\x83\x58\x83\x4E\x83\x67\x83\x62\x83\x76" + std::string(1, '\0') + "\xB1";
  const auto utf8 = CodePage932::ToUtf8(stored);
  ASSERT_TRUE(utf8.ok());
  EXPECT_EQ(utf8.text, "Tallimor デスクトップ" + std::string(1, '\0') + "ｱ");
  const auto utf16 = CodePage932::ToUtf16(stored);
  ASSERT_TRUE(utf16.ok());
  EXPECT_EQ(utf16.text, u"Tallimor デスクトップ" + std::u16string(1, u'\0') + u"ｱ");
  EXPECT_TRUE(CodePage932::ToUtf8("").ok());
}

TEST(CodePage932Decode, ErrorsNameTheFirstByteThatIsNoCode) {
  struct Case {
    std::string bytes;
    std::size_t offset;
  };
  const Case cases[] = {
      {"abc\x80", 3},              // 0x80 is no character
      {"\x82\xA0\xA0", 2},         // nor is 0xA0
      {"ok\xFD", 2},               // nor 0xFD to 0xFF
      {"ab\x82", 2},               // a lead byte cut off at the end
      {"\x82\xA0x\x81\x20y", 3},   // 0x20 cannot follow a lead byte
      {"\x85\x40", 0},             // a free code in the double-byte area
      {"\x88\x9Fzz\xEA\xA5", 4},   // past the last JIS kanji
  };
  for (const Case& c : cases) {
    const auto result = CodePage932::ToUtf8(c.bytes);
    EXPECT_EQ(result.error, TextError::kInvalidInput) << c.offset;
    EXPECT_EQ(result.errorOffset, c.offset);
    EXPECT_TRUE(result.text.empty());
    const auto utf16 = CodePage932::ToUtf16(c.bytes);
    EXPECT_EQ(utf16.errorOffset, c.offset);
  }
}

TEST(CodePage932Encode, UnrepresentableCharacterIsReportedNotReplaced) {
  const auto emoji = CodePage932::FromUtf8("ab😀c");
  EXPECT_EQ(emoji.error, TextError::kUnrepresentable);
  EXPECT_EQ(emoji.errorOffset, 2u);
  EXPECT_EQ(emoji.errorCharacter, U'\U0001F600');
  EXPECT_TRUE(emoji.text.empty());

  const auto accented = CodePage932::FromUtf16(u"メモ: café");
  EXPECT_EQ(accented.error, TextError::kUnrepresentable);
  EXPECT_EQ(accented.errorOffset, 7u);  // in UTF-16 units
  EXPECT_EQ(accented.errorCharacter, U'é');

  // glibc would drop a tag character silently and store the rest.
  const auto tag = CodePage932::FromUtf8("x\xF3\xA0\x80\x81");
  EXPECT_EQ(tag.error, TextError::kUnrepresentable);
  EXPECT_EQ(tag.errorOffset, 1u);
}

TEST(CodePage932Encode, MalformedUnicodeIsInvalidInput) {
  struct Case {
    std::string utf8;
    std::size_t offset;
  };
  const Case cases[] = {
      {"a\xC0\xAF", 1},          // overlong '/'
      {"ab\xE0\x80\xAF", 2},     // overlong in three bytes
      {"\xED\xA0\x80", 0},       // a surrogate written as UTF-8
      {"xyz\xE3\x81", 3},        // cut off
      {"\xF4\x90\x80\x80", 0},   // above U+10FFFF
      {"a\x80", 1},              // a stray continuation byte
      {"\xE3\x81\x82\xE3(", 3},  // a lead byte followed by ASCII
  };
  for (const Case& c : cases) {
    const auto result = CodePage932::FromUtf8(c.utf8);
    EXPECT_EQ(result.error, TextError::kInvalidInput) << c.offset;
    EXPECT_EQ(result.errorOffset, c.offset);
  }
  const std::u16string loneHigh = {u'a', char16_t(0xD83D)};
  const std::u16string loneLow = {char16_t(0xDE00), u'a'};
  const std::u16string highThenText = {u'a', u'b', char16_t(0xD83D), u'c'};
  EXPECT_EQ(CodePage932::FromUtf16(loneHigh).errorOffset, 1u);
  EXPECT_EQ(CodePage932::FromUtf16(loneLow).error, TextError::kInvalidInput);
  EXPECT_EQ(CodePage932::FromUtf16(highThenText).errorOffset, 2u);
}

TEST(CodePage932Encode, CharactersWithTwoCodesTakeTheUsualOne) {
  // Codes as Windows writes them: JIS X 0208 before the NEC row 13 duplicates, the IBM
  // extension (0xFA-0xFC) before NEC's selection of it (0xED-0xEE).
  EXPECT_EQ(CodePage932::FromUtf8("≒").text, "\x81\xE0");   // not NEC 0x8790
  EXPECT_EQ(CodePage932::FromUtf8("∵").text, "\x81\xE6");   // not 0x879A or 0xFA5B
  EXPECT_EQ(CodePage932::FromUtf8("ⅰ").text, "\xFA\x40");   // not NEC-selected 0xEEEF
  EXPECT_EQ(CodePage932::FromUtf8("￢").text, "\x81\xCA");
  EXPECT_EQ(CodePage932::FromUtf8("Ⅰ").text, "\x87\x54");   // NEC row 13, not 0xFA4A
  // The duplicates still decode, each to its character.
  EXPECT_EQ(CodePage932::ToUtf8("\x87\x90\xEE\xEF\xFA\x4A").text, "≒ⅰⅠ");
  // One-way mappings from characters that other Japanese encodings use.
  EXPECT_EQ(CodePage932::FromUtf8("¥‾〜—").text, "\x5C\x7E\x81\x60\x81\x5C");
}

TEST(CodePage932Encode, RoundTripOfMixedText) {
  const std::string utf8 = "買い物: 牛乳、卵 ×2\n電話 ０３－１２３４\tｶﾀｶﾅ ①②";
  const auto bytes = CodePage932::FromUtf8(utf8);
  ASSERT_TRUE(bytes.ok()) << bytes.errorOffset;
  const auto back = CodePage932::ToUtf8(bytes.text);
  ASSERT_TRUE(back.ok());
  EXPECT_EQ(back.text, utf8);
  const auto utf16 = CodePage932::ToUtf16(bytes.text);
  ASSERT_TRUE(utf16.ok());
  EXPECT_EQ(CodePage932::FromUtf16(utf16.text).text, bytes.text);
}

}  // namespace
}  // namespace tallimor
