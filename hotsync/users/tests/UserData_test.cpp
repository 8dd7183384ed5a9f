// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the user data library as the desktop program and the HotSync program
// call it: the user list, names, the data path, per-user values, adding users on
// a first HotSync, and several programs sharing one users file.
#include "hotsync/users/UserData.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tallimor {
namespace {

namespace fs = std::filesystem;

class UsersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = temp_.path();
    root_ = (base_ / "HotSync").string() + "/";
  }

  HotSyncUser Add(UserData& data, const std::string& name, std::uint32_t id) {
    HotSyncUser user;
    EXPECT_EQ(data.AddUser(name, id, &user), kOk) << name;
    return user;
  }
  void WriteUsersFile(const std::string& text) {
    fs::create_directories(root_);
    std::ofstream(root_ + UserData::kUsersFileName, std::ios::binary) << text;
  }
  std::string UsersFileText() {
    std::ifstream in(root_ + UserData::kUsersFileName, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  std::vector<std::string> Directories() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_)) {
      if (entry.is_directory()) names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  tallimor::testing::TempDir temp_{"users"};  // removed after the test
  fs::path base_;
  std::string root_;
};

using UsersLibrary = UsersTest;
using UsersAdd = UsersTest;
using UsersBadFile = UsersTest;

TEST_F(UsersLibrary, UsersAreListedInTheOrderTheyWereAdded) {
  UserData data(root_);
  std::uint32_t id = 0;
  EXPECT_EQ(data.UserCount(), 0);
  EXPECT_EQ(data.UserIdAt(0, &id), kUsersErrBadIndex);
  EXPECT_FALSE(fs::exists(root_));  // reading creates nothing
  Add(data, "Taro Yamada", 300);
  Add(data, "Hanako Sato", 100);
  ASSERT_EQ(data.UserCount(), 2);
  EXPECT_EQ(data.UserIdAt(-1, &id), kUsersErrBadIndex);
  ASSERT_EQ(data.UserIdAt(0, &id), kOk);
  EXPECT_EQ(id, 300u);
  ASSERT_EQ(data.UserIdAt(1, &id), kOk);
  EXPECT_EQ(id, 100u);
}

TEST_F(UsersLibrary, NameQuerySucceedsExactlyWhenTheResultEqualsTheLengthLeft) {
  UserData data(root_);
  Add(data, "Taro Yamada", 300);
  char name[64];
  std::uint16_t length = 64;
  EXPECT_EQ(data.UserName(300, name, &length), 11);
  EXPECT_EQ(length, 11);
  EXPECT_STREQ(name, "Taro Yamada");

  length = 64;
  const Result unknown = data.UserName(301, name, &length);
  EXPECT_NE(unknown, static_cast<Result>(length));

  length = 5;
  const Result small = data.UserName(300, name, &length);
  EXPECT_EQ(small, kErrBufferTooSmall);
  EXPECT_EQ(length, 12);
  EXPECT_NE(small, static_cast<Result>(length));
}

TEST_F(UsersLibrary, RootAndDirectoryCallsSharingOneBufferMakeTheDataPath) {
  UserData data(root_);
  const HotSyncUser user = Add(data, "Taro Yamada", 300);
  // The desktop program's sequence: one 256-byte buffer and one length word.
  char buffer[256];
  std::uint16_t length = 256;
  data.RootDirectory(buffer, &length);
  std::string path = buffer;
  data.UserDirectory(300, buffer, &length);
  path += buffer;
  EXPECT_EQ(path, root_ + "YamadaT");
  EXPECT_TRUE(fs::is_directory(path));

  length = 256;
  EXPECT_EQ(data.UserDirectory(301, buffer, &length), kUsersErrUnknownUser);
  EXPECT_STREQ(buffer, "");
  length = 4;
  EXPECT_EQ(data.RootDirectory(buffer, &length), kErrBufferTooSmall);
  EXPECT_EQ(length, root_.size() + 1);
  EXPECT_STREQ(buffer, "");
}

