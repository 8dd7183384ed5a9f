// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Scenario tests of tallimor-handheld, run as users run it: the password comes on
// standard input, and what the program wrote is checked with independent readers:
// Perl's Palm::PDB for the file (attributes, categories, app info) and OpenSSL for the
// digest and the cipher. Expected code page 932 bytes are written out by hand.
#include <gtest/gtest.h>
#include <openssl/blowfish.h>
#include <openssl/md5.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hotsync/handheld/Handheld.h"
#include "hotsync/handheld/HandheldDatabase.h"
#include "tests/support/Subprocess.h"
#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// UTF-8 texts and their code page 932 bytes.
constexpr char kPasswordUtf8[] = "\xe3\x81\xb2\xe3\x81\xbf\xe3\x81\xa4";  // ひみつ
constexpr char kPasswordCp932[] = "\x82\xd0\x82\xdd\x82\xc2";
constexpr char kHintUtf8[] = "\xe3\x83\x92\xe3\x83\xb3\xe3\x83\x88";  // ヒント
constexpr char kHintCp932[] = "\x83\x71\x83\x93\x83\x67";
constexpr char kMemoUtf8[] = "\xe3\x81\x93\xe3\x82\x93\xe3\x81\xab\xe3\x81\xa1\xe3\x81\xaf\r\n"
                             "\xe4\xb8\x96\xe7\x95\x8c";  // こんにちは CR LF 世界
constexpr char kMemoCp932[] = "\x82\xb1\x82\xf1\x82\xc9\x82\xbf\x82\xcd\n\x90\xa2\x8a\x45";
constexpr char kWorkUtf8[] = "\xe4\xbb\x95\xe4\xba\x8b";  // 仕事
constexpr char kWorkCp932[] = "\x8e\x64\x8e\x96";

using ToolRun = testing::ProcessResult;

struct PdbView {
  std::string header;  // "NAME TYPE CREATOR BACKUP"
  Bytes appInfo;
  struct Record {
    std::uint32_t id;
    int attributes;
    Bytes data;
  };
  std::vector<Record> records;
  const Record& ById(std::uint32_t id) const {
    for (const Record& r : records) {
      if (r.id == id) return r;
    }
    throw std::runtime_error("no record " + std::to_string(id));
  }
};

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The stored memo form, written out independently: text, NUL, zeros to a multiple of 8.
Bytes StoredForm(const std::string& cp932) {
  Bytes stored = AsBytes(cp932);
  stored.push_back(0);
  while (stored.size() % 8 != 0) stored.push_back(0);
  return stored;
}

// OpenSSL's Blowfish reads each half big-endian, the byte order of stored memos.
Bytes Decipher(const std::string& key, Bytes data) {
  BF_KEY bf;
  BF_set_key(&bf, static_cast<int>(key.size()), reinterpret_cast<const unsigned char*>(key.data()));
  for (std::size_t at = 0; at + 8 <= data.size(); at += 8) {
    BF_ecb_encrypt(data.data() + at, data.data() + at, &bf, BF_DECRYPT);
  }
  return data;
}

Bytes Md5(const std::string& text) {
  Bytes digest(MD5_DIGEST_LENGTH);
  MD5(reinterpret_cast<const unsigned char*>(text.data()), text.size(), digest.data());
  return digest;
}

Bytes Slice(const Bytes& bytes, std::size_t at, std::size_t n) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + n));
}

