// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the Palm database reader and writer: exact bytes of a written file,
// round trips, the format's limits, hostile files, atomic replacement, and
// interoperability with Perl's Palm::PDB in both directions.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hotsync/pdb/PdbReader.h"
#include "hotsync/pdb/PdbWriter.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"
#include "store/tests/FaultInjectingFileSystem.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// Builds expected file images by hand, independently of the writer.
struct Image {
  Bytes bytes;
  Image& u8(unsigned v) { bytes.push_back(static_cast<std::uint8_t>(v)); return *this; }
  Image& u16(unsigned v) { return u8(v >> 8).u8(v); }
  Image& u32(std::uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
  Image& text(const std::string& s, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<unsigned char>(s[i]) : 0);
    return *this;
  }
  Image& raw(const std::string& s) { return text(s, s.size()); }
};

// Header of a record database with `count` entries, app info at `appInfo`.
Image Header(const std::string& name, unsigned count, std::uint32_t appInfo = 0, std::uint32_t sortInfo = 0,
             std::uint16_t attributes = 0) {
  Image image;
  image.text(name, 32).u16(attributes).u16(1).u32(3000000000u).u32(3000000001u).u32(0).u32(7);
  image.u32(appInfo).u32(sortInfo).u32(FourCc("DATA")).u32(FourCc("Tlmr")).u32(99).u32(0).u16(count);
  return image;
}

Bytes Data(const std::string& s) { return Bytes(s.begin(), s.end()); }

Result ParseImage(const Bytes& bytes, PdbFile* file, std::string* error) {
  return PdbReader::Parse(bytes.data(), bytes.size(), file, error);
}

class PdbDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }
  tallimor::testing::TempDir temp_{"pdb"};  // removed after the test
  std::string dir_;
};

PdbFile SampleFile() {
  PdbFile file;
  file.header.name = "TallimorDB";
  file.header.attributes = kPdbAttrBackup;
  file.header.version = 2;
  file.header.creationDate = PalmTimeFromUnix(1000000000);
  file.header.modificationDate = PalmTimeFromUnix(1100000000);
  file.header.modificationNumber = 9;
  file.header.type = FourCc("DATA");
  file.header.creator = FourCc("Tlmr");
  file.header.uniqueIdSeed = 0x2000;
  file.appInfo = Data(std::string(276, 'c') + "digest");
  file.sortInfo = Data("sorted");
  file.records.push_back({PdbRecord::MakeAttributes(false, false, false, false, false, 0), 0x1001, Data("memo one")});
  file.records.push_back({PdbRecord::MakeAttributes(false, true, false, false, false, 4), 0x1002, Data("dirty four")});
  file.records.push_back({PdbRecord::MakeAttributes(false, false, false, true, false, 15), 0x1003, Data("secret")});
  file.records.push_back({PdbRecord::MakeAttributes(true, true, false, false, false, 3), 0x1004, {}});
  file.records.push_back({PdbRecord::MakeAttributes(true, false, false, false, true, 9), 0xFFFFFF, Data("kept")});
  return file;
}

// --- Attribute byte -----------------------------------------------------------

TEST(PdbRecordAttributes, CategoryLivesInLowBitsOnlyWhileNotDeletedOrBusy) {
  EXPECT_EQ(PdbRecord::MakeAttributes(false, true, false, true, false, 7), 0x57);
  EXPECT_EQ(PdbRecord::MakeAttributes(true, true, false, false, false, 7), 0xC0);
  EXPECT_EQ(PdbRecord::MakeAttributes(true, false, false, false, true, 7), 0x88);
  EXPECT_EQ(PdbRecord::MakeAttributes(false, false, false, false, true, 2), 0x88) << "archive implies delete";
  PdbRecord busy{0x28, 1, {}};
  EXPECT_TRUE(busy.busy());
  EXPECT_TRUE(busy.archived());
  EXPECT_EQ(busy.category(), 0);
  PdbRecord live{0x1B, 1, {}};
  EXPECT_FALSE(live.archived()) << "0x08 of a live record is category bit 3";
  EXPECT_EQ(live.category(), 11);
  EXPECT_TRUE(live.secret());
}

