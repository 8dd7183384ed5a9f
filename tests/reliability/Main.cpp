// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The reliability suite's main: the seed goes out first, the summary of every group
// last, and the exit status fails when any damage was found or any run did not converge,
// also should a check have slipped past the tests' own assertions. The programs' environment
// is set once here, before any trial runs on a thread.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/reliability/ReferenceRuns.h"
#include "tests/reliability/Tally.h"
#include "tests/reliability/World.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  tallimor::reliability::SetScaleFromArguments(argc, argv);
  tallimor::reliability::PrepareEnvironment();
  std::printf("reliability: seed %llu (replay with TALLIMOR_RELIABILITY_SEED), scale %d\n",
              static_cast<unsigned long long>(tallimor::reliability::Seed()),
              tallimor::reliability::Scale());
  std::fflush(stdout);
  const int result = RUN_ALL_TESTS();
  tallimor::reliability::ReferenceRuns::Cleanup();
  const bool clean = tallimor::reliability::PrintSummary();
  return result != 0 || !clean ? 1 : 0;
}