std::string Quote(const std::string& word) {
  std::string quoted = "'";
  for (const char c : word) quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class HandheldCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    hh_ = dir_ + "/hh";
    unsetenv("TALLIMOR_HANDHELD");
  }

  // Runs the program on the handheld with `input` on standard input (not a terminal).
  // A run that does not end within a minute is killed (timedOut).
  ToolRun Tool(const std::vector<std::string>& args, const std::string& input = "", bool withHandheld = true) {
    testing::SubprocessOptions options;
    options.input = input;
    options.timeout = std::chrono::minutes(1);
    std::vector<std::string> arguments;
    if (withHandheld) arguments = {"--handheld", hh_};
    arguments.insert(arguments.end(), args.begin(), args.end());
    return testing::Subprocess::Run(TALLIMOR_HANDHELD_PROGRAM, arguments, options);
  }
  // Runs a command that must succeed; returns its standard output.
  std::string Ok(const std::vector<std::string>& args, const std::string& input = "") {
    const ToolRun run = Tool(args, input);
    EXPECT_EQ(run.status, 0) << args[0] << ": " << run.err;
    return run.out;
  }

  void MakeHandheld(bool protectedDb) {
    Ok({"init", "--user", "Taro Yamada", "--user-id", "42"});
    if (protectedDb) {
      Ok({"create-db", "--password", "--hint", kHintUtf8}, std::string(kPasswordUtf8) + "\n");
    } else {
      Ok({"create-db"});
    }
  }

  std::string DbPath() const { return hh_ + "/TallimorDB.pdb"; }

  PdbView Read(const std::string& path) {
    const testing::ProcessResult perl =
        testing::Subprocess::Run("perl", {TALLIMOR_HANDHELD_TEST_DIR "/read_memo_pdb.pl", path});
    EXPECT_EQ(perl.status, 0) << perl.out << perl.err;
    PdbView view;
    std::istringstream lines(perl.out);
    std::string line;
    while (std::getline(lines, line)) {
      std::istringstream words(line);
      std::string kind;
      words >> kind;
      if (kind == "header") {
        std::getline(words, view.header);
        view.header.erase(0, 1);
      } else if (kind == "appinfo") {
        std::string hex;
        words >> hex;
        view.appInfo = FromHex(hex);
      } else if (kind == "record") {
        PdbView::Record r{};
        std::string hex;
        words >> r.id >> r.attributes >> hex;
        r.data = FromHex(hex);
        view.records.push_back(r);
      }
    }
    return view;
  }
  PdbView Read() { return Read(DbPath()); }

  // What a finished HotSync leaves on the handheld: no dirty, deleted or archived
  // records, and a category table whose renamed flags the conduit wrote back as zero.
  void SimulateHotSync() {
    std::unique_ptr<HandheldDatabase> db;
    std::string error;
    ASSERT_EQ(HandheldDatabase::Load(DbPath(), &db, &error), kSyncErrNone) << error;
    db->ResetSyncFlags();
    Bytes appInfo = *db->appInfo();
    appInfo[0] = appInfo[1] = 0;
    db->SetAppInfo(appInfo);
    ASSERT_EQ(db->Save(DbPath(), 0, &error), kSyncErrNone) << error;
  }

  tallimor::testing::TempDir temp_{"handheld-cli"};  // removed after the test
  std::string dir_;
  std::string hh_;
};

TEST_F(HandheldCli, ProtectedDatabaseBuiltFromTheCommandLineReadsBackIndependently) {
  MakeHandheld(true);
  EXPECT_EQ(Ok({"category", "add", kWorkUtf8}), "1\n");
  const std::string pw = std::string(kPasswordUtf8) + "\n";
  EXPECT_EQ(Ok({"add", kMemoUtf8}, pw), "1\n");
  EXPECT_EQ(Ok({"add", "--private", "--category", "1", "--", "-eight b"}, pw), "2\n");

  // Listed deciphered, as UTF-8 with LF line ends.
  EXPECT_EQ(Ok({"list", "--json"}, pw),
            "[\n"
            "  {\"id\": 1, \"index\": 0, \"category\": 0, \"attributes\": 64, \"text\": \""
            "\xe3\x81\x93\xe3\x82\x93\xe3\x81\xab\xe3\x81\xa1\xe3\x81\xaf\\u000a\xe4\xb8\x96\xe7\x95\x8c\"},\n"
            "  {\"id\": 2, \"index\": 1, \"category\": 1, \"attributes\": 80, \"text\": \"-eight b\"}\n"
            "]\n");
  EXPECT_EQ(Ok({"show", "2"}, pw), "-eight b\n");

  const PdbView view = Read();
  EXPECT_EQ(view.header, "TallimorDB DATA Tlmr 1");
  // App info: the category table, 4 zero bytes, the MD5 digest, the hint and its NUL.
  ASSERT_EQ(view.appInfo.size(), 296u + std::strlen(kHintCp932) + 1);
  Bytes table(276, 0);
  table[1] = 0x02;  // index 1 added on the handheld: marked renamed
  const std::string unfiled = "Unfiled";
  std::copy(unfiled.begin(), unfiled.end(), table.begin() + 2);
  const std::string work = kWorkCp932;
  std::copy(work.begin(), work.end(), table.begin() + 18);
  table[258] = 0;  // Unfiled's id
  table[259] = 1;  // the first id the handheld gives
  table[274] = 1;  // the last id given
  EXPECT_EQ(Slice(view.appInfo, 0, 276), table);
  EXPECT_EQ(Slice(view.appInfo, 276, 4), Bytes(4, 0));
  EXPECT_EQ(Slice(view.appInfo, 280, 16), Md5(kPasswordCp932));
  EXPECT_EQ(Slice(view.appInfo, 296, 7), Bytes({0x83, 0x71, 0x83, 0x93, 0x83, 0x67, 0}));

  // Records: dirty (and private) in their categories, data the enciphered stored form.
  ASSERT_EQ(view.records.size(), 2u);
  EXPECT_EQ(view.ById(1).attributes, 0x40);
  EXPECT_EQ(view.ById(2).attributes, 0x40 | 0x10 | 1);
  EXPECT_NE(view.ById(1).data, StoredForm(kMemoCp932));
  EXPECT_EQ(Decipher(kPasswordCp932, view.ById(1).data), StoredForm(kMemoCp932));
  EXPECT_EQ(Decipher(kPasswordCp932, view.ById(2).data), StoredForm("-eight b"));  // 8 bytes take 16
  EXPECT_EQ(view.ById(2).data.size(), 16u);
}

