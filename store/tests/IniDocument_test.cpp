// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The lines of the project's INI texts: kept byte for byte, and read the same way by
// every format built on them.
#include "store/IniDocument.h"

#include <gtest/gtest.h>

#include <string>

namespace tallimor {
namespace {

TEST(IniDocumentLines, TextComesBackByteForByte) {
  const std::string texts[] = {
      "",
      "a=1",
      "\xEF\xBB\xBF[Users]\r\nHighestId=7\n\n; note\r\n",
      "[User 1]\nName=x\r\n\r\nlast line without end",
      "\n\n\r\n",
      "a\rb\n",  // a carriage return inside a line stays in it
  };
  for (const std::string& text : texts) {
    const IniDocument document(text);
    EXPECT_EQ(document.Text(), text);
  }
}

TEST(IniDocumentLines, LineEndsAndByteOrderMarkAreSetApart) {
  const IniDocument document("\xEF\xBB\xBF[a]\r\nk=v\nx\ry\nend");
  EXPECT_TRUE(document.byteOrderMark());
  ASSERT_EQ(document.lines().size(), 4u);
  EXPECT_EQ(document.lines()[0].text, "[a]");
  EXPECT_EQ(document.lines()[0].ending, "\r\n");
  EXPECT_EQ(document.lines()[1].ending, "\n");
  EXPECT_EQ(document.lines()[2].text, "x\ry");
  EXPECT_EQ(document.lines()[3].text, "end");
  EXPECT_EQ(document.lines()[3].ending, "");
  EXPECT_FALSE(IniDocument("a\n").byteOrderMark());
  EXPECT_TRUE(IniDocument("").lines().empty());
}

TEST(IniDocumentLines, EditedLinesAreWrittenBack) {
  IniDocument document("[a]\r\nk=1\r\n");
  document.lines()[1].text = "k=2";
  document.lines().push_back({"n=3", "\r\n"});
  EXPECT_EQ(document.Text(), "[a]\r\nk=2\r\nn=3\r\n");
}

TEST(IniDocumentLineReading, SectionLines) {
  EXPECT_TRUE(IniDocument::IsSectionLine("  [a]"));
  EXPECT_FALSE(IniDocument::IsSectionLine("a=[b]"));
  EXPECT_FALSE(IniDocument::IsSectionLine(""));

  const struct {
    const char* line;
    const char* name;
    bool wellFormed;
  } kCases[] = {
      {" [ User 7 ]\t", "User 7", true},
      {"[Handheld] ; note", "Handheld", true},  // a comment may follow
      {"[Handheld] more", "Handheld", false},   // anything else may not
      {"[Handheld", "Handheld", false},
      {"[", "", false},
  };
  for (const auto& c : kCases) {
    const IniDocument::SectionLine s = IniDocument::ReadSectionLine(c.line);
    EXPECT_EQ(s.name, c.name) << c.line;
    EXPECT_EQ(s.wellFormed, c.wellFormed) << c.line;
  }
}

TEST(IniDocumentLineReading, KeyLinesAndComments) {
  std::string_view key;
  std::string_view value;
  ASSERT_TRUE(IniDocument::KeyLine("  Name = a = b \r", &key, &value));
  EXPECT_EQ(key, "Name");
  EXPECT_EQ(value, "a = b");
  ASSERT_TRUE(IniDocument::KeyLine("Empty=", &key, &value));
  EXPECT_EQ(value, "");
  EXPECT_FALSE(IniDocument::KeyLine("", &key, &value));
  EXPECT_FALSE(IniDocument::KeyLine("# a=b", &key, &value));
  EXPECT_FALSE(IniDocument::KeyLine(" ; a=b", &key, &value));
  EXPECT_FALSE(IniDocument::KeyLine("[a=b]", &key, &value));
  EXPECT_FALSE(IniDocument::KeyLine("no equals sign", &key, &value));
  EXPECT_TRUE(IniDocument::IsComment("#"));
  EXPECT_FALSE(IniDocument::IsComment(" #"));  // callers trim first
  EXPECT_EQ(IniDocument::Trim(" \t\rx y\r\t "), "x y");
}

}  // namespace
}  // namespace tallimor
