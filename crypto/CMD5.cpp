// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// MD5 as RFC 1321 defines it, with the four rounds written out step by step. Only the
// edges differ from the reference: Update() after Finalize() and a second Finalize() do
// nothing, and there is no digest to read before Finalize().
#include "crypto/CMD5.h"

#include <cstring>

namespace tallimor {

namespace {

std::uint32_t LoadLittleEndian(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void StoreLittleEndian(std::uint32_t word, std::uint8_t* bytes) {
  bytes[0] = static_cast<std::uint8_t>(word);
  bytes[1] = static_cast<std::uint8_t>(word >> 8);
  bytes[2] = static_cast<std::uint8_t>(word >> 16);
  bytes[3] = static_cast<std::uint8_t>(word >> 24);
}

constexpr std::uint32_t RotateLeft(std::uint32_t x, int n) { return x << n | x >> (32 - n); }

}  // namespace

// The round functions. G is written as two bit-disjoint terms so that the term without
// b, the value computed last, can be formed while b is still on its way.
#define TALLIMOR_MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define TALLIMOR_MD5_G(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define TALLIMOR_MD5_H(x, y, z) ((x) ^ (y) ^ (z))
#define TALLIMOR_MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))
// One step; the message word and the constant are added first, off the chain through b.
#define TALLIMOR_MD5_STEP(f, a, b, c, d, word, constant, shift) \
  (a) += (word) + (constant);                                   \
  (a) += f((b), (c), (d));                                      \
  (a) = RotateLeft((a), (shift)) + (b)

CMD5::CMD5() { Init(); }

CMD5::~CMD5() { Scrub(); }

void CMD5::Init() {
  state_[0] = 0x67452301;
  state_[1] = 0xEFCDAB89;
  state_[2] = 0x98BADCFE;
  state_[3] = 0x10325476;
  bitCount_ = 0;
  std::memset(buffer_, 0, sizeof buffer_);
  digest_ = {};
  finalized_ = false;
}

void CMD5::Update(const void* data, std::size_t count) {
  if (finalized_ || count == 0 || data == nullptr) return;
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t used = static_cast<std::size_t>((bitCount_ >> 3) & 63);
  bitCount_ += static_cast<std::uint64_t>(count) << 3;

  if (used != 0) {
    const std::size_t room = 64 - used;
    if (count < room) {
      std::memcpy(buffer_ + used, bytes, count);
      return;
    }
    std::memcpy(buffer_ + used, bytes, room);
    Transform(buffer_);
    bytes += room;
    count -= room;
  }
  for (; count >= 64; bytes += 64, count -= 64) Transform(bytes);
  std::memcpy(buffer_, bytes, count);
}

void CMD5::Finalize() {
  if (finalized_) return;
  std::uint8_t length[8];
  for (int i = 0; i < 8; ++i) length[i] = static_cast<std::uint8_t>(bitCount_ >> (8 * i));

  // A 0x80 byte, zeros up to 56 bytes into a block, then the bit count little-endian.
  const std::size_t used = static_cast<std::size_t>((bitCount_ >> 3) & 63);
  const std::size_t padding = used < 56 ? 56 - used : 120 - used;
  static const std::uint8_t kPadding[64] = {0x80};
  Update(kPadding, padding);
  Update(length, sizeof length);

  for (int i = 0; i < 4; ++i) StoreLittleEndian(state_[i], digest_.data() + 4 * i);
  Scrub();
  finalized_ = true;
}

std::optional<CMD5::Digest> CMD5::RawDigest() const {
  if (!finalized_) return std::nullopt;
  return digest_;
}

void CMD5::Scrub() {
  explicit_bzero(state_, sizeof state_);
  explicit_bzero(buffer_, sizeof buffer_);
  explicit_bzero(&bitCount_, sizeof bitCount_);
}

void CMD5::Transform(const std::uint8_t* block) {
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLittleEndian(block + 4 * i);
  std::uint32_t a = state_[0];
  std::uint32_t b = state_[1];
  std::uint32_t c = state_[2];
  std::uint32_t d = state_[3];

  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, a, b, c, d, x[0], 0xD76AA478, 7);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, d, a, b, c, x[1], 0xE8C7B756, 12);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, c, d, a, b, x[2], 0x242070DB, 17);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, b, c, d, a, x[3], 0xC1BDCEEE, 22);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, a, b, c, d, x[4], 0xF57C0FAF, 7);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, d, a, b, c, x[5], 0x4787C62A, 12);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, c, d, a, b, x[6], 0xA8304613, 17);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, b, c, d, a, x[7], 0xFD469501, 22);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, a, b, c, d, x[8], 0x698098D8, 7);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, d, a, b, c, x[9], 0x8B44F7AF, 12);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, c, d, a, b, x[10], 0xFFFF5BB1, 17);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, b, c, d, a, x[11], 0x895CD7BE, 22);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, a, b, c, d, x[12], 0x6B901122, 7);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, d, a, b, c, x[13], 0xFD987193, 12);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, c, d, a, b, x[14], 0xA679438E, 17);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_F, b, c, d, a, x[15], 0x49B40821, 22);

  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, a, b, c, d, x[1], 0xF61E2562, 5);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, d, a, b, c, x[6], 0xC040B340, 9);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, c, d, a, b, x[11], 0x265E5A51, 14);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, b, c, d, a, x[0], 0xE9B6C7AA, 20);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, a, b, c, d, x[5], 0xD62F105D, 5);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, d, a, b, c, x[10], 0x02441453, 9);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, c, d, a, b, x[15], 0xD8A1E681, 14);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, b, c, d, a, x[4], 0xE7D3FBC8, 20);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, a, b, c, d, x[9], 0x21E1CDE6, 5);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, d, a, b, c, x[14], 0xC33707D6, 9);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, c, d, a, b, x[3], 0xF4D50D87, 14);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, b, c, d, a, x[8], 0x455A14ED, 20);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, a, b, c, d, x[13], 0xA9E3E905, 5);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, d, a, b, c, x[2], 0xFCEFA3F8, 9);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, c, d, a, b, x[7], 0x676F02D9, 14);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_G, b, c, d, a, x[12], 0x8D2A4C8A, 20);

  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, a, b, c, d, x[5], 0xFFFA3942, 4);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, d, a, b, c, x[8], 0x8771F681, 11);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, c, d, a, b, x[11], 0x6D9D6122, 16);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, b, c, d, a, x[14], 0xFDE5380C, 23);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, a, b, c, d, x[1], 0xA4BEEA44, 4);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, d, a, b, c, x[4], 0x4BDECFA9, 11);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, c, d, a, b, x[7], 0xF6BB4B60, 16);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, b, c, d, a, x[10], 0xBEBFBC70, 23);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, a, b, c, d, x[13], 0x289B7EC6, 4);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, d, a, b, c, x[0], 0xEAA127FA, 11);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, c, d, a, b, x[3], 0xD4EF3085, 16);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, b, c, d, a, x[6], 0x04881D05, 23);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, a, b, c, d, x[9], 0xD9D4D039, 4);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, d, a, b, c, x[12], 0xE6DB99E5, 11);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, c, d, a, b, x[15], 0x1FA27CF8, 16);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_H, b, c, d, a, x[2], 0xC4AC5665, 23);

  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, a, b, c, d, x[0], 0xF4292244, 6);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, d, a, b, c, x[7], 0x432AFF97, 10);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, c, d, a, b, x[14], 0xAB9423A7, 15);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, b, c, d, a, x[5], 0xFC93A039, 21);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, a, b, c, d, x[12], 0x655B59C3, 6);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, d, a, b, c, x[3], 0x8F0CCC92, 10);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, c, d, a, b, x[10], 0xFFEFF47D, 15);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, b, c, d, a, x[1], 0x85845DD1, 21);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, a, b, c, d, x[8], 0x6FA87E4F, 6);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, d, a, b, c, x[15], 0xFE2CE6E0, 10);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, c, d, a, b, x[6], 0xA3014314, 15);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, b, c, d, a, x[13], 0x4E0811A1, 21);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, a, b, c, d, x[4], 0xF7537E82, 6);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, d, a, b, c, x[11], 0xBD3AF235, 10);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, c, d, a, b, x[2], 0x2AD7D2BB, 15);
  TALLIMOR_MD5_STEP(TALLIMOR_MD5_I, b, c, d, a, x[9], 0xEB86D391, 21);

  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  explicit_bzero(x, sizeof x);  // the words may be password bytes
}

#undef TALLIMOR_MD5_STEP
#undef TALLIMOR_MD5_I
#undef TALLIMOR_MD5_H
#undef TALLIMOR_MD5_G
#undef TALLIMOR_MD5_F

}  // namespace tallimor