TEST(PdbTime, PalmEpochIsNineteenHundredFour) {
  EXPECT_EQ(PalmTimeFromUnix(0), 2082844800u);
  EXPECT_EQ(UnixTimeFromPalm(3000000000u), 917155200);
  EXPECT_EQ(PalmTimeFromUnix(-3000000000ll), 0u);
  EXPECT_EQ(FourCcText(FourCc("Tlmr")), "Tlmr");
}

// --- Writer -------------------------------------------------------------------

TEST(PdbWriterLayout, WritesHeaderEntriesPadAppInfoThenRecords) {
  PdbFile file;
  file.header.name = "TestDB";
  file.header.version = 1;
  file.header.creationDate = 3000000000u;
  file.header.modificationDate = 3000000001u;
  file.header.modificationNumber = 7;
  file.header.type = FourCc("DATA");
  file.header.creator = FourCc("Tlmr");
  file.header.uniqueIdSeed = 99;
  file.appInfo = Data("APP");
  file.records.push_back({0x43, 0x010203, Data("abc")});
  file.records.push_back({0x88, 0xFFFFFF, {}});
  file.records.push_back({0x10, 5, Data("z")});

  const std::uint32_t body = 78 + 3 * 8 + 2;
  Image expected = Header("TestDB", 3, body);
  expected.u32(body + 3).u8(0x43).u8(1).u8(2).u8(3);
  expected.u32(body + 6).u8(0x88).u8(0xFF).u8(0xFF).u8(0xFF);
  expected.u32(body + 6).u8(0x10).u8(0).u8(0).u8(5);
  expected.u16(0).raw("APP").raw("abc").raw("z");

  Bytes written;
  std::string error;
  ASSERT_EQ(PdbWriter::Serialize(file, &written, &error), kOk) << error;
  EXPECT_EQ(written, expected.bytes);
}

TEST(PdbWriterLayout, ResourceEntriesAreTypeIdOffset) {
  PdbFile file;
  file.header.name = "Res";
  file.header.attributes = kPdbAttrResourceDb;
  file.resources.push_back({FourCc("code"), 1, Data("xy")});
  file.resources.push_back({FourCc("tSTR"), 1000, Data("s")});
  Bytes written;
  ASSERT_EQ(PdbWriter::Serialize(file, &written, nullptr), kOk);
  ASSERT_EQ(written.size(), 78u + 20 + 2 + 3);
  const std::uint32_t body = 78 + 20 + 2;
  Image entries;
  entries.u32(FourCc("code")).u16(1).u32(body).u32(FourCc("tSTR")).u16(1000).u32(body + 2);
  EXPECT_EQ(Bytes(written.begin() + 78, written.begin() + 98), entries.bytes);
  EXPECT_EQ(written[32], 0);
  EXPECT_EQ(written[33], 1) << "resource attribute";
}

TEST(PdbWriterLimits, RefusesWhatTheFormatCannotHold) {
  std::string error;
  Bytes out;
  PdbFile file;
  file.header.name = std::string(32, 'n');
  EXPECT_EQ(PdbWriter::Serialize(file, &out, &error), kErrTooLong);
  EXPECT_NE(error.find("31"), std::string::npos);
  file.header.name = std::string(31, 'n');
  EXPECT_EQ(PdbWriter::Serialize(file, &out, &error), kOk);

  file.records.push_back({0, 0x1000000, {}});
  EXPECT_EQ(PdbWriter::Serialize(file, &out, &error), kErrTooLong) << "unique ids are 24 bits";
  file.records.back().uniqueId = 1;
  file.records.back().data.assign(65536, 0);
  EXPECT_EQ(PdbWriter::Serialize(file, &out, &error), kErrTooLong);
  file.records.back().data.assign(65535, 0);
  EXPECT_EQ(PdbWriter::Serialize(file, &out, &error), kOk);

  file.records.assign(65536, PdbRecord{});
  EXPECT_EQ(PdbWriter::Serialize(file, &out, &error), kErrTooLong);
  file.records.resize(65535);
  EXPECT_EQ(PdbWriter::Serialize(file, &out, &error), kOk);

  file.header.attributes = kPdbAttrResourceDb;
  EXPECT_EQ(PdbWriter::Serialize(file, &out, &error), kErrNotSupported);
}

// --- Round trip ---------------------------------------------------------------