TEST_F(HandheldCli, WrongOrMissingPasswordChangesNothing) {
  MakeHandheld(true);
  Ok({"add", "first"}, std::string(kPasswordUtf8) + "\n");
  const std::string before = testing::ReadWholeFile(DbPath());
  for (const std::string& typed : {std::string("wrong\n"), std::string(kPasswordUtf8) + "x\n", std::string("")}) {
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"add", "second"}, {"edit", "1", "changed"}, {"list"}, {"password"}}) {
      const ToolRun run = Tool(command, typed);
      EXPECT_EQ(run.status, 3) << command[0] << " with '" << typed << "'";
      EXPECT_EQ(run.out, "") << command[0];
      EXPECT_FALSE(run.err.empty());
    }
  }
  EXPECT_NE(Tool({"list"}, "wrong\n").err.find("wrong password"), std::string::npos);
  EXPECT_EQ(testing::ReadWholeFile(DbPath()), before);
  // Attribute and category changes need no password, as they touch no memo text.
  EXPECT_EQ(Tool({"private", "1", "on"}).status, 0);
}

TEST_F(HandheldCli, ACommandDuringAHotSyncIsRefusedNamingTheHotSyncAndChangesNothing) {
  MakeHandheld(true);
  Ok({"add", "first"}, std::string(kPasswordUtf8) + "\n");
  const std::string before = testing::ReadWholeFile(DbPath());
  std::unique_ptr<Handheld> syncing;
  std::string error;
  ASSERT_EQ(Handheld::Open(hh_, &syncing, &error), kSyncErrNone);
  ASSERT_EQ(syncing->Lock("hotsync", &error), kSyncErrNone);
  const ToolRun run = Tool({"add", "during the HotSync"}, std::string(kPasswordUtf8) + "\n");
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.err.find("in use by hotsync"), std::string::npos) << run.err;
  EXPECT_EQ(testing::ReadWholeFile(DbPath()), before);
  syncing.reset();
  Ok({"add", "after the HotSync"}, std::string(kPasswordUtf8) + "\n");
}

