// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// CBlowfish: one Blowfish cipher context (64-bit blocks, 16 rounds, keys of 0 to 72
// bytes; longer keys only use their first 72). It knows nothing of records or
// passwords: the protected record store decides what is enciphered and with which key.
#pragma once

#include <cstddef>
#include <cstdint>

#include "crypto/BlowfishInitialTables.h"

namespace tallimor {

class CBlowfish {
 public:
  // A context holding the start tables, as after Reset().
  CBlowfish();
  // Scrubs every table before the memory goes, so no key-derived value survives.
  ~CBlowfish();

  CBlowfish(const CBlowfish&) = delete;
  CBlowfish& operator=(const CBlowfish&) = delete;

  // Discards any key: the P-array and S-boxes get their start values back.
  void Reset();

  // Reset(), then the key schedule over the bytes before the NUL. An empty key (or a
  // null pointer) leaves the start tables untouched, without running the schedule.
  void SetKey(const char* key);
  // The same over `length` bytes that may include NULs (keys of published test sets).
  void SetKey(const unsigned char* key, std::size_t length);

  // Enciphers / deciphers one 64-bit block (left half first) in place.
  void EncryptBlock(std::uint32_t& left, std::uint32_t& right) const;
  void DecryptBlock(std::uint32_t& left, std::uint32_t& right) const;

  // ECB over length >> 3 blocks of host-order words (words[2k] left, words[2k+1]
  // right); a tail of length % 8 bytes is left untouched.
  // REQUIRES: words is 4-byte aligned and holds at least `length` bytes.
  void EncryptBuffer(std::uint32_t* words, std::size_t length) const;
  void DecryptBuffer(std::uint32_t* words, std::size_t length) const;

  // ECB over the whole 8-byte blocks of a byte buffer, each half read and written
  // big-endian (the first four bytes are the left half), which is the byte order of
  // stored memos; a tail of length % 8 bytes is left untouched. No alignment needed.
  void EncryptBytes(unsigned char* data, std::size_t length) const;
  void DecryptBytes(unsigned char* data, std::size_t length) const;

 private:
  // P[0..17], then S0, S1, S2, S3 of 256 words each, in one block.
  std::uint32_t tables_[kBlowfishTableWords];
};

}  // namespace tallimor
