// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the tallimor-dump program on files written by the independent test writer
// (store/tests/RecordFileBytes.h) and checks its whole output, its messages on
// stderr and its exit status, for good, damaged and missing files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "store/tests/RecordFileBytes.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

using namespace tallimor::testing;

using DumpRun = testing::ProcessResult;

std::string Hex(const Bytes& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t b : bytes) {
    text += kDigits[b >> 4];
    text += kDigits[b & 15];
  }
  return text;
}

class DumpProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    file_ = dir_ + "/record.dat";
  }

  DumpRun Dump(const std::string& args) {
    return Subprocess::Run("/bin/sh", {"-c", std::string("'") + TALLIMOR_DUMP_PATH + "' " + args});
  }

  tallimor::testing::TempDir temp_{"dump"};  // removed after the test
  std::string dir_;
  std::string file_;
};

// 仕事 ("work") in code page 932, a category name that is not ASCII.
const std::string kWork = "\x8e\x64\x8e\x96";

Bytes AppData() {
  Bytes data = CategoryTableBytes({"Unfiled", "", kWork}, {0, 0, 130}, 0x0004);
  for (int b = 1; b <= 4; ++b) data.push_back(static_cast<std::uint8_t>(b));
  return data;
}

Bytes SampleFile(std::int32_t count) {
  const Bytes app = InfoBlockBytes("TallimorDB", 280, AppData(), 280, 7);
  Bytes file = Header(HeaderFields{}, count, static_cast<std::uint32_t>(app.size()), 0);
  Append(file, app);
  Append(file, RecordImageBytes(7, 0x11, 2, std::string("hi\0\0\0\0\0\0", 8)));
  Append(file, RecordImageBytes(0, 0x08, 0, ""));
  return file;
}

std::string ExpectedJson(std::int32_t count, bool secondRecord) {
  std::string json =
      "{\"header\": {\"name\": \"TallimorDB\", \"version\": 1, \"dbVersion\": 3, \"creator\": \"Tlmr\", "
      "\"type\": \"DATA\", \"flags\": 8, \"modDate\": 3900000000, \"modNumber\": 17, "
      "\"createDate\": 3800000000, \"backupDate\": 3850000000, \"recordCount\": " +
      std::to_string(count) +
      "},\n"
      " \"appInfo\": {\"name\": \"TallimorDB\", \"capacity\": 280, \"used\": 280, \"reserved\": 7, "
      "\"data\": \"" +
      Hex(AppData()) +
      "\"},\n"
      " \"sortInfo\": null,\n"
      " \"categories\": [\n"
      "  {\"index\": 0, \"id\": 0, \"name\": \"556e66696c6564\", \"changed\": false},\n"
      "  {\"index\": 2, \"id\": 130, \"name\": \"8e648e96\", \"changed\": true}],\n"
      " \"records\": [\n"
      "  {\"id\": 7, \"category\": 2, \"status\": 4, \"private\": true, \"data\": \"6869000000000000\"}";
  if (secondRecord) json += ",\n  {\"id\": 0, \"category\": 0, \"status\": 8, \"private\": false, \"data\": \"\"}";
  return json + "]}\n";
}

TEST_F(DumpProgram, JsonOfAnIndependentlyWrittenFile) {
  WriteFileBytes(file_, SampleFile(2));
  const DumpRun run = Dump("--json '" + file_ + "'");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out, ExpectedJson(2, true));
}

TEST_F(DumpProgram, DamagedFileShowsWhatWasReadAndFails) {
  WriteFileBytes(file_, SampleFile(3));  // says 3 records, holds 2
  const DumpRun run = Dump("--json '" + file_ + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, ExpectedJson(3, true));
  EXPECT_NE(run.err.find("error 4383: a record header could not be read"), std::string::npos) << run.err;

  const DumpRun text = Dump("'" + file_ + "'");
  EXPECT_EQ(text.status, 1);
  EXPECT_NE(text.out.find("Records (2)"), std::string::npos);
  EXPECT_NE(text.out.find("id 7  category 2  status 0x4 modified  private  8 bytes"), std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("id 130  \"\\x8E\\x64\\x8E\\x96\"  changed"), std::string::npos) << text.out;
}

TEST_F(DumpProgram, UnreadableHeaderGivesNullHeader) {
  WriteFileBytes(file_, Bytes(40, 0));
  const DumpRun run = Dump("--json '" + file_ + "'");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.rfind("{\"header\": null,", 0), 0u) << run.out;
  EXPECT_NE(run.err.find("error 4380"), std::string::npos);
}

TEST_F(DumpProgram, MissingFileAndUsageErrors) {
  const DumpRun missing = Dump("--json '" + dir_ + "/none.dat'");
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out, "");
  EXPECT_NE(missing.err.find("error 4373"), std::string::npos);

  EXPECT_EQ(Dump("").status, 2);
  const DumpRun unknown = Dump("--jsn '" + file_ + "'");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("unknown option '--jsn'"), std::string::npos);
  EXPECT_EQ(Dump("a b").status, 2);

  const DumpRun help = Dump("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: tallimor-dump [--json]", 0), 0u);
}

}  // namespace
}  // namespace tallimor
