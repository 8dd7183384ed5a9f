// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The export formats and their readers: what the writers write reads back into the
// same memos whatever the text holds, the reader takes what spreadsheets make of a
// file, and malformed files are refused with the memo and line of the fault.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "exchange/CsvMemoFormat.h"
#include "exchange/KeePassXmlFormat.h"
#include "exchange/TextMemoFormat.h"

namespace tallimor {
namespace {

std::vector<ExchangeMemo> Awkward() {
  return {
      {"仕事", "会議メモ\n二行目, \"引用\"\n", false, false, false},
      {"個人", "", true, false, false},
      {kUnfiledCategoryName, "%% looks like a header\n%%* so does this\n%%%x\n%\n", false, false, false},
      {"Travel", "\n\nleading blank lines and a trailing one\n", true, false, false},
      {"a,b \"c\"", "comma, quote \" and CR\r alone", false, false, false},
  };
}

void ExpectSame(const std::vector<ExchangeMemo>& read, const std::vector<ExchangeMemo>& written) {
  ASSERT_EQ(read.size(), written.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].category, written[i].category) << i;
    EXPECT_EQ(read[i].text, written[i].text) << i;
    EXPECT_EQ(read[i].isPrivate, written[i].isPrivate) << i;
  }
}

TEST(MemoFormatRoundTrip, CsvAndTextReadBackEveryMemo) {
  const std::vector<ExchangeMemo> memos = Awkward();
  for (const bool csv : {true, false}) {
    std::ostringstream out;
    csv ? WriteCsvMemos(memos, out) : WriteTextMemos(memos, out);
    std::vector<ExchangeMemo> read;
    ImportProblem problem;
    ASSERT_TRUE(csv ? ReadCsvMemos(out.str(), &read, &problem) : ReadTextMemos(out.str(), &read, &problem))
        << ImportFaultMeaning(problem.fault) << " line " << problem.line;
    ExpectSame(read, memos);
  }
}

TEST(MemoFormatRoundTrip, WrittenFormsAreTheDocumentedOnes) {
  std::ostringstream csv;
  WriteCsvMemos({{"仕事", "a\n\"b\"", true, false, false}}, csv);
  EXPECT_EQ(csv.str(), "category,text,private\n\"仕事\",\"a\n\"\"b\"\"\",true\n");
  std::ostringstream text;
  WriteTextMemos({{"仕事", "a\n%%b", false, false, false}, {"x", "", true, false, false}}, text);
  EXPECT_EQ(text.str(), "%% 仕事\na\n%%%b\n%%* x\n\n");
}

TEST(CsvMemoReader, TakesWhatSpreadsheetsWrite) {
  // Byte order mark, CR LF rows, columns in another order, unquoted fields, an empty
  // line between rows, an empty category and several spellings of the flag.
  const std::string file =
      "\xEF\xBB\xBFPrivate,Category,Text\r\n"
      "1,仕事,plain\r\n"
      "\r\n"
      "FALSE,,\"two\r\nlines\"\r\n"
      ",x,last";
  std::vector<ExchangeMemo> read;
  ImportProblem problem;
  ASSERT_TRUE(ReadCsvMemos(file, &read, &problem)) << ImportFaultMeaning(problem.fault);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0].category, "仕事");
  EXPECT_TRUE(read[0].isPrivate);
  EXPECT_EQ(read[1].category, kUnfiledCategoryName);
  EXPECT_EQ(read[1].text, "two\nlines");
  EXPECT_FALSE(read[2].isPrivate);
  EXPECT_EQ(read[2].text, "last");
}

TEST(CsvMemoReader, MalformedFilesNameTheMemoAndLine) {
  const struct {
    const char* file;
    ImportFault fault;
    std::size_t memo;
    std::size_t line;
  } kCases[] = {
      {"", ImportFault::kCsvNoHeader, 0, 1},
      {"category,text\n", ImportFault::kCsvNoHeader, 0, 1},
      {"category,text,text\n", ImportFault::kCsvNoHeader, 0, 1},
      {"category,text,private\n\"a\",\"b\",true\nx,y\n", ImportFault::kCsvFieldCount, 2, 3},
      {"category,text,private\na,b\"c,true\n", ImportFault::kCsvBadQuote, 1, 2},
      {"category,text,private\n\"a\"x,b,true\n", ImportFault::kCsvBadQuote, 1, 2},
      {"category,text,private\na,\"b\nc,true\n", ImportFault::kCsvUnclosedQuote, 1, 4},
      {"category,text,private\na,\"b\nc\",yes\n", ImportFault::kCsvBadPrivate, 1, 2},
  };
  for (const auto& c : kCases) {
    std::vector<ExchangeMemo> read;
    ImportProblem problem;
    EXPECT_FALSE(ReadCsvMemos(c.file, &read, &problem)) << c.file;
    EXPECT_EQ(problem.fault, c.fault) << c.file;
    EXPECT_EQ(problem.memo, c.memo) << c.file;
    EXPECT_EQ(problem.line, c.line) << c.file;
    EXPECT_TRUE(read.empty());
  }
}