TEST(PdbRoundTrip, WhatIsWrittenReadsBackEqual) {
  const PdbFile file = SampleFile();
  Bytes bytes;
  ASSERT_EQ(PdbWriter::Serialize(file, &bytes, nullptr), kOk);
  PdbFile back;
  std::string error;
  ASSERT_EQ(ParseImage(bytes, &back, &error), kOk) << error;
  EXPECT_EQ(back.header.name, "TallimorDB");
  EXPECT_EQ(back.header.attributes, kPdbAttrBackup);
  EXPECT_EQ(back.header.version, 2);
  EXPECT_EQ(back.header.creationDate, file.header.creationDate);
  EXPECT_EQ(back.header.modificationDate, file.header.modificationDate);
  EXPECT_EQ(back.header.modificationNumber, 9u);
  EXPECT_EQ(back.header.uniqueIdSeed, 0x2000u);
  EXPECT_EQ(back.appInfo, file.appInfo);
  EXPECT_EQ(back.sortInfo, file.sortInfo);
  ASSERT_EQ(back.records.size(), file.records.size());
  for (std::size_t i = 0; i < file.records.size(); ++i) {
    EXPECT_EQ(back.records[i].attributes, file.records[i].attributes) << i;
    EXPECT_EQ(back.records[i].uniqueId, file.records[i].uniqueId) << i;
    EXPECT_EQ(back.records[i].data, file.records[i].data) << i;
  }
  EXPECT_EQ(back.records[4].category(), 0) << "a deleted record keeps no category";
  EXPECT_TRUE(back.records[4].archived());
}

TEST(PdbRoundTrip, EmptyDatabaseWithoutBlocks) {
  PdbFile file;
  file.header.name = "Empty";
  Bytes bytes;
  ASSERT_EQ(PdbWriter::Serialize(file, &bytes, nullptr), kOk);
  EXPECT_EQ(bytes.size(), 80u);
  PdbFile back;
  ASSERT_EQ(ParseImage(bytes, &back, nullptr), kOk);
  EXPECT_FALSE(back.appInfo.has_value());
  EXPECT_FALSE(back.sortInfo.has_value());
  EXPECT_TRUE(back.records.empty());
}

TEST(PdbReaderLayout, AcceptsFilesWithoutPadBytesAndWithZeroLengthRecords) {
  const std::uint32_t body = 78 + 2 * 8;
  Image image = Header("NoPad", 2);
  image.u32(body).u8(0x40).u8(0).u8(0).u8(1).u32(body).u8(0x02).u8(0).u8(0).u8(2).raw("only");
  PdbFile file;
  std::string error;
  ASSERT_EQ(ParseImage(image.bytes, &file, &error), kOk) << error;
  ASSERT_EQ(file.records.size(), 2u);
  EXPECT_TRUE(file.records[0].data.empty());
  EXPECT_EQ(file.records[1].data, Data("only"));
  EXPECT_EQ(file.records[1].category(), 2);
}

// --- Hostile input ------------------------------------------------------------

struct HostileCase {
  const char* what;
  Bytes bytes;
  Result code;
  const char* mentions;
};