TEST_F(HandheldCli, MemoChangesMarkRecordsAsTheHandheldDoes) {
  MakeHandheld(false);
  Ok({"category", "add", "Work"});
  for (const char* text : {"one", "two", "three", "four", "five"}) Ok({"add", text});
  Ok({"private", "5", "on"});
  SimulateHotSync();
  for (const PdbView::Record& r : Read().records) EXPECT_EQ(r.attributes & 0xC8, 0) << r.id;

  Ok({"edit", "1", "one, edited"});
  Ok({"private", "2", "on"});
  Ok({"move", "3", "1"});
  Ok({"delete", "4"});
  Ok({"delete", "5", "--archive"});
  // Nothing changes, so nothing is marked.
  EXPECT_NE(Tool({"edit", "3", "three"}).err.find("nothing was changed"), std::string::npos);
  Ok({"private", "3", "off"});

  const PdbView view = Read();
  EXPECT_EQ(view.ById(1).attributes, 0x40);
  EXPECT_EQ(view.ById(1).data, StoredForm("one, edited"));
  EXPECT_EQ(view.ById(2).attributes, 0x40 | 0x10);
  EXPECT_EQ(view.ById(3).attributes, 0x40 | 1);
  EXPECT_EQ(view.ById(4).attributes, 0x80 | 0x40);  // deleted: data dropped
  EXPECT_TRUE(view.ById(4).data.empty());
  EXPECT_EQ(view.ById(5).attributes, 0x80 | 0x40 | 0x10 | 0x08);  // archived: data kept
  EXPECT_EQ(view.ById(5).data, StoredForm("five"));

  // The Sync Manager's view in the listing; a deleted memo can no longer be changed.
  const std::string list = Ok({"list", "--json"});
  EXPECT_NE(list.find("{\"id\": 4, \"index\": 3, \"category\": 0, \"attributes\": 192, \"text\": \"\"}"),
            std::string::npos) << list;
  EXPECT_NE(list.find("{\"id\": 5, \"index\": 4, \"category\": 0, \"attributes\": 216, \"text\": \"five\"}"),
            std::string::npos) << list;
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"edit", "4", "x"}, {"private", "5", "off"}, {"move", "4", "0"}, {"delete", "5"}}) {
    const ToolRun run = Tool(command);
    EXPECT_EQ(run.status, 1) << command[0];
    EXPECT_NE(run.err.find("is deleted"), std::string::npos) << run.err;
  }
  const ToolRun missing = Tool({"edit", "99", "x"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no memo with id 99"), std::string::npos);
  EXPECT_EQ(Tool({"move", "1", "7"}).status, 1);  // no category at index 7
}

TEST_F(HandheldCli, CategoriesCarryRenamedFlagsAndHandheldIds) {
  MakeHandheld(false);
  EXPECT_EQ(Ok({"category", "add", "Work"}), "1\n");
  EXPECT_EQ(Ok({"category", "add", "Home"}), "2\n");
  EXPECT_EQ(Ok({"category", "add", "Travel"}), "3\n");
  Ok({"add", "--category", "2", "at home"});
  SimulateHotSync();
  EXPECT_EQ(Slice(Read().appInfo, 0, 2), Bytes({0, 0}));

  Ok({"category", "rename", "1", kWorkUtf8});
  Ok({"category", "delete", "2"});
  // The freed index is taken again, with a new id after the last one given.
  EXPECT_EQ(Ok({"category", "add", "Hobby"}), "2\n");

  const PdbView view = Read();
  EXPECT_EQ(Slice(view.appInfo, 0, 2), Bytes({0, 0x06}));  // indexes 1 (renamed) and 2 (added)
  EXPECT_EQ(Slice(view.appInfo, 18, 16), [] {
    Bytes name(16, 0);
    std::copy_n(kWorkCp932, 4, name.begin());
    return name;
  }());
  EXPECT_EQ(Slice(view.appInfo, 258, 4), Bytes({0, 1, 4, 3}));
  EXPECT_EQ(view.appInfo[274], 4);
  // The memo of the deleted category went to Unfiled, marked for the HotSync.
  EXPECT_EQ(view.ById(1).attributes, 0x40);
  EXPECT_EQ(Ok({"category", "list", "--json"}),
            "[\n"
            "  {\"index\": 0, \"id\": 0, \"name\": \"Unfiled\", \"renamed\": false},\n"
            "  {\"index\": 1, \"id\": 1, \"name\": \"\xe4\xbb\x95\xe4\xba\x8b\", \"renamed\": true},\n"
            "  {\"index\": 2, \"id\": 4, \"name\": \"Hobby\", \"renamed\": true},\n"
            "  {\"index\": 3, \"id\": 3, \"name\": \"Travel\", \"renamed\": false}\n"
            "]\n");

  const std::string before = testing::ReadWholeFile(DbPath());
  struct Refused {
    std::vector<std::string> command;
    const char* why;
  };
  const std::string sixteenBytes = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x83\x91\xe3\x82\xb9\xe3\x83\xaf"
                                   "\xe3\x83\xbc\xe3\x83\x89";  // 日本語パスワード: 16 bytes
  for (const Refused& refused : std::vector<Refused>{
           {{"category", "add", "travel"}, "exists already"},
           {{"category", "rename", "3", "HOBBY"}, "exists already"},
           {{"category", "add", sixteenBytes}, "at most 15"},
           {{"category", "rename", "0", "Misc"}, "cannot be renamed"},
           {{"category", "delete", "0"}, "cannot be deleted"},
           {{"category", "delete", "9"}, "no category at index 9"},
       }) {
    const ToolRun run = Tool(refused.command);
    EXPECT_EQ(run.status, 1) << refused.command[1];
    EXPECT_NE(run.err.find(refused.why), std::string::npos) << run.err;
  }
  EXPECT_EQ(testing::ReadWholeFile(DbPath()), before);
  // Fifteen bytes fit; a sixteenth category index does not exist.
  EXPECT_EQ(Ok({"category", "add", sixteenBytes.substr(0, 12) + "x"}), "4\n");
  for (int i = 5; i <= 15; ++i) Ok({"category", "add", "C" + std::to_string(i)});
  EXPECT_NE(Tool({"category", "add", "Sixteenth"}).err.find("every category index"), std::string::npos);
}

TEST_F(HandheldCli, PasswordChangeReEnciphersEveryMemo) {
  MakeHandheld(true);
  const std::string pw = std::string(kPasswordUtf8) + "\n";
  Ok({"add", "kept"}, pw);
  Ok({"add", "archived"}, pw);
  Ok({"delete", "2", "--archive"});
  SimulateHotSync();  // drops the archived memo, as the HotSync does
  Ok({"add", "to archive"}, pw);
  Ok({"delete", "3", "--archive"});

  // Current password on the first line, the new one on the second; the hint is kept.
  Ok({"password"}, pw + "new key\n");
  PdbView view = Read();
  EXPECT_EQ(Slice(view.appInfo, 280, 16), Md5("new key"));
  EXPECT_EQ(Slice(view.appInfo, 296, 7), AsBytes(std::string(kHintCp932) + '\0'));
  EXPECT_EQ(view.ById(1).attributes, 0x40);
  EXPECT_EQ(Decipher("new key", view.ById(1).data), StoredForm("kept"));
  EXPECT_EQ(Decipher("new key", view.ById(3).data), StoredForm("to archive"));
  EXPECT_EQ(Tool({"list"}, pw).status, 3);

  // A password of 16 Japanese characters fits; 17 do not; neither may be empty.
  const std::string sixteen = std::string(kPasswordUtf8) + kPasswordUtf8 + kPasswordUtf8 + kPasswordUtf8 +
                              kPasswordUtf8 + "\xe3\x81\x82";
  EXPECT_EQ(Tool({"password"}, "new key\n" + sixteen + "x\n").status, 3);
  EXPECT_EQ(Tool({"password"}, "new key\n\n").status, 3);
  Ok({"password", "--hint", "plain hint"}, "new key\n" + sixteen + "\n");
  view = Read();
  EXPECT_EQ(Slice(view.appInfo, 296, view.appInfo.size() - 296), AsBytes(std::string("plain hint") + '\0'));

  // Removing the password stores the memos plain and clears digest and hint.
  Ok({"password", "--remove"}, sixteen + "\n");
  view = Read();
  EXPECT_EQ(Slice(view.appInfo, 280, 17), Bytes(17, 0));
  EXPECT_EQ(view.appInfo.size(), 297u);
  EXPECT_EQ(view.ById(1).data, StoredForm("kept"));
  EXPECT_EQ(Ok({"show", "3"}), "to archive\n");
  EXPECT_EQ(Tool({"password", "--remove"}).status, 1);
}

TEST_F(HandheldCli, TextsOutsideCodePage932AndOverLimitsAreRefused) {
  MakeHandheld(false);
  const std::string before = testing::ReadWholeFile(DbPath());
  const ToolRun emoji = Tool({"add", "smile \xf0\x9f\x98\x80"});
  EXPECT_EQ(emoji.status, 1);
  EXPECT_NE(emoji.err.find("U+1F600"), std::string::npos) << emoji.err;
  EXPECT_NE(emoji.err.find("code page 932"), std::string::npos);
  EXPECT_EQ(Tool({"add", "bad \xff utf-8"}).status, 1);
  EXPECT_EQ(Tool({"category", "add", "\xf0\x9f\x98\x80"}).status, 1);
  EXPECT_EQ(Tool({"add", ""}).status, 1);
  EXPECT_EQ(Tool({"add", std::string(65480, 'a')}).status, 1);
  EXPECT_EQ(testing::ReadWholeFile(DbPath()), before);
  EXPECT_EQ(Ok({"add", std::string(65479, 'a')}), "1\n");
  EXPECT_EQ(Read().ById(1).data.size(), 65480u);
  EXPECT_EQ(Tool({"create-db", "--password", "--hint", std::string(256, 'h')}).status, 1);
}

TEST_F(HandheldCli, EveryCommandHasHelpAndBadCommandLinesExit2) {
  const ToolRun help = Tool({"--help"}, "", false);
  EXPECT_EQ(help.status, 0);
  const std::vector<std::string> commands = {"init", "create-db", "password", "add",    "edit",   "delete",   "private",
                                             "move", "show",      "list",     "category", "import", "export", "databases"};
  for (const std::string& command : commands) {
    EXPECT_NE(help.out.find("  " + command + " "), std::string::npos) << command;
    const ToolRun one = Tool({command, "--help"}, "", false);
    EXPECT_EQ(one.status, 0) << command;
    EXPECT_EQ(one.out.rfind("Usage: tallimor-handheld --handheld DIR " + command, 0), 0u) << one.out;
  }
  EXPECT_EQ(Tool({"category", "rename", "--help"}, "", false).status, 0);
  EXPECT_EQ(Tool({"--version"}, "", false).status, 0);

  MakeHandheld(false);
  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"frobnicate"}, {"add"}, {"add", "two", "words"}, {"add", "--category", "16", "x"}, {"edit", "0", "x"},
           {"edit", "abc", "x"}, {"delete", "1", "--purge"}, {"private", "1", "maybe"}, {"move", "1"},
           {"category"}, {"category", "shuffle"}, {"list", "--json=yes"}, {"create-db", "--hint", "h"},
           {"password", "--remove", "--hint", "h"}, {"init"}}) {
    const ToolRun run = Tool(bad);
    EXPECT_EQ(run.status, 2) << bad[0] << " " << (bad.size() > 1 ? bad[1] : "");
    EXPECT_NE(run.err.find("Try 'tallimor-handheld"), std::string::npos) << run.err;
  }
  EXPECT_EQ(Tool({"list"}, "", false).status, 2);  // no --handheld
  const ToolRun notHandheld = Tool({"--handheld", dir_ + "/nowhere", "list"}, "", false);
  EXPECT_EQ(notHandheld.status, 1);
  EXPECT_NE(notHandheld.err.find("init --user NAME"), std::string::npos);
  EXPECT_EQ(Tool({"create-db"}).status, 1);  // exists already
  EXPECT_EQ(Tool({"init", "--user", "Other"}).status, 1);
}

