// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the lock that keeps a second desktop program off a user's data: refused
// while held (also within one process, as two programs would be), the holder named by
// its process id, given up on release and on the holder's death, and made beside
// record.dat with the directories a user without data lacks.
#include "desktop/UserDataLock.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace tallimor {
namespace {

class UserDataLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = temp_.path();
    // A user who has had no HotSync: neither the user's directory nor Tallimor-Vexa.
    data_ = dir_ + "/User1/Tallimor-Vexa/record.dat";
  }

  tallimor::testing::TempDir temp_{"user-lock"};  // removed after the test
  std::string dir_;
  std::string data_;
};

TEST_F(UserDataLockTest, ASecondHolderIsRefusedAndToldWhoHoldsIt) {
  UserDataLock first;
  ASSERT_EQ(first.Acquire(data_), kOk);
  EXPECT_TRUE(first.Holds(data_));
  EXPECT_FALSE(first.Holds(dir_ + "/User2/Tallimor-Vexa/record.dat"));
  EXPECT_EQ(UserDataLock::LockPathFor(data_), dir_ + "/User1/Tallimor-Vexa/desktop.lock");
  struct stat st {};
  ASSERT_EQ(stat(UserDataLock::LockPathFor(data_).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  UserDataLock second;
  pid_t holder = 0;
  EXPECT_EQ(second.Acquire(data_, &holder), kErrUserOpenElsewhere);
  EXPECT_EQ(holder, getpid());
  EXPECT_FALSE(second.IsHeld());

  // Another user's data is free.
  EXPECT_EQ(second.Acquire(dir_ + "/User2/Tallimor-Vexa/record.dat"), kOk);

  first.Release();
  EXPECT_EQ(second.Acquire(data_), kOk);  // lets User2's go and takes User1's
  EXPECT_TRUE(second.Holds(data_));
  UserDataLock third;
  EXPECT_EQ(third.Acquire(dir_ + "/User2/Tallimor-Vexa/record.dat"), kOk);

  // Moving the lock keeps it held; the moved-from object holds nothing.
  UserDataLock moved = std::move(second);
  EXPECT_TRUE(moved.Holds(data_));
  EXPECT_EQ(UserDataLock().Acquire(data_), kErrUserOpenElsewhere);
}

// The kernel lets the lock go with the process, however it ends; the file it leaves,
// with a process id that means nothing any more, blocks nobody.
TEST_F(UserDataLockTest, AHolderThatDiesLeavesTheUserFree) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    UserDataLock lock;
    const char answer = lock.Acquire(data_) == kOk ? 'y' : 'n';
    (void)!write(ready[1], &answer, 1);
    pause();  // killed below, holding the lock
    _exit(0);
  }
  close(ready[1]);
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  close(ready[0]);
  ASSERT_EQ(answer, 'y');

  UserDataLock mine;
  pid_t holder = 0;
  EXPECT_EQ(mine.Acquire(data_, &holder), kErrUserOpenElsewhere);
  EXPECT_EQ(holder, child);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(mine.Acquire(data_, &holder), kOk);
  EXPECT_EQ(holder, 0);
  std::ifstream in(UserDataLock::LockPathFor(data_));
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, std::to_string(getpid()));
}

// A lock file that is something else than a regular file guards nothing and is left
// alone; opening the user is not refused for it.
TEST_F(UserDataLockTest, ALockPathThatIsNoFileGuardsNothing) {
  const std::string lockPath = UserDataLock::LockPathFor(data_);
  ASSERT_EQ(system(("mkdir -p '" + lockPath + "'").c_str()), 0);
  UserDataLock lock;
  EXPECT_EQ(lock.Acquire(data_), kOk);
  EXPECT_FALSE(lock.IsHeld());
  struct stat st {};
  ASSERT_EQ(stat(lockPath.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
}

}  // namespace
}  // namespace tallimor
