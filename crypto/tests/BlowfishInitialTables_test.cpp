// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Checks the generated Blowfish start tables against pi computed here by the
// Bailey-Borwein-Plouffe series, a different formula from the generator's, so that a
// fault in either one shows up as a mismatch.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "crypto/BlowfishInitialTables.h"

namespace tallimor {
namespace {

constexpr std::size_t kGuardWords = 3;

// Fixed point: word 0 the integer part, word i the fraction's i-th 32 bits.
using Fixed = std::vector<std::uint32_t>;

// sum += numerator * 16^-k / divisor, computed only over the words the term reaches.
void AddTerm(Fixed& sum, std::uint32_t numerator, std::size_t k, std::uint32_t divisor) {
  const std::size_t bit = 4 * k;
  std::size_t first = bit / 32;
  std::uint64_t start = numerator;
  if (bit % 32 != 0) {
    ++first;
    start = static_cast<std::uint64_t>(numerator) << (32 - bit % 32);
  }
  if (first >= sum.size()) return;
  std::vector<std::uint32_t> quotient(sum.size() - first);
  std::uint64_t remainder = 0;
  for (std::size_t i = 0; i < quotient.size(); ++i) {
    const std::uint64_t current = (remainder << 32) | (i == 0 ? start : 0);
    quotient[i] = static_cast<std::uint32_t>(current / divisor);
    remainder = current % divisor;
  }
  std::uint64_t carry = 0;
  for (std::size_t i = quotient.size(); i-- > 0;) {
    const std::uint64_t total = static_cast<std::uint64_t>(sum[first + i]) + quotient[i] + carry;
    sum[first + i] = static_cast<std::uint32_t>(total);
    carry = total >> 32;
  }
  for (std::size_t i = first; carry != 0 && i-- > 0;) {
    const std::uint64_t total = static_cast<std::uint64_t>(sum[i]) + carry;
    sum[i] = static_cast<std::uint32_t>(total);
    carry = total >> 32;
  }
}

// pi = sum over k of 16^-k (4/(8k+1) - 2/(8k+4) - 1/(8k+5) - 1/(8k+6)).
Fixed PiByBbp(std::size_t fractionWords) {
  const std::size_t size = 1 + fractionWords + kGuardWords;
  Fixed plus(size, 0);
  Fixed minus(size, 0);
  for (std::size_t k = 0; 4 * k < 32 * size; ++k) {
    const auto base = static_cast<std::uint32_t>(8 * k);
    AddTerm(plus, 4, k, base + 1);
    AddTerm(minus, 2, k, base + 4);
    AddTerm(minus, 1, k, base + 5);
    AddTerm(minus, 1, k, base + 6);
  }
  std::uint64_t borrow = 0;
  for (std::size_t i = size; i-- > 0;) {
    const std::uint64_t need = static_cast<std::uint64_t>(minus[i]) + borrow;
    borrow = plus[i] < need ? 1 : 0;
    plus[i] = static_cast<std::uint32_t>(plus[i] - need);
  }
  return plus;
}

TEST(BlowfishInitialTables, AreTheHexDigitsOfPi) {
  const Fixed pi = PiByBbp(kBlowfishTableWords);
  ASSERT_EQ(pi[0], 3u);
  for (std::size_t i = 0; i < kBlowfishTableWords; ++i) {
    ASSERT_EQ(kBlowfishInitialTables[i], pi[1 + i]) << "word " << i;
  }
  // The two ends as the algorithm's description names them.
  EXPECT_EQ(kBlowfishInitialTables[0], 0x243F6A88u);
  EXPECT_EQ(kBlowfishInitialTables[1], 0x85A308D3u);
  EXPECT_EQ(kBlowfishInitialTables[kBlowfishTableWords - 1], 0x3AC372E6u);
}

}  // namespace
}  // namespace tallimor