TEST(MemoReaders, HostileSizesAreRefusedBeforeTheyAreRead) {
  std::string many = "category,text,private\n";
  for (std::size_t i = 0; i <= kMaxImportedMemos; ++i) many += ",,\n";
  std::vector<ExchangeMemo> read;
  ImportProblem problem;
  EXPECT_FALSE(ReadCsvMemos(many, &read, &problem));
  EXPECT_EQ(problem.fault, ImportFault::kTooManyMemos);
  EXPECT_EQ(problem.memo, kMaxImportedMemos + 1);

  std::string headers;
  for (std::size_t i = 0; i <= kMaxImportedMemos; ++i) headers += "%% x\n";
  EXPECT_FALSE(ReadTextMemos(headers, &read, &problem));
  EXPECT_EQ(problem.fault, ImportFault::kTooManyMemos);

  const std::string huge(kMaxImportFileBytes + 1, 'a');
  EXPECT_FALSE(ReadTextMemos(huge, &read, &problem));
  EXPECT_EQ(problem.fault, ImportFault::kFileTooLarge);
  EXPECT_FALSE(ReadCsvMemos(huge, &read, &problem));
  EXPECT_EQ(problem.fault, ImportFault::kFileTooLarge);
}

TEST(TextMemoReader, EmptyFilesCrLfAndStrayTextBeforeTheFirstHeader) {
  std::vector<ExchangeMemo> read;
  ImportProblem problem;
  ASSERT_TRUE(ReadTextMemos("", &read, &problem));
  EXPECT_TRUE(read.empty());
  ASSERT_TRUE(ReadTextMemos("%% \r\na\r\nb", &read, &problem));
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].category, kUnfiledCategoryName);
  EXPECT_EQ(read[0].text, "a\nb");
  EXPECT_FALSE(ReadTextMemos("a note\n%% x\ntext\n", &read, &problem));
  EXPECT_EQ(problem.fault, ImportFault::kTextNoHeader);
  EXPECT_EQ(problem.line, 1u);
}

TEST(KeePassXml, GroupsEntriesTagsAndCharactersXmlCannotCarry) {
  std::vector<ExchangeMemo> memos = Awkward();
  memos.push_back({"仕事", "bell\x07 <&>", false, true, false});
  std::ostringstream out;
  std::size_t replaced = 0;
  WriteKeePassXml(memos, {kUnfiledCategoryName, "仕事", "仕事", "空"}, out, &replaced);
  const std::string xml = out.str();
  EXPECT_EQ(replaced, 1u);
  EXPECT_NE(xml.find("bell\xEF\xBF\xBD &lt;&amp;&gt;"), std::string::npos);
  EXPECT_NE(xml.find("CR&#13; alone"), std::string::npos);
  EXPECT_EQ(xml.find('\x07'), std::string::npos);
  // One group per name, also for a category without memos; a memo's unknown category
  // gets its own group; every memo is written once.
  for (const char* name : {"<Name>Unfiled</Name>", "<Name>仕事</Name>", "<Name>空</Name>", "<Name>Travel</Name>"}) {
    const std::size_t at = xml.find(name);
    EXPECT_NE(at, std::string::npos) << name;
    EXPECT_EQ(xml.find(name, at + 1), std::string::npos) << name;
  }
  std::size_t entries = 0;
  for (std::size_t at = xml.find("<Entry>"); at != std::string::npos; at = xml.find("<Entry>", at + 1)) ++entries;
  EXPECT_EQ(entries, memos.size());
  EXPECT_NE(xml.find("<Tags>private</Tags>"), std::string::npos);
  EXPECT_NE(xml.find("<Tags>deleted</Tags>"), std::string::npos);
  EXPECT_NE(xml.find("<Key>Title</Key><Value>会議メモ</Value>"), std::string::npos);
}

}  // namespace
}  // namespace tallimor