TEST_F(HandheldCli, ImportAndExportCarryDatabasesBetweenHandhelds) {
  MakeHandheld(true);
  Ok({"category", "add", "Work"});
  Ok({"add", "--category", "1", kMemoUtf8}, std::string(kPasswordUtf8) + "\n");
  Ok({"export", "TallimorDB", dir_ + "/copy.pdb"});
  const PdbView original = Read();
  const PdbView exported = Read(dir_ + "/copy.pdb");
  EXPECT_EQ(exported.header, original.header);
  EXPECT_EQ(exported.appInfo, original.appInfo);
  ASSERT_EQ(exported.records.size(), 1u);
  EXPECT_EQ(exported.records[0].data, original.records[0].data);
  EXPECT_EQ(exported.records[0].attributes, original.records[0].attributes);

  // A second handheld takes the copy and reads the same memo with the same password.
  const std::string first = hh_;
  hh_ = dir_ + "/second";
  Ok({"init", "--user", "Hanako"});
  EXPECT_EQ(Ok({"import", dir_ + "/copy.pdb"}), "TallimorDB\n");
  EXPECT_EQ(Ok({"show", "1"}, std::string(kPasswordUtf8) + "\n"),
            "\xe3\x81\x93\xe3\x82\x93\xe3\x81\xab\xe3\x81\xa1\xe3\x81\xaf\n\xe4\xb8\x96\xe7\x95\x8c\n");
  EXPECT_EQ(Tool({"import", dir_ + "/copy.pdb"}).status, 1);  // exists: needs --replace
  Ok({"import", "--replace", dir_ + "/copy.pdb"});

  // A database of another application may be installed, but is not taken for the memo database.
  const std::string perl =
      "perl -MPalm::PDB -MPalm::Raw -e '$p = Palm::Raw->new; $p->{name} = \"TallimorDB\"; "
      "$p->{type} = \"DATA\"; $p->{creator} = \"Othr\"; $p->{appinfo} = \"x\" x 300; "
      "$p->append_Record({id => 5, category => 0, attributes => {}, data => \"abc\"}); $p->Write($ARGV[0])' " +
      Quote(dir_ + "/other.pdb");
  ASSERT_EQ(std::system(perl.c_str()), 0);
  Ok({"import", "--replace", dir_ + "/other.pdb"});
  EXPECT_NE(Ok({"databases"}).find("TallimorDB  creator Othr  type DATA"), std::string::npos);
  const ToolRun foreign = Tool({"list"});
  EXPECT_EQ(foreign.status, 1);
  EXPECT_NE(foreign.err.find("not the memo database"), std::string::npos) << foreign.err;

  std::ofstream(dir_ + "/junk.pdb") << "not a database";
  EXPECT_EQ(Tool({"import", dir_ + "/junk.pdb"}).status, 1);
  EXPECT_EQ(Tool({"export", "NoSuchDB", dir_ + "/x.pdb"}).status, 1);
  hh_ = first;
}