std::vector<HostileCase> HostileCases() {
  std::vector<HostileCase> cases;
  cases.push_back({"short header", Bytes(77, 0), kErrReadHeader, "78-byte header"});
  {
    Image i = Header("x", 0);
    for (int k = 0; k < 32; ++k) i.bytes[static_cast<std::size_t>(k)] = 'A';
    cases.push_back({"unterminated name", i.bytes, kErrReadHeader, "NUL"});
  }
  {
    Image i = Header("x", 0);
    i.bytes[75] = 1;
    cases.push_back({"chained record list", i.bytes, kErrReadHeader, "second list"});
  }
  {
    Image i = Header("x", 65535);
    i.u32(100).u32(0);
    cases.push_back({"count beyond the file", i.bytes, kErrReadRecordHeader, "past the end"});
  }
  {
    Image i = Header("x", 1);
    i.u32(5000).u32(1).u16(0);
    cases.push_back({"offset past the end", i.bytes, kErrReadRecordHeader, "past the end"});
  }
  {
    Image i = Header("x", 1);
    i.u32(10).u32(1).u16(0).raw("data");
    cases.push_back({"offset inside the header", i.bytes, kErrReadRecordHeader, "inside the header"});
  }
  {
    const std::uint32_t body = 78 + 16 + 2;
    Image i = Header("x", 2);
    i.u32(body + 4).u32(1).u32(body).u32(2).u16(0).raw("aaaabbbb");
    cases.push_back({"records out of order", i.bytes, kErrReadRecordHeader, "overlap"});
  }
  {
    const std::uint32_t body = 78 + 8 + 2;
    Image i = Header("x", 1, body + 4);
    i.u32(body).u32(1).u16(0).raw("aaaabbbb");
    cases.push_back({"app info after the records", i.bytes, kErrReadRecordHeader, "overlap"});
  }
  {
    Image i = Header("x", 0, 0, 5000);
    i.u16(0);
    cases.push_back({"sort info past the end", i.bytes, kErrReadSortInfo, "sort info"});
  }
  {
    const std::uint32_t body = 78 + 8 + 2;
    Image i = Header("x", 1);
    i.u32(body).u32(1).u16(0);
    i.bytes.resize(i.bytes.size() + 70000, 0xEE);
    cases.push_back({"huge record", i.bytes, kErrReadRecordHeader, "65,535"});
  }
  {
    Image i = Header("x", 0, 80);
    i.u16(0);
    i.bytes.resize(i.bytes.size() + 66000, 0);
    cases.push_back({"huge app info", i.bytes, kErrReadAppInfo, "app info"});
  }
  return cases;
}

TEST(PdbReaderHostile, DamagedFilesAreRefusedWithAReason) {
  for (const HostileCase& c : HostileCases()) {
    PdbFile file;
    file.header.name = "untouched";
    std::string error;
    EXPECT_EQ(ParseImage(c.bytes, &file, &error), c.code) << c.what << ": " << error;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(file.header.name, "untouched") << c.what << ": output is left alone on failure";
  }
}

TEST(PdbReaderHostile, EveryTruncationOfAValidFileIsHandled) {
  Bytes bytes;
  ASSERT_EQ(PdbWriter::Serialize(SampleFile(), &bytes, nullptr), kOk);
  for (std::size_t length = 0; length < bytes.size(); ++length) {
    Bytes cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
    PdbFile file;
    std::string error;
    const Result result = ParseImage(cut, &file, &error);
    // Cutting into the last record only shortens it; anything earlier is refused.
    if (result == kOk) {
      EXPECT_GE(length, bytes.size() - 4) << length;
    } else {
      EXPECT_FALSE(error.empty()) << length;
    }
  }
}

// --- Files --------------------------------------------------------------------

using PdbFiles = PdbDir;

TEST_F(PdbFiles, WriteReplacesAtomicallyAndLeavesNoTemporary) {
  const std::string path = Path("TallimorDB.pdb");
  {
    std::ofstream old(path);
    old << "old contents";
  }
  ::chmod(path.c_str(), 0600);
  std::string error;
  ASSERT_EQ(PdbWriter::WriteFile(path, SampleFile(), &error), kOk) << error;
  PdbFile back;
  ASSERT_EQ(PdbReader::ReadFile(path, &back, &error), kOk) << error;
  EXPECT_EQ(back.records.size(), 5u);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "the replaced file keeps its permissions";
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(PdbFiles, AWriteFailingAtAnyCallKeepsTheOldFileWhole) {
  const std::string path = Path("TallimorDB.pdb");
  PdbFile older = SampleFile();
  older.records.resize(2);
  FaultInjectingFileSystem faults;
  faults.FailCall(FileCall::kAny, 0, EIO);
  ASSERT_EQ(PdbWriter::WriteFile(path, SampleFile(), nullptr), kOk);
  const int calls = faults.Calls();
  for (int nth = 1; nth <= calls; ++nth) {
    faults.Heal();
    ASSERT_EQ(PdbWriter::WriteFile(path, older, nullptr), kOk);
    faults.FailCall(FileCall::kAny, nth, EIO);
    const Result result = PdbWriter::WriteFile(path, SampleFile(), nullptr);
    faults.Heal();
    PdbFile back;
    ASSERT_EQ(PdbReader::ReadFile(path, &back, nullptr), kOk) << "call " << nth;
    EXPECT_EQ(back.records.size(), result == kOk ? 5u : 2u) << "call " << nth;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1) << "call " << nth;
  }
}

