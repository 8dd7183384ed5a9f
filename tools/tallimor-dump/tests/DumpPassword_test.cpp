// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of tallimor-dump --password, run as the program users run: the password comes
// on standard input, the file is written independently (OpenSSL digest and cipher), and
// the JSON and the listing must show the memos as UTF-8 text.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "protect/tests/ProtectedFileWriter.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

using testing::MemoSpec;
using testing::PlainMemo;
using testing::ProtectedFileBytes;
using testing::ProtectedFileSpec;
using testing::WriteBytes;

constexpr char kCp932Password[] = "\x83\x70\x83\x58\x83\x8f\x81\x5b\x83\x68";  // "パスワード"
constexpr char kUtf8Password[] = "\xe3\x83\x91\xe3\x82\xb9\xe3\x83\xaf\xe3\x83\xbc\xe3\x83\x89";

using DumpRun = testing::ProcessResult;

class DumpPassword : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
  }

  void WriteFile(const char* password) {
    ProtectedFileSpec spec;
    spec.password = password;
    spec.hint = "hint";
    spec.memos.push_back({1, 0, 0, PlainMemo("hello\nworld \"quoted\"")});
    spec.memos.push_back({2, 1, 0x10, PlainMemo("\x93\xfa\x96\x7b\x8c\xea")});  // "日本語"
    spec.memos.push_back({3, 0, 0, {'t', 'h', 'i', 'r', 't', 'e', 'e', 'n', 0, 1, 2, 3, 4}});
    spec.memos.push_back({4, 0, 0, {}});
    ASSERT_TRUE(WriteBytes(dir_ + "/record.dat", ProtectedFileBytes(spec)));
  }

  // Runs the program with `input` on standard input (a pipe, so not a terminal).
  DumpRun Dump(const std::string& options, const std::string& input) {
    const std::string command = std::string(TALLIMOR_DUMP_PROGRAM) + " " + options + " " + dir_ + "/record.dat";
    return testing::Subprocess::Run("/bin/sh", {"-c", command}, input);
  }

  tallimor::testing::TempDir temp_{"dump-password"};  // removed after the test
  std::string dir_;
};

TEST_F(DumpPassword, JsonRecordsGetTheDecipheredMemoAsUtf8) {
  WriteFile("secret");
  const DumpRun run = Dump("--json --password", "secret\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(R"("text": "hello\u000aworld \"quoted\"")"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"text\": \"\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\""), std::string::npos);
  EXPECT_NE(run.out.find(R"("text": "thirteen")"), std::string::npos);
  EXPECT_NE(run.out.find(R"("data": "", "text": "")"), std::string::npos);
  // The data stays as stored: the enciphered bytes, not the plain memo.
  EXPECT_EQ(run.out.find("68656c6c6f"), std::string::npos);  // "hello" in hex

  // Without --password there is no text at all.
  const DumpRun plain = Dump("--json", "");
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(plain.out.find("\"text\""), std::string::npos);
}

TEST_F(DumpPassword, WrongPasswordIsRefusedAndNothingIsShown) {
  WriteFile("secret");
  for (const char* typed : {"Secret\n", "secret \n", "\n"}) {
    const DumpRun run = Dump("--json --password", typed);
    EXPECT_EQ(run.status, 3) << typed;
    EXPECT_EQ(run.out, "") << typed;
    EXPECT_NE(run.err.find("wrong password"), std::string::npos) << run.err;
  }
}

TEST_F(DumpPassword, Utf8PasswordIsCheckedAsCodePage932Bytes) {
  WriteFile(kCp932Password);
  const DumpRun run = Dump("--json --password", std::string(kUtf8Password) + "\r\nnot read\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find(R"("text": "thirteen")"), std::string::npos);
}

TEST_F(DumpPassword, PasswordsThatCannotBeUsedAreRefusedClearly) {
  WriteFile("secret");
  const DumpRun emoji = Dump("--password", "\xf0\x9f\x98\x80\n");  // U+1F600, not in code page 932
  EXPECT_EQ(emoji.status, 3);
  EXPECT_NE(emoji.err.find("code page 932"), std::string::npos) << emoji.err;
  const DumpRun empty = Dump("--password", "");
  EXPECT_EQ(empty.status, 3);
  EXPECT_NE(empty.err.find("no password"), std::string::npos) << empty.err;
  const DumpRun inline_ = Dump("--password=secret", "");
  EXPECT_EQ(inline_.status, 2);  // never from the command line
}

TEST_F(DumpPassword, ListingShowsMemoLinesAndUnprotectedFilesShowTheirMemos) {
  WriteFile(nullptr);
  const DumpRun run = Dump("--password", "anything\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("      | hello\n      | world \"quoted\"\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("      | \xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\n"), std::string::npos);
  EXPECT_NE(run.err.find("no password"), std::string::npos) << run.err;
}

TEST_F(DumpPassword, BytesThatAreNoTextShowByValueAndAreCounted) {
  ProtectedFileSpec spec;
  spec.password = nullptr;
  // 0x80 is no character, 0x81 before a control byte is a lead byte without its
  // trail byte; the characters around them still show, and so does the control byte
  // in the listing, by value.
  spec.memos.push_back({1, 0, 0, PlainMemo("a\x80\x93\xfa\x81\x01z")});
  spec.memos.push_back({2, 0, 0, PlainMemo("clean")});
  ASSERT_TRUE(WriteBytes(dir_ + "/record.dat", ProtectedFileBytes(spec)));

  const DumpRun run = Dump("--password", "anything\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("      | a\\x80\xe6\x97\xa5\\x81\\x01z\n"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("1 memo(s) hold bytes that are not code page 932 text; each such byte shows as \\xHH"),
            std::string::npos)
      << run.err;

  const DumpRun json = Dump("--json --password", "anything\n");
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_NE(json.out.find("\"text\": \"a\\\\x80\xe6\x97\xa5\\\\x81\\u0001z\""), std::string::npos) << json.out;
}

}  // namespace
}  // namespace tallimor