// 山田 太郎 as typed and as the handheld stores it.
constexpr char kNameUtf8[] = "\xe5\xb1\xb1\xe7\x94\xb0 \xe5\xa4\xaa\xe9\x83\x8e";
constexpr char kNameCp932[] = "\x8e\x52\x93\x63\x20\x91\xbe\x98\x59";

TEST_F(HandheldCli, UserNamesAreStoredInCodePage932AndNeverEmpty) {
  // Refused names leave no handheld behind.
  const ToolRun empty = Tool({"init", "--user", ""});
  EXPECT_EQ(empty.status, 2);
  EXPECT_NE(empty.err.find("not empty"), std::string::npos) << empty.err;
  const ToolRun emoji = Tool({"init", "-u", "smile \xf0\x9f\x98\x80"});
  EXPECT_EQ(emoji.status, 1);
  EXPECT_NE(emoji.err.find("U+1F600"), std::string::npos) << emoji.err;
  EXPECT_FALSE(fs::exists(hh_ + "/handheld.ini"));

  Ok({"init", "-u", kNameUtf8});
  EXPECT_NE(testing::ReadWholeFile(hh_ + "/handheld.ini").find(std::string("\nUserName=") + kNameCp932 + "\n"), std::string::npos);

  // The 40-byte limit counts the stored bytes: 20 kanji fit (60 bytes of UTF-8), 21 do not.
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "\xe5\xb1\xb1";
  hh_ = dir_ + "/twenty";
  Ok({"init", "-u", twenty});
  hh_ = dir_ + "/twenty-one";
  const ToolRun tooLong = Tool({"init", "-u", twenty + "\xe5\xb1\xb1"});
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_NE(tooLong.err.find("40 bytes"), std::string::npos) << tooLong.err;

  // A hand-edited identity without a name is refused when the handheld is opened.
  hh_ = dir_ + "/edited";
  Ok({"init", "-u", "Taro"});
  std::ofstream(hh_ + "/handheld.ini", std::ios::trunc) << "[Handheld]\nUserName=\nUserId=0\n";
  const ToolRun nameless = Tool({"databases"});
  EXPECT_EQ(nameless.status, 1);
  EXPECT_NE(nameless.err.find("user name is empty"), std::string::npos) << nameless.err;
}

