// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Key material kept out of swap and core files: locked pages are counted so that two
// buffers on one page keep it locked until both are gone, wiping really zeroes, and a
// hardened process is neither dumpable nor allowed a core file (checked in a child, so
// the test process itself stays as it was).
#include "crypto/SecureMemory.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <memory>

#include "crypto/CBlowfish.h"
#include "crypto/ProcessHardening.h"

namespace tallimor {
namespace {

TEST(SecureMemoryPages, SharedPageStaysLockedUntilItsLastBufferGoes) {
  const std::size_t before = SecureMemory::LockedPageCount();
  alignas(64) static std::array<std::uint8_t, 64> first{};
  alignas(64) static std::array<std::uint8_t, 64> second{};  // most likely on the same page
  SecureMemory::Lock(first.data(), first.size());
  const std::size_t one = SecureMemory::LockedPageCount();
  EXPECT_GE(one, before + 1);
  SecureMemory::Lock(second.data(), second.size());
  SecureMemory::Unlock(first.data(), first.size());
  EXPECT_GE(SecureMemory::LockedPageCount(), before + 1) << "second's page was let go with first";
  SecureMemory::Unlock(second.data(), second.size());
  EXPECT_EQ(SecureMemory::LockedPageCount(), before);
  SecureMemory::Unlock(second.data(), second.size());  // once too often: no harm
  EXPECT_EQ(SecureMemory::LockedPageCount(), before);
}

TEST(SecureMemoryPages, CiphersLockTheirTablesForTheirLifetime) {
  const std::size_t before = SecureMemory::LockedPageCount();
  {
    auto cipher = std::make_unique<CBlowfish>();
    cipher->SetKey("a key");
    EXPECT_GT(SecureMemory::LockedPageCount(), before);
  }
  EXPECT_EQ(SecureMemory::LockedPageCount(), before);
}

TEST(SecureMemoryWipe, ZeroesEveryByte) {
  std::array<std::uint8_t, 37> secret{};
  secret.fill(0xa5);
  SecureMemory::Wipe(secret.data(), secret.size());
  for (std::uint8_t byte : secret) EXPECT_EQ(byte, 0);
  SecureMemory::Wipe(nullptr, 10);  // nothing to wipe: no harm
}

TEST(ProcessHardeningTest, HardenedProcessWritesNoCoreAndCannotBeAttached) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    setrlimit(RLIMIT_CORE, &unlimited);  // as `ulimit -c unlimited` leaves it, where allowed
    if (!ProcessHardening::HardenProcess()) _exit(1);
    if (prctl(PR_GET_DUMPABLE, 0, 0, 0, 0) != 0) _exit(2);
    rlimit now{};
    if (getrlimit(RLIMIT_CORE, &now) != 0 || now.rlim_cur != 0 || now.rlim_max != 0) _exit(3);
    const rlimit again{RLIM_INFINITY, RLIM_INFINITY};
    if (setrlimit(RLIMIT_CORE, &again) == 0 && geteuid() != 0) _exit(4);  // hard limit holds
    if (!ProcessHardening::CoreDumpsOff()) _exit(5);
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "step that failed in the child";
}

}  // namespace
}  // namespace tallimor
