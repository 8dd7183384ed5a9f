// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CMD5: the MD5 message digest of RFC 1321, used to check a typed password against the
// digest that the handheld stores. The state is scrubbed once the digest is taken, so
// the password bytes held in the block buffer do not outlive the check.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace tallimor {

class CMD5 {
 public:
  using Digest = std::array<std::uint8_t, 16>;

  // A digest object ready for Update(), as after Init().
  CMD5();
  // Scrubs the state and the block buffer.
  ~CMD5();

  CMD5(const CMD5&) = delete;
  CMD5& operator=(const CMD5&) = delete;

  // Starts a new digest: the RFC 1321 start words, no bytes counted, not finalised.
  void Init();
  // Adds `count` bytes. Ignored once Finalize() has run (until the next Init()).
  // REQUIRES: data points to `count` readable bytes (may be null when count is 0).
  void Update(const void* data, std::size_t count);
  // Pads, takes the digest and scrubs the working state. A second call does nothing.
  void Finalize();
  // The 16-byte digest in its standard byte order; empty before Finalize().
  std::optional<Digest> RawDigest() const;

 private:
  void Transform(const std::uint8_t* block);  // one 64-byte block into state_
  void Scrub();                               // clears state_, count_ and buffer_

  std::uint32_t state_[4];     // the four chaining words A, B, C, D
  std::uint64_t bitCount_;     // message length in bits, modulo 2^64
  std::uint8_t buffer_[64];    // bytes of the block not yet complete
  Digest digest_;              // the result, valid once finalized_
  bool finalized_;
};

}  // namespace tallimor