TEST_F(UsersLibrary, PerUserValuesPersistPerUserWithADefault) {
  {
    UserData data(root_);
    Add(data, "Taro Yamada", 300);
    Add(data, "Hanako Sato", 100);
    std::int32_t value = 0;
    EXPECT_EQ(data.ReadValue(300, "Tallimore-Vexa", "LastCategory", &value, -1), kOk);
    EXPECT_EQ(value, -1);
    ASSERT_EQ(data.WriteValue(300, "Tallimore-Vexa", "LastCategory", 3), kOk);
    ASSERT_EQ(data.WriteValue(300, "Tallimore-Vexa", "LastCategory", 4), kOk);
    EXPECT_EQ(data.WriteValue(999, "Tallimore-Vexa", "LastCategory", 4), kUsersErrUnknownUser);
    EXPECT_EQ(data.WriteValue(300, "", "LastCategory", 4), kUsersErrBadKey);
  }
  UserData later(root_);
  std::int32_t value = 0;
  EXPECT_EQ(later.ReadValue(300, "Tallimore-Vexa", "LastCategory", &value, -1), kOk);
  EXPECT_EQ(value, 4);
  EXPECT_EQ(later.ReadValue(100, "Tallimore-Vexa", "LastCategory", &value, -1), kOk);
  EXPECT_EQ(value, -1);
  EXPECT_EQ(later.ReadValue(999, "Tallimore-Vexa", "LastCategory", &value, -5),
            kUsersErrUnknownUser);
  EXPECT_EQ(value, -5);
}

TEST_F(UsersLibrary, ChangesByAnotherProgramAreSeenAtTheNextCall) {
  UserData desktop(root_);
  UserData hotsync(root_);
  EXPECT_EQ(desktop.UserCount(), 0);
  Add(hotsync, "Taro Yamada", 300);
  EXPECT_EQ(desktop.UserCount(), 1);
  ASSERT_EQ(desktop.WriteValue(300, "S", "K", 8), kOk);
  std::int32_t value = 0;
  EXPECT_EQ(hotsync.ReadValue(300, "S", "K", &value, 0), kOk);
  EXPECT_EQ(value, 8);
}

TEST_F(UsersLibrary, ConcurrentWritersLoseNoChange) {
  {
    UserData data(root_);
    Add(data, "Taro Yamada", 300);
  }
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  {
    UserData data(root_);
    const std::string prefix = child == 0 ? "child" : "parent";
    for (int i = 0; i < 25; ++i) {
      if (data.WriteValue(300, "S", (prefix + std::to_string(i)).c_str(), i) != kOk && child == 0) {
        ::_exit(1);
      }
    }
  }
  if (child == 0) ::_exit(0);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  UserData data(root_);
  HotSyncUser user;
  ASSERT_EQ(data.FindUser(300, &user), kOk);
  EXPECT_EQ(user.values.size(), 50u);
}

