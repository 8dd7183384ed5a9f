// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of the file-system seam: an atomic replace that any one failing call leaves
// with the old file or the new one (never a mix, never an empty file, never a
// temporary beside it), guarded opens that refuse a named pipe without waiting for a
// writer, private modes, and the fault injection the other folders' tests rely on.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "store/FileSystem.h"
#include "store/tests/FaultInjectingFileSystem.h"
#include "store/tests/ScratchDirectory.h"

namespace tallimor {
namespace {

class FileSystemTest : public ScratchDirectory {
 protected:
  static void Put(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
};

// Every call of a clean replace is failed in turn, once with each way of placing the
// file: the name holds exactly the old bytes or exactly the new ones, the result says
// which, and nothing else is left in the directory.
TEST_F(FileSystemTest, AReplaceFailingAtAnyCallLeavesTheOldFileOrTheNewOne) {
  const std::string oldText(70000, 'o');  // more than one write's worth on most systems
  const std::string newText = "n" + std::string(90000, 'N') + "n";
  for (const bool exclusive : {false, true}) {
    const std::string path = Path(exclusive ? "made" : "replaced");
    FileSystem::ReplaceOptions options;
    options.exclusive = exclusive;
    options.lockRequired = true;
    FaultInjectingFileSystem faults;
    faults.FailCall(FileCall::kAny, 0, EIO);
    if (!exclusive) Put(path, oldText);
    ASSERT_EQ(FileSystem::Default()->Replace(path, newText.data(), newText.size(), options, nullptr), kOk);
    const int calls = faults.Calls();
    ASSERT_GE(calls, 5);
    for (int nth = 1; nth <= calls; ++nth) {
      std::filesystem::remove(path);
      if (!exclusive) Put(path, oldText);
      faults.FailCall(FileCall::kAny, nth, EIO);
      std::string error;
      const Result result = FileSystem::Default()->Replace(path, newText.data(), newText.size(), options, &error);
      ASSERT_EQ(faults.Failures(), 1) << nth;
      if (result == kOk) {
        EXPECT_EQ(Contents(path), newText) << "call " << nth;
      } else {
        EXPECT_EQ(result, kErrWrite);
        EXPECT_FALSE(error.empty());
        if (exclusive) {
          EXPECT_FALSE(std::filesystem::exists(path)) << "call " << nth;
        } else {
          EXPECT_EQ(Contents(path), oldText) << "call " << nth;
        }
      }
      std::vector<std::string> expected;
      if (!exclusive || result == kOk) expected.push_back(exclusive ? "made" : "replaced");
      if (faults.LastFailed() == FileCall::kRemove && Entries().size() == expected.size() + 1) {
        // The temporary could not be taken away after it was placed; it is unlocked,
        // and the next writer clears it away.
        faults.FailCall(FileCall::kAny, 0, EIO);
        EXPECT_EQ(FileSystem::Default()->RemoveLeftTemporaries(path, ".tmp-"), 1u);
      }
      EXPECT_EQ(Entries(), expected) << "call " << nth;
    }
    std::filesystem::remove(path);
  }
}

TEST_F(FileSystemTest, AFullDiskKeepsTheOldFileAndSaysWhy) {
  const std::string path = Path("users.ini");
  Put(path, "old");
  FaultInjectingFileSystem faults;
  faults.FailCall(FileCall::kWrite, 1, ENOSPC);
  std::string error;
  EXPECT_EQ(FileSystem::Default()->Replace(path, "new", 3, {}, &error), kErrWrite);
  EXPECT_NE(error.find(std::strerror(ENOSPC)), std::string::npos) << error;
  EXPECT_EQ(Contents(path), "old");
  EXPECT_EQ(Entries(), std::vector<std::string>{"users.ini"});
}

TEST_F(FileSystemTest, TheWritersOwnResultAndALastCheckAbandonTheReplace) {
  const std::string path = Path("record.dat");
  Put(path, "old");
  FileSystem* fs = FileSystem::Default();
  EXPECT_EQ(fs->ReplaceWith(path, [](int) { return kErrOutOfMemory; }, {}, nullptr), kErrOutOfMemory);
  FileSystem::ReplaceOptions options;
  options.beforePlacing = [] { return kErrFileChanged; };
  EXPECT_EQ(fs->Replace(path, "new", 3, options, nullptr), kErrFileChanged);
  EXPECT_EQ(Contents(path), "old");
  EXPECT_EQ(Entries(), std::vector<std::string>{"record.dat"});
}

TEST_F(FileSystemTest, AnExclusivePlaceRefusesATakenName) {
  const std::string path = Path("record.dat");
  Put(path, "someone else's");
  FileSystem::ReplaceOptions options;
  options.exclusive = true;
  EXPECT_EQ(FileSystem::Default()->Replace(path, "mine", 4, options, nullptr), kErrWrite);
  EXPECT_EQ(Contents(path), "someone else's");
  EXPECT_EQ(Entries(), std::vector<std::string>{"record.dat"});
}

TEST_F(FileSystemTest, ModesArePrivateOrKeptAndTheKeptDescriptorIsLockedAndCloseOnExec) {
  const mode_t before = ::umask(0);
  FileSystem* fs = FileSystem::Default();
  const std::string fresh = Path("fresh");
  ASSERT_EQ(fs->Replace(fresh, "x", 1, {}, nullptr), kOk);
  EXPECT_EQ(Mode(fresh), 0600u);
  ASSERT_EQ(::chmod(fresh.c_str(), 0640), 0);
  ASSERT_EQ(fs->Replace(fresh, "y", 1, {}, nullptr), kOk);
  EXPECT_EQ(Mode(fresh), 0640u) << "an existing file keeps its permissions";
  FileSystem::ReplaceOptions forced;
  forced.mode = 0600;
  int kept = -1;
  forced.keptOpen = &kept;
  ASSERT_EQ(fs->Replace(fresh, "z", 1, forced, nullptr), kOk);
  EXPECT_EQ(Mode(fresh), 0600u);
  ASSERT_GE(kept, 0);
  EXPECT_NE(::fcntl(kept, F_GETFD) & FD_CLOEXEC, 0);
  const int other = ::open(fresh.c_str(), O_RDONLY);
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0) << "the placed file stays locked";
  ::close(other);
  ::close(kept);

