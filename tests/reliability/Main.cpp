// The reliability suite's main: the seed goes out first, the summary of every group
// last, and the exit status fails when any memo was lost or any run did not converge,
// also should a check have slipped past the tests' own assertions.
#include <gtest/gtest.h>

#include <cstdio>

#include "tests/reliability/Tally.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  tallimor::reliability::SetScaleFromArguments(argc, argv);
  std::printf("reliability: seed %llu (replay with TALLIMOR_RELIABILITY_SEED), scale %d\n",
              static_cast<unsigned long long>(tallimor::reliability::Seed()),
              tallimor::reliability::Scale());
  std::fflush(stdout);
  const int result = RUN_ALL_TESTS();
  const bool clean = tallimor::reliability::PrintSummary();
  return result != 0 || !clean ? 1 : 0;
}
