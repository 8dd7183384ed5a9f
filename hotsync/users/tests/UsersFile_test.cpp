// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the users file's text: what is written, what survives a round trip, and
// what the reader makes of hand-edited and hostile files.
#include "hotsync/users/UsersFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace tallimor {
namespace {

// "山田 太郎" in code page 932.
const std::string kJapaneseName = "\x8e\x52\x93\x63\x20\x91\xbe\x98\x59";

std::string Body(const std::string& file) {
  // Everything after the comment lines at the top.
  std::size_t pos = 0;
  while (pos < file.size() && file[pos] == '#') pos = file.find('\n', pos) + 1;
  return file.substr(pos);
}

TEST(UsersFileFormat, WritesOneSectionPerUserAndPerValueSection) {
  std::vector<HotSyncUser> users(2);
  users[0] = {3141592, "Taro Yamada", "YamadaT", {}};
  // Values of one section are kept together whatever order they come in.
  ASSERT_TRUE(UsersFile::SetValue(users[0].values, {"Tallimore-Vexa", "LastCategory", 3}));
  ASSERT_TRUE(UsersFile::SetValue(users[0].values, {"Other", "K", -7}));
  ASSERT_TRUE(UsersFile::SetValue(users[0].values, {"Tallimore-Vexa", "Width", 640}));
  users[1] = {7, "Cher", "Cher", {}};
  EXPECT_EQ(Body(UsersFile::Format(users)),
            "\n[User 3141592]\nName=Taro Yamada\nDirectory=YamadaT\n"
            "\n[User 3141592 Tallimore-Vexa]\nLastCategory=3\nWidth=640\n"
            "\n[User 3141592 Other]\nK=-7\n"
            "\n[User 7]\nName=Cher\nDirectory=Cher\n");
}

TEST(UsersFileFormat, AnyTextRoundTripsAsPlainAsciiLines) {
  std::vector<HotSyncUser> users(1);
  users[0] = {1, kJapaneseName, "Yamada", {{" [Sect]ion= ", "#key;=\\ ", 1}}};
  users[0].name += " \\=[]#;";
  const std::string file = UsersFile::Format(users);
  for (char c : file) {
    ASSERT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << static_cast<int>(c);
  }
  EXPECT_NE(file.find("Name=\\x8ER\\x93c \\x91\\xBE\\x98Y \\x5C\\x3D\\x5B\\x5D\\x23\\x3B\n"),
            std::string::npos);
  const std::vector<HotSyncUser> back = UsersFile::Parse(file);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back[0].name, users[0].name);
  ASSERT_EQ(back[0].values.size(), 1u);
  EXPECT_EQ(back[0].values[0].section, " [Sect]ion= ");
  EXPECT_EQ(back[0].values[0].key, "#key;=\\ ");
}

TEST(UsersFileParse, ReadsAHandEditedFile) {
  const std::string file =
      "; edited by hand\r\n"
      "[User 12 Tallimore-Vexa]\r\n"      // values before their user's section
      "  LastCategory =  +5 \r\n"
      "\r\n"
      "[User 12]\r\n"
      "name = Hanako Sato\r\n"
      "DIRECTORY=SatoH\r\n"
      "Unknown=ignored\r\n"
      "[Something else]\r\n"
      "Name=not a user\r\n";
  const std::vector<HotSyncUser> users = UsersFile::Parse(file);
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].id, 12u);
  EXPECT_EQ(users[0].name, "Hanako Sato");
  EXPECT_EQ(users[0].directory, "SatoH");
  ASSERT_EQ(users[0].values.size(), 1u);
  EXPECT_EQ(users[0].values[0].value, 5);
}