  const std::string nested = Path("a/b");
  fs->MakePrivateParents(nested + "/file");
  EXPECT_EQ(Mode(Path("a")), 0700u);
  EXPECT_EQ(Mode(nested), 0700u);
  EXPECT_EQ(fs->MakePrivateDirectory(nested), 0) << "an existing directory is fine";
  EXPECT_EQ(fs->MakePrivateDirectory(fresh), -1);
  EXPECT_EQ(errno, ENOTDIR);

  const int log = fs->OpenForAppend(Path("HotSync.log"));
  ASSERT_GE(log, 0);
  EXPECT_NE(::fcntl(log, F_GETFD) & FD_CLOEXEC, 0);
  EXPECT_EQ(::fcntl(log, F_GETFL) & O_NONBLOCK, 0);
  ::close(log);
  EXPECT_EQ(Mode(Path("HotSync.log")), 0600u);
  ::umask(before);
}

// None of these opens may wait for a writer to come to the pipe: a hang here is the
// fault (the test would time out).
TEST_F(FileSystemTest, ANamedPipeIsRefusedWithoutBlocking) {
  const std::string fifo = Path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  FileSystem* fs = FileSystem::Default();
  EXPECT_EQ(fs->OpenRegular(fifo), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(fs->OpenForLocking(fifo), -1);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(fs->OpenRegular(dir_), -1) << "a directory is no regular file either";
  EXPECT_EQ(fs->OpenRegular(Path("missing")), -1);
  EXPECT_EQ(errno, ENOENT);

  const std::string file = Path("file");
  Put(file, "abc");
  const int fd = fs->OpenRegular(file);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
  EXPECT_NE(::fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
  ::close(fd);
  ASSERT_EQ(::symlink(file.c_str(), Path("link").c_str()), 0);
  EXPECT_EQ(fs->OpenRegular(Path("link"), O_NOFOLLOW), -1);
}

TEST_F(FileSystemTest, OnlyTheTemporariesNobodyHoldsAreClearedAway) {
  const std::string path = Path("users.ini");
  Put(path, "old");
  Put(Path("users.ini.tmp-abc123"), "left by a killed writer");
  Put(Path("users.ini.tmp-held00"), "being written");
  Put(Path("users.ini.tmp-toolong1"), "not a temporary of ours");
  const int held = ::open(Path("users.ini.tmp-held00").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  ASSERT_EQ(FileSystem::Default()->Replace(path, "new", 3, {}, nullptr), kOk);
  ::close(held);
  std::vector<std::string> names = Entries();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"users.ini", "users.ini.tmp-held00", "users.ini.tmp-toolong1"}));
}

TEST_F(FileSystemTest, TheInjectorFailsTheChosenCallOnlyAndStepsAsideAfterwards) {
  FileSystem* real = FileSystem::Default();
  {
    FaultInjectingFileSystem faults;
    EXPECT_EQ(FileSystem::Default(), &faults);
    faults.FailCall(FileCall::kRename, 2, EXDEV);
    FileSystem* fs = FileSystem::Default();
    EXPECT_EQ(fs->Replace(Path("one"), "1", 1, {}, nullptr), kOk);
    EXPECT_EQ(fs->Replace(Path("two"), "2", 1, {}, nullptr), kErrWrite);
    EXPECT_EQ(fs->Replace(Path("three"), "3", 1, {}, nullptr), kOk);
    EXPECT_EQ(faults.Calls(FileCall::kRename), 3);
    EXPECT_EQ(faults.Failures(), 1);
    faults.FailCall(FileCall::kSync, 1, EIO, /*sticky=*/true);
    EXPECT_EQ(fs->Replace(Path("four"), "4", 1, {}, nullptr), kErrWrite);
    EXPECT_EQ(fs->Replace(Path("four"), "4", 1, {}, nullptr), kErrWrite);
    faults.Heal();
    EXPECT_EQ(fs->Replace(Path("four"), "4", 1, {}, nullptr), kOk);
  }
  EXPECT_EQ(FileSystem::Default(), real);
  EXPECT_FALSE(std::filesystem::exists(Path("two")));
}

}  // namespace
}  // namespace tallimor
