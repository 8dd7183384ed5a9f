// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Noticing a dead HotSync through its lock: a lock held by a live process is not
// released; once that process is killed it is, and only once; a lock nobody holds at
// the start is not watched at all, and the watch never makes the file.
#include "desktop/HotSyncRunWatch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/TempDir.h"

namespace tallimor {
namespace {

class HotSyncRunWatchTest : public ::testing::Test {
 protected:
  void SetUp() override { lock_ = temp_.Join("HotSync.lock"); }
  // A process standing in for hotsync: takes the lock, tells through a pipe, waits.
  pid_t HoldInChild() {
    int ready[2];
    if (pipe(ready) != 0) return -1;
    const pid_t child = fork();
    if (child == 0) {
      const int fd = open(lock_.c_str(), O_RDWR | O_CREAT, 0600);
      if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
      (void)!write(ready[1], "x", 1);
      for (;;) pause();
    }
    char byte = 0;
    close(ready[1]);
    const bool told = read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    return told ? child : -1;
  }

  tallimor::testing::TempDir temp_{"runwatch"};  // removed after the test
  std::string lock_;
};

using HotSyncRunWatchLock = HotSyncRunWatchTest;

TEST_F(HotSyncRunWatchLock, KilledHolderIsNoticedOnce) {
  const pid_t holder = HoldInChild();
  ASSERT_GT(holder, 0);
  HotSyncRunWatch watch;
  ASSERT_TRUE(watch.Watch(lock_));
  EXPECT_FALSE(watch.Released());
  EXPECT_FALSE(watch.Released());
  EXPECT_TRUE(watch.Watching());

  kill(holder, SIGKILL);
  int status = 0;
  waitpid(holder, &status, 0);
  EXPECT_TRUE(watch.Released());
  EXPECT_FALSE(watch.Watching());
  EXPECT_FALSE(watch.Released());  // said once
}

TEST_F(HotSyncRunWatchLock, WatchingDoesNotKeepTheNextHotSyncOut) {
  const pid_t holder = HoldInChild();
  ASSERT_GT(holder, 0);
  HotSyncRunWatch watch;
  ASSERT_TRUE(watch.Watch(lock_));
  EXPECT_FALSE(watch.Released());
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  // The watch holds the file open, never the lock: the next HotSync takes it at once.
  const int next = open(lock_.c_str(), O_RDWR);
  ASSERT_GE(next, 0);
  EXPECT_EQ(flock(next, LOCK_EX | LOCK_NB), 0);
  close(next);
}

TEST_F(HotSyncRunWatchLock, FreeOrMissingLockIsNotWatched) {
  HotSyncRunWatch watch;
  EXPECT_FALSE(watch.Watch(lock_));
  struct stat info {};
  EXPECT_NE(lstat(lock_.c_str(), &info), 0) << "the watch made the lock file";

  const int fd = open(lock_.c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0);
  close(fd);
  EXPECT_FALSE(watch.Watch(lock_));
  EXPECT_FALSE(watch.Watching());
  EXPECT_FALSE(watch.Released());
}

TEST(HotSyncRunWatchPath, LockBesideTheUsersDirectory) {
  EXPECT_EQ(HotSyncRunWatch::LockPathFor("/root/Desk/Tallimor-Vexa/record.dat"),
            "/root/Desk/HotSync.lock");
  EXPECT_EQ(HotSyncRunWatch::LockPathFor("record.dat"), "");
  EXPECT_EQ(HotSyncRunWatch::LockPathFor(""), "");
}

}  // namespace
}  // namespace tallimor