TEST_F(PdbFiles, FailedWriteKeepsTheOldFile) {
  const std::string path = Path("Keep.pdb");
  ASSERT_EQ(PdbWriter::WriteFile(path, SampleFile(), nullptr), kOk);
  PdbFile bad = SampleFile();
  bad.header.name = std::string(40, 'x');
  std::string error;
  EXPECT_EQ(PdbWriter::WriteFile(path, bad, &error), kErrTooLong);
  EXPECT_EQ(PdbWriter::WriteFile(Path("missing/dir.pdb"), SampleFile(), &error), kErrWrite);
  EXPECT_NE(error.find("missing"), std::string::npos);
  PdbFile back;
  ASSERT_EQ(PdbReader::ReadFile(path, &back, nullptr), kOk);
  EXPECT_EQ(back.header.name, "TallimorDB");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(PdbFiles, ReadFileReportsMissingAndDirectories) {
  PdbFile file;
  std::string error;
  EXPECT_EQ(PdbReader::ReadFile(Path("absent.pdb"), &file, &error), kErrOpenFailed);
  EXPECT_NE(error.find("absent.pdb"), std::string::npos);
  EXPECT_EQ(PdbReader::ReadFile(dir_, &file, &error), kErrOpenFailed);
  std::ofstream(Path("short.pdb")) << "tiny";
  EXPECT_EQ(PdbReader::ReadFile(Path("short.pdb"), &file, &error), kErrReadHeader);
  EXPECT_NE(error.find("short.pdb"), std::string::npos);
}

// --- Interoperability with Palm::PDB -------------------------------------------

std::string RunPerl(const std::string& script, const std::string& args, int* status) {
  const std::string command = std::string(TALLIMOR_PERL) + " " + TALLIMOR_PDB_SCRIPTS + "/" + script + " " + args;
  const testing::ProcessResult run = testing::Subprocess::Run("/bin/sh", {"-c", command});
  *status = run.status;
  return run.out;
}

class PdbInterop : public PdbDir {
 protected:
  void SetUp() override {
    PdbDir::SetUp();
    if (std::system((std::string(TALLIMOR_PERL) + " -MPalm::PDB -e 1 2>/dev/null").c_str()) != 0) {
      GTEST_SKIP() << "Perl's Palm::PDB (Debian libpalm-perl) is not installed";
    }
  }
};

TEST_F(PdbInterop, RecordDatabaseWrittenByPalmPdbReadsEqual) {
  int status = 0;
  RunPerl("write_pdb.pl", "records " + Path("perl.pdb"), &status);
  ASSERT_EQ(status, 0);
  PdbFile file;
  std::string error;
  ASSERT_EQ(PdbReader::ReadFile(Path("perl.pdb"), &file, &error), kOk) << error;
  EXPECT_EQ(file.header.name, "PerlMemoDB");
  EXPECT_EQ(file.header.type, FourCc("DATA"));
  EXPECT_EQ(file.header.creator, FourCc("Tlmr"));
  EXPECT_EQ(file.header.version, 3);
  EXPECT_EQ(file.header.attributes, kPdbAttrBackup);
  EXPECT_EQ(file.header.creationDate, 1000000000u + kPalmEpochOffset);
  EXPECT_EQ(file.header.modificationNumber, 42u);
  EXPECT_EQ(file.header.uniqueIdSeed, 0x123456u);
  ASSERT_TRUE(file.appInfo.has_value());
  ASSERT_EQ(file.appInfo->size(), 300u);
  for (std::size_t i = 0; i < 300; ++i) ASSERT_EQ((*file.appInfo)[i], i % 256) << i;
  EXPECT_EQ(file.sortInfo, Data("SORT"));

  struct Expected {
    std::uint32_t id;
    int category;
    bool deleted, dirty, secret, archived;
    std::string data;
  };
  const Expected expected[] = {
      {0x000101, 0, false, false, false, false, "plain memo"},
      {0x000102, 5, false, true, false, false, "dirty in five"},
      {0x000103, 15, false, false, true, false, "private in fifteen"},
      {0xABCDEF, 7, false, true, true, false, std::string("\x00\xff\x80" "binary", 9)},
      {0x000104, 0, true, true, false, false, ""},
      {0x000105, 0, true, false, false, true, "archived data"},
  };
  ASSERT_EQ(file.records.size(), std::size(expected));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const PdbRecord& r = file.records[i];
    EXPECT_EQ(r.uniqueId, expected[i].id) << i;
    EXPECT_EQ(r.category(), expected[i].category) << i;
    EXPECT_EQ(r.deleted(), expected[i].deleted) << i;
    EXPECT_EQ(r.dirty(), expected[i].dirty) << i;
    EXPECT_EQ(r.secret(), expected[i].secret) << i;
    EXPECT_EQ(r.archived(), expected[i].archived) << i;
    EXPECT_EQ(r.data, Data(expected[i].data)) << i;
  }
}