TEST(UsersFileParse, UsersWithUnsafeOrSharedDirectoriesAreDropped) {
  const std::string file =
      "[User 1]\nName=a\nDirectory=..\n"
      "[User 2]\nName=b\nDirectory=.\n"
      "[User 3]\nName=c\nDirectory=a/b\n"
      "[User 4]\nName=d\nDirectory=/etc\n"
      "[User 5]\nName=e\n"
      "[User 6]\nName=f\nDirectory=x\\x0Ay\n"
      "[User 7]\nName=g\nDirectory=Yamada\n"
      "[User 8]\nName=h\nDirectory=yamada\n"
      "[User 9]\nName=i\nDirectory=\\x2E\\x2E\n"
      "[User 10]\nName=j\nDirectory=Sato\n";
  const std::vector<HotSyncUser> users = UsersFile::Parse(file);
  ASSERT_EQ(users.size(), 2u);
  EXPECT_EQ(users[0].id, 7u);
  EXPECT_EQ(users[1].id, 10u);
}

TEST(UsersFileParse, BadIdsAndValuesAreSkipped) {
  const std::string file =
      "[User 4294967295]\nName=none\nDirectory=None\n"
      "[User 4294967296]\nName=big\nDirectory=Big\n"
      "[User -1]\nName=neg\nDirectory=Neg\n"
      "[User 0x10]\nName=hex\nDirectory=Hex\n"
      "[User 4294967294]\nName=top\nDirectory=Top\n"
      "[User 4294967294 S]\n"
      "a=abc\nb=99999999999\n=5\nnoequals\nc=-2147483648\nc2=2147483647\n"
      "[User 4294967294 S\n"
      "d=1\n"
      "[User 4294967294]\nName=top again\n";
  const std::vector<HotSyncUser> users = UsersFile::Parse(file);
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].id, 4294967294u);
  EXPECT_EQ(users[0].name, "top again");
  ASSERT_EQ(users[0].values.size(), 2u);
  EXPECT_EQ(users[0].values[0].value, -2147483647 - 1);
  EXPECT_EQ(users[0].values[1].value, 2147483647);
}

TEST(UsersFileParse, LimitsBoundWhatIsKept) {
  std::string file;
  for (int i = 1; i <= 5000; ++i) {
    file += "[User " + std::to_string(i) + "]\nName=u\nDirectory=D" + std::to_string(i) + "\n";
  }
  file += "[User 1 S]\n";
  for (int i = 0; i < 300; ++i) file += "k" + std::to_string(i) + "=1\n";
  file += "k0=2\n";  // a later key replaces the earlier one even when the user is full
  const std::vector<HotSyncUser> users = UsersFile::Parse(file);
  ASSERT_EQ(users.size(), UsersFile::kMaxUsers);
  ASSERT_EQ(users[0].values.size(), UsersFile::kMaxValuesPerUser);
  EXPECT_EQ(users[0].values[0].value, 2);
}

TEST(UsersFileParse, UnescapeKeepsWhatItDoesNotKnow) {
  EXPECT_EQ(UsersFile::Unescape("a\\x41\\x4g\\\\x\\"), "aA\\x4g\\\\x\\");
  EXPECT_EQ(UsersFile::Unescape(UsersFile::Escape(std::string("\0\x01 z ", 5))),
            std::string("\0\x01 z ", 5));
}

TEST(UsersFileSave, RemovesWhatWritersKilledHalfWayLeftAndNothingElse) {
  namespace fs = std::filesystem;
  const tallimor::testing::TempDir scratch("users");
  const fs::path dir(scratch.path());
  const std::string path = (dir / "users.ini").string();
  for (const char* name : {"users.ini.tmp-a1B2c3", "users.ini.tmp-ZZZZZZ", "users.ini.tmp-short",
                           "users.ini.tmp-toolong1", "other.ini.tmp-a1B2c3", "users.ini.bak"}) {
    std::ofstream(dir / name) << "left";
  }
  HotSyncUser user;
  user.id = 1;
  user.name = "Taro";
  user.directory = "TaroY";
  ASSERT_EQ(UsersFile::Save(path, {user}), kOk);

  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir)) left.push_back(entry.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"other.ini.tmp-a1B2c3", "users.ini", "users.ini.bak",
                                            "users.ini.tmp-short", "users.ini.tmp-toolong1"}));
  std::vector<HotSyncUser> read;
  ASSERT_EQ(UsersFile::Load(path, &read), kOk);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].name, "Taro");
}

}  // namespace
}  // namespace tallimor