TEST_F(HandheldCli, MemoTextFromStandardInputFollowsThePasswordLine) {
  MakeHandheld(true);
  const std::string pw = std::string(kPasswordUtf8) + "\n";
  EXPECT_EQ(Ok({"add", "-"}, pw + "first line\n-second line\n"), "1\n");
  EXPECT_EQ(Ok({"add", "--private", "-"}, pw + kMemoUtf8), "2\n");  // no final line end
  EXPECT_EQ(Ok({"add", "-"}, pw + "-\n"), "3\n");                   // the text "-" itself
  EXPECT_EQ(Ok({"show", "1"}, pw), "first line\n-second line\n");
  const PdbView view = Read();
  EXPECT_EQ(Decipher(kPasswordCp932, view.ById(1).data), StoredForm("first line\n-second line"));
  EXPECT_EQ(Decipher(kPasswordCp932, view.ById(2).data), StoredForm(kMemoCp932));
  EXPECT_EQ(Decipher(kPasswordCp932, view.ById(3).data), StoredForm("-"));
  EXPECT_EQ(view.ById(2).attributes, 0x40 | 0x10);

  Ok({"edit", "1", "-"}, pw + "changed\r\n");
  EXPECT_EQ(Decipher(kPasswordCp932, Read().ById(1).data), StoredForm("changed"));

  // A wrong password reads no text and changes nothing; text that cannot be stored,
  // or more than any memo could hold, is refused.
  const std::string before = testing::ReadWholeFile(DbPath());
  const ToolRun wrong = Tool({"add", "-"}, "wrong\nsecret memo\n");
  EXPECT_EQ(wrong.status, 3);
  EXPECT_EQ(wrong.err.find("secret memo"), std::string::npos);
  const ToolRun emoji = Tool({"edit", "1", "-"}, pw + "smile \xf0\x9f\x98\x80\n");
  EXPECT_EQ(emoji.status, 1);
  EXPECT_NE(emoji.err.find("U+1F600"), std::string::npos) << emoji.err;
  EXPECT_EQ(Tool({"add", "-"}, pw + std::string(300 * 1024, 'a')).status, 1);
  EXPECT_EQ(Tool({"add", "-"}, pw).status, 1);  // no text at all
  EXPECT_EQ(testing::ReadWholeFile(DbPath()), before);

  // Without a password all of standard input is the text.
  hh_ = dir_ + "/plain";
  MakeHandheld(false);
  EXPECT_EQ(Ok({"add", "-"}, std::string(kPasswordUtf8) + "\nplain\n"), "1\n");
  EXPECT_EQ(Ok({"show", "1"}), std::string(kPasswordUtf8) + "\nplain\n");
}

