// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The fixed start values of every Blowfish context: the hexadecimal digits of pi's
// fractional part, 32 bits at a time, laid out as CBlowfish holds its tables (the 18
// P-words, then the S-boxes S0 to S3). The table source is generated, see crypto/tools.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tallimor {

inline constexpr std::size_t kBlowfishPWords = 18;
inline constexpr std::size_t kBlowfishSBoxWords = 256;
inline constexpr std::size_t kBlowfishTableWords = kBlowfishPWords + 4 * kBlowfishSBoxWords;

extern const std::uint32_t kBlowfishInitialTables[kBlowfishTableWords];

}  // namespace tallimor