TEST_F(PdbInterop, ResourceDatabaseWrittenByPalmPdbReadsEqual) {
  int status = 0;
  RunPerl("write_pdb.pl", "resources " + Path("perl.prc"), &status);
  ASSERT_EQ(status, 0);
  PdbFile file;
  std::string error;
  ASSERT_EQ(PdbReader::ReadFile(Path("perl.prc"), &file, &error), kOk) << error;
  EXPECT_TRUE(file.isResourceDatabase());
  EXPECT_EQ(file.header.name, "PerlResources");
  ASSERT_EQ(file.resources.size(), 3u);
  EXPECT_EQ(file.resources[0].type, FourCc("code"));
  EXPECT_EQ(file.resources[0].id, 0);
  EXPECT_EQ(file.resources[0].data, Data("code zero"));
  EXPECT_EQ(file.resources[2].type, FourCc("tSTR"));
  EXPECT_EQ(file.resources[2].id, 1000);
  EXPECT_EQ(file.resources[2].data, Data(std::string("Hello\0", 6)));
}

TEST_F(PdbInterop, RecordDatabaseWeWriteReadsEqualInPalmPdb) {
  ASSERT_EQ(PdbWriter::WriteFile(Path("ours.pdb"), SampleFile(), nullptr), kOk);
  int status = 0;
  const std::string dump = RunPerl("dump_pdb.pl", Path("ours.pdb"), &status);
  ASSERT_EQ(status, 0) << dump;
  std::string appHex;
  for (int i = 0; i < 276; ++i) appHex += "63";
  appHex += "646967657374";
  const std::string expected =
      "name TallimorDB\n"
      "type DATA creator Tlmr version 2\n"
      "ctime 1000000000 mtime 1100000000 modnum 9 seed 8192\n"
      "attributes Backup,backup\n"
      "appinfo " + appHex + "\n"
      "sort 736f72746564\n"
      "record id 001001 category 0 attributes - data 6d656d6f206f6e65\n"
      "record id 001002 category 4 attributes Dirty,dirty data 646972747920666f7572\n"
      "record id 001003 category 15 attributes Secret,private data 736563726574\n"
      "record id 001004 category - attributes Delete,Dirty,dirty,expunged data -\n"
      "record id ffffff category - attributes Delete,archive,expunged data 6b657074\n";
  EXPECT_EQ(dump, expected);
}

TEST_F(PdbInterop, ResourceDatabaseWeWriteReadsEqualInPalmPdb) {
  PdbFile file;
  file.header.name = "OurResources";
  file.header.attributes = kPdbAttrResourceDb;
  file.header.type = FourCc("appl");
  file.header.creator = FourCc("Tlmr");
  file.resources.push_back({FourCc("code"), 1, Data("one")});
  file.resources.push_back({FourCc("tAIN"), 1000, Data("Tallimor")});
  ASSERT_EQ(PdbWriter::WriteFile(Path("ours.prc"), file, nullptr), kOk);
  int status = 0;
  const std::string dump = RunPerl("dump_pdb.pl", Path("ours.prc"), &status);
  ASSERT_EQ(status, 0) << dump;
  EXPECT_NE(dump.find("name OurResources\n"), std::string::npos) << dump;
  EXPECT_NE(dump.find("resource code 1 data 6f6e65\nresource tAIN 1000 data 54616c6c696d6f72\n"), std::string::npos)
      << dump;
}

}  // namespace
}  // namespace tallimor