TEST_F(HandheldCli, HandheldComesFromTheEnvironmentUnlessGiven) {
  setenv("TALLIMOR_HANDHELD", hh_.c_str(), 1);
  EXPECT_EQ(Tool({"init", "-u", "Taro"}, "", false).status, 0);
  EXPECT_EQ(Tool({"create-db", "-p", "--hint", ""}, "pw\n", false).status, 0);
  EXPECT_EQ(Tool({"add", "-"}, "pw\nfrom the environment\n", false).out, "1\n");
  EXPECT_EQ(Tool({"list", "-j"}, "pw\n", false).out,
            "[\n  {\"id\": 1, \"index\": 0, \"category\": 0, \"attributes\": 64, \"text\": \"from the environment\"}\n]\n");
  // -H wins over the environment.
  const std::string envHandheld = hh_;
  hh_ = dir_ + "/other";
  EXPECT_EQ(Tool({"-H", hh_, "init", "-u", "Hanako"}, "", false).status, 0);
  EXPECT_EQ(Tool({"-H", hh_, "databases"}, "", false).out, "");
  EXPECT_NE(Tool({"databases"}, "", false).out.find("TallimorDB"), std::string::npos);
  setenv("TALLIMOR_HANDHELD", "", 1);
  const ToolRun none = Tool({"databases"}, "", false);
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("TALLIMOR_HANDHELD"), std::string::npos) << none.err;
  unsetenv("TALLIMOR_HANDHELD");
  hh_ = envHandheld;
}

TEST_F(HandheldCli, HandheldFilesArePrivateToTheUser) {
  const mode_t saved = umask(022);
  auto mode = [](const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
  };
  MakeHandheld(true);
  Ok({"add", "a memo"}, std::string(kPasswordUtf8) + "\n");
  EXPECT_EQ(mode(hh_), 0700u);
  EXPECT_EQ(mode(hh_ + "/handheld.ini"), 0600u);
  EXPECT_EQ(mode(DbPath()), 0600u);
  EXPECT_EQ(mode(hh_ + "/handheld.lock"), 0600u);
  // A new export holds the digest and hint too; a file that exists keeps its mode.
  Ok({"export", "TallimorDB", dir_ + "/new.pdb"});
  EXPECT_EQ(mode(dir_ + "/new.pdb"), 0600u);
  std::ofstream(dir_ + "/shared.pdb") << "old";
  fs::permissions(dir_ + "/shared.pdb", fs::perms(0644));
  Ok({"export", "TallimorDB", dir_ + "/shared.pdb"});
  EXPECT_EQ(mode(dir_ + "/shared.pdb"), 0644u);
  // Installed databases are private as well.
  hh_ = dir_ + "/second";
  Ok({"init", "-u", "Hanako"});
  Ok({"import", dir_ + "/shared.pdb"});
  EXPECT_EQ(mode(DbPath()), 0600u);
  umask(saved);
}

TEST_F(HandheldCli, NonRegularFilesAreRefusedNamingThemAndNeverWaitedOn) {
  MakeHandheld(false);
  Ok({"add", "kept"});
  const std::string kept = DbPath() + ".kept";
  fs::rename(DbPath(), kept);
  ASSERT_EQ(mkfifo(DbPath().c_str(), 0600), 0);
  for (const std::vector<std::string>& command :
       std::vector<std::vector<std::string>>{{"list"}, {"add", "x"}, {"export", "TallimorDB", dir_ + "/x.pdb"}}) {
    const ToolRun run = Tool(command);
    EXPECT_EQ(run.status, 1) << command[0] << ": " << run.err;
    EXPECT_NE(run.err.find("TallimorDB.pdb: not a regular file"), std::string::npos) << run.err;
  }
  const ToolRun import = Tool({"import", "--replace", DbPath()});
  EXPECT_EQ(import.status, 1);
  EXPECT_NE(import.err.find("not a regular file"), std::string::npos) << import.err;
  fs::remove(DbPath());
  fs::rename(kept, DbPath());

  const std::string identity = hh_ + "/handheld.ini";
  fs::rename(identity, identity + ".kept");
  ASSERT_EQ(mkfifo(identity.c_str(), 0600), 0);
  const ToolRun run = Tool({"list"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("handheld.ini: not a regular file"), std::string::npos) << run.err;
  fs::remove(identity);
  fs::rename(identity + ".kept", identity);
  EXPECT_NE(Ok({"list"}).find("kept"), std::string::npos);
}

}  // namespace
}  // namespace tallimor