TEST_F(UsersLibrary, TheUsersFileIsReplacedWholeAndNoTemporaryIsLeft) {
  UserData data(root_);
  Add(data, "Taro Yamada", 300);
  struct stat before {};
  ASSERT_EQ(::stat(data.usersFilePath().c_str(), &before), 0);
  ASSERT_EQ(data.WriteValue(300, "S", "K", 1), kOk);
  struct stat after {};
  ASSERT_EQ(::stat(data.usersFilePath().c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino);
  for (const auto& entry : fs::directory_iterator(root_)) {
    EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
  }
}

TEST_F(UsersLibrary, AnOversizedUsersFileIsRefusedAndNeverOverwritten) {
  WriteUsersFile("[User 1]\nName=a\nDirectory=A\n" +
                 std::string(UsersFile::kMaxFileSize, '#') + "\n");
  UserData data(root_);
  EXPECT_EQ(data.UserCount(), 0);
  std::vector<HotSyncUser> users;
  EXPECT_EQ(data.Users(&users), kUsersErrFileTooLarge);
  EXPECT_EQ(data.WriteValue(1, "S", "K", 1), kUsersErrFileTooLarge);
  HotSyncUser added;
  EXPECT_EQ(data.AddUser("New", 0, &added), kUsersErrFileTooLarge);
  EXPECT_GT(fs::file_size(data.usersFilePath()), UsersFile::kMaxFileSize);
  // The meaning names the file, for callers that only print the meaning.
  EXPECT_EQ(std::string(UsersResultMeaning(kUsersErrFileTooLarge)),
            "the HotSync users file is too large to be a users file: " + data.usersFilePath() +
                ": it is larger than 4194304 bytes");
}

TEST_F(UsersLibrary, AHostileFileCannotPointOutsideTheRoot) {
  WriteUsersFile("[User 1]\nName=evil\nDirectory=..\n[User 2]\nName=ok\nDirectory=Ok\n");
  UserData data(root_);
  EXPECT_EQ(data.UserCount(), 1);
  HotSyncUser user;
  // The entry stays that user's: asking for it says what is wrong, never "unknown".
  EXPECT_EQ(data.FindUser(1, &user), kUsersErrUnusableEntry);
  EXPECT_EQ(data.FindUserByName("ok", &user), kOk);
  EXPECT_EQ(user.directory, "Ok");
}

TEST_F(UsersAdd, DirectoryNamesFollowTheUserName) {
  EXPECT_EQ(UserData::DirectoryBaseFor("Taro Yamada"), "YamadaT");
  EXPECT_EQ(UserData::DirectoryBaseFor("Cher"), "Cher");
  EXPECT_EQ(UserData::DirectoryBaseFor("  Mary\tAnn  Smith "), "SmithM");
  EXPECT_EQ(UserData::DirectoryBaseFor("Pat O'Brien"), "OBrienP");
  EXPECT_EQ(UserData::DirectoryBaseFor("../../etc/passwd"), "etcpasswd");
  // Only Japanese: nothing usable in a portable file name.
  EXPECT_EQ(UserData::DirectoryBaseFor("\x8e\x52\x93\x63 \x91\xbe\x98\x59"), "User");
  // 0x83 0x41 is one character whose second byte is 'A': it must not leak an 'A'.
  EXPECT_EQ(UserData::DirectoryBaseFor("\x83\x41z"), "z");
  EXPECT_EQ(UserData::DirectoryBaseFor("Bartholomew Featherstonehaugh-Smythe"),
            "Featherstonehaugh-Sm");
}

TEST_F(UsersAdd, ATakenDirectoryNameGetsTheNextFreeNumber) {
  UserData data(root_);
  EXPECT_EQ(Add(data, "Taro Yamada", 1).directory, "YamadaT");
  EXPECT_EQ(Add(data, "Tomoko Yamada", 2).directory, "YamadaT1");
  fs::create_directories(root_ + "YAMADAT2");  // left on disk, in another case
  EXPECT_EQ(Add(data, "Takeshi Yamada", 3).directory, "YamadaT3");
  EXPECT_EQ(Add(data, "\x8e\x52\x93\x63", 4).directory, "User");
  EXPECT_EQ(Add(data, "\x91\xbe\x98\x59", 5).directory, "User1");
  EXPECT_TRUE(fs::is_directory(root_ + "YamadaT3"));
}

TEST_F(UsersAdd, RefusedUsersLeaveNothingBehind) {
  UserData data(root_);
  Add(data, "Taro Yamada", 300);
  HotSyncUser user;
  EXPECT_EQ(data.AddUser("Taro Yamada", 301, &user), kUsersErrNameTaken);
  EXPECT_EQ(data.AddUser("Jiro Yamada", 300, &user), kUsersErrIdTaken);
  EXPECT_EQ(data.AddUser("", 302, &user), kUsersErrBadName);
  EXPECT_EQ(data.AddUser(std::string(64, 'n'), 302, &user), kUsersErrBadName);
  EXPECT_EQ(data.AddUser("tab\there", 302, &user), kUsersErrBadName);
  EXPECT_EQ(data.AddUser("Nobody", UsersFile::kNoUser, &user), kUsersErrBadId);
  EXPECT_EQ(data.UserCount(), 1);
  int directories = 0;
  for (const auto& entry : fs::directory_iterator(root_)) directories += entry.is_directory();
  EXPECT_EQ(directories, 1);
}

TEST_F(UsersAdd, IdZeroAsksForAFreshId) {
  UserData data(root_);
  Add(data, "A", 5);
  Add(data, "B", 2);
  EXPECT_EQ(Add(data, "C", 0).id, 6u);
  Add(data, "D", 4294967294u);
  EXPECT_EQ(Add(data, "E", 0).id, 1u);
}

TEST_F(UsersAdd, TheRootAndTheUsersDirectoryArePrivate) {
  const std::string nested = (base_ / "a" / "b" / "root").string();
  UserData data(nested);
  const HotSyncUser user = Add(data, "Taro Yamada", 300);
  struct stat st {};
  ASSERT_EQ(::stat(nested.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat((nested + "/" + user.directory).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(UsersBadFile, AFileThatIsNoUsersFileStopsEveryCallNamesItsLineAndIsNeverWritten) {
  struct Case {
    const char* what;
    std::string text;
    std::string where;  // what the meaning must name after the path
  };
  const std::vector<Case> cases = {
      {"binary garbage", std::string("[User 1]\nName=a\nDirectory=A\n\x89PNG\r\n\x1a\n\0\0", 36),
       ", line 5: it holds the control byte 0x1A, so this is no text file"},
      {"a line too long", "[User 1]\nName=" + std::string(5000, 'a') + "\nDirectory=A\n",
       ", line 2: it is longer than 4096 bytes"},
      {"old Mac line ends", "[User 1]\rName=a\rDirectory=A\r",
       ", line 1: it holds a carriage return without a line feed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteUsersFile(c.text);
    UserData data(root_);
    std::vector<HotSyncUser> users;
    EXPECT_EQ(data.Users(&users), kUsersErrBadFile);
    EXPECT_EQ(std::string(UsersResultMeaning(kUsersErrBadFile)),
              "the HotSync users file cannot be read, so nothing was changed: " + data.usersFilePath() +
                  c.where);
    EXPECT_EQ(data.UserCount(), 0);
    HotSyncUser user;
    EXPECT_EQ(data.FindUser(1, &user), kUsersErrBadFile);
    EXPECT_EQ(data.FindUserByName("a", &user), kUsersErrBadFile);
    EXPECT_EQ(data.AddUser("Taro Yamada", 0, &user), kUsersErrBadFile);
    EXPECT_EQ(data.WriteValue(1, "S", "K", 1), kUsersErrBadFile);
    std::int32_t value = 0;
    EXPECT_EQ(data.ReadValue(1, "S", "K", &value, -1), kUsersErrBadFile);
    EXPECT_EQ(value, -1);
    EXPECT_EQ(UsersFileText(), c.text);
    EXPECT_TRUE(Directories().empty());
  }
}

TEST_F(UsersBadFile, OnlyARegularFileIsAUsersFile) {
  const std::string path = root_ + UserData::kUsersFileName;
  fs::create_directories(root_);
  fs::create_directory(path);
  UserData data(root_);
  HotSyncUser user;
  EXPECT_EQ(data.AddUser("Taro Yamada", 0, &user), kUsersErrBadFile);
  EXPECT_NE(std::string(UsersResultMeaning(kUsersErrBadFile)).find(path + ": it is a directory"),
            std::string::npos);
  fs::remove(path);

  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);  // read without waiting for a writer
  EXPECT_EQ(data.AddUser("Taro Yamada", 0, &user), kUsersErrBadFile);
  EXPECT_NE(std::string(UsersResultMeaning(kUsersErrBadFile)).find(path + ": it is not a regular file"),
            std::string::npos);
  fs::remove(path);

  // A rewrite would replace a link with a file: refused before anything is read.
  WriteUsersFile("");
  fs::rename(path, root_ + "elsewhere.ini");
  fs::create_symlink(root_ + "elsewhere.ini", path);
  EXPECT_EQ(data.AddUser("Taro Yamada", 0, &user), kUsersErrBadFile);
  EXPECT_TRUE(fs::is_symlink(path));
  EXPECT_EQ(fs::file_size(root_ + "elsewhere.ini"), 0u);
  EXPECT_EQ(Directories(), std::vector<std::string>{});
}

TEST_F(UsersLibrary, AFileOfTheEarlierFormatReadsTheSameAndARewriteChangesOnlyItsOwnLines) {
  std::vector<HotSyncUser> users(2);
  users[0] = {7, "Taro Yamada", "YamadaT", {{"Tallimore-Vexa", "LastCategory", 3}}};
  users[1] = {9, "\x8e\x52\x93\x63", "User", {}};
  const std::string earlier = UsersFile::Format(users);
  WriteUsersFile(earlier);
  UserData data(root_);
  std::vector<HotSyncUser> read;
  ASSERT_EQ(data.Users(&read), kOk);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].name, users[1].name);
  ASSERT_EQ(data.WriteValue(7, "Tallimore-Vexa", "LastCategory", 4), kOk);
  std::string expected = earlier;
  expected.replace(expected.find("LastCategory=3"), 14, "LastCategory=4");
  // The record of the highest id joins before the first user.
  expected.insert(expected.find("[User 7]"), "[Users]\nHighestId=9\n\n");
  EXPECT_EQ(UsersFileText(), expected);
}

TEST_F(UsersAdd, AnUnusableEntryKeepsItsIdNameAndDirectoryFromNewHandhelds) {
  WriteUsersFile("; edited by hand\n[User 1]\nName=Hanako Sato\nDirectory=Sato/H\n\n"
                 "[User 1 Tallimore-Vexa]\nLastCategory=2\n");
  fs::create_directories(root_ + "SatoH");
  const std::string before = UsersFileText();
  UserData data(root_);
  HotSyncUser user;
  // Her next HotSync, by id or by name, stops with the line to correct.
  EXPECT_EQ(data.FindUser(1, &user), kUsersErrUnusableEntry);
  EXPECT_EQ(std::string(UsersResultMeaning(kUsersErrUnusableEntry)),
            "the user's entry in the HotSync users file cannot be used; correct it by hand "
            "(nothing was changed): " + data.usersFilePath() +
                ", line 2, the entry of user id 1: its directory \"Sato/H\" is not a single folder "
                "name");
  EXPECT_EQ(data.FindUserByName("Hanako Sato", &user), kUsersErrUnusableEntry);
  EXPECT_EQ(data.AddUser("Hanako Sato", 1, &user), kUsersErrUnusableEntry);
  EXPECT_EQ(data.AddUser("Hanako Sato", 0, &user), kUsersErrUnusableEntry);
  EXPECT_EQ(data.AddUser("Someone Else", 1, &user), kUsersErrUnusableEntry);
  EXPECT_EQ(UsersFileText(), before);

  // Another handheld gets an id and a directory of its own, and her lines stay.
  ASSERT_EQ(data.AddUser("Hiro Sato", 0, &user), kOk);
  EXPECT_EQ(user.id, 2u);
  EXPECT_EQ(user.directory, "SatoH1");
  EXPECT_NE(UsersFileText().find("; edited by hand\n[User 1]\nName=Hanako Sato\nDirectory=Sato/H\n\n"
                                 "[User 1 Tallimore-Vexa]\nLastCategory=2\n"),
            std::string::npos);
  EXPECT_EQ(data.UserCount(), 1);

  // Corrected by hand, she is herself again, values and all.
  WriteUsersFile(std::string(UsersFileText()).replace(UsersFileText().find("Sato/H"), 6, "SatoH"));
  ASSERT_EQ(data.FindUser(1, &user), kOk);
  EXPECT_EQ(user.directory, "SatoH");
  std::int32_t value = 0;
  EXPECT_EQ(data.ReadValue(1, "Tallimore-Vexa", "LastCategory", &value, -1), kOk);
  EXPECT_EQ(value, 2);
}

namespace {
void KillHere(const char* point) {
  if (std::strcmp(point, "entry-written") == 0) ::raise(SIGKILL);
}
}  // namespace

TEST_F(UsersAdd, AKillBetweenTheEntryAndTheDirectoryLeavesNoDirectoryWithoutAUser) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    UserData::SetPointHook(KillHere);
    UserData data(root_);
    HotSyncUser user;
    data.AddUser("Taro Yamada", 0, &user);
    ::_exit(0);  // not reached when the hook works
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

  // The user is there, the directory is not, and nothing else is on disk.
  EXPECT_TRUE(Directories().empty());
  UserData data(root_);
  HotSyncUser user;
  ASSERT_EQ(data.FindUserByName("Taro Yamada", &user), kOk);
  EXPECT_EQ(user.directory, "YamadaT");
  // The name stays his while the directory is missing; making it later is all it takes.
  EXPECT_EQ(Add(data, "Tomoko Yamada", 0).directory, "YamadaT1");
  EXPECT_EQ(Directories(), std::vector<std::string>{"YamadaT1"});
  ASSERT_EQ(::mkdir((root_ + user.directory).c_str(), 0700), 0);
  EXPECT_EQ(data.UserCount(), 2);
}

}  // namespace
}  // namespace tallimor
