// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Blowfish as published by its designer: the key schedule over the digits of pi, and
// the block functions with the 16 rounds unrolled and the S-box bases held in locals,
// since every load deciphers a whole record file and every save enciphers it again.
#include "crypto/CBlowfish.h"

#include <cstring>
#include <utility>

#include "crypto/SecureMemory.h"

namespace tallimor {

namespace {

constexpr const std::uint32_t* SBox(const std::uint32_t* tables, std::size_t box) {
  return tables + kBlowfishPWords + box * kBlowfishSBoxWords;
}

std::uint32_t LoadBigEndian(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) << 24 | static_cast<std::uint32_t>(bytes[1]) << 16 |
         static_cast<std::uint32_t>(bytes[2]) << 8 | static_cast<std::uint32_t>(bytes[3]);
}

void StoreBigEndian(std::uint32_t word, unsigned char* bytes) {
  bytes[0] = static_cast<unsigned char>(word >> 24);
  bytes[1] = static_cast<unsigned char>(word >> 16);
  bytes[2] = static_cast<unsigned char>(word >> 8);
  bytes[3] = static_cast<unsigned char>(word);
}

// Pins a value to a general register. Without it compilers pack the interleaved blocks
// into vector registers, and every table look-up then pays for lane moves and shuffles.
[[gnu::always_inline]] inline void KeepScalar(std::uint32_t& x) { asm("" : "+r"(x)); }

// The 16 rounds over N independent blocks at once. One block is a chain of dependent
// table look-ups; interleaving blocks of an ECB buffer lets the processor overlap them.
// Rounds run without the exchange: the halves trade roles from one round to the next,
// so each round XORs into the other local and the exchanges cost nothing. Encipher
// walks the P-words forwards, decipher backwards; the result is (r, l), the last
// exchange undone. Lane indices are constants (a fold over an index sequence), so the
// halves stay in registers.
struct Rounds {
  const std::uint32_t* p;
  const std::uint32_t* s0;
  const std::uint32_t* s1;
  const std::uint32_t* s2;
  const std::uint32_t* s3;

  explicit Rounds(const std::uint32_t* tables)
      : p(tables), s0(SBox(tables, 0)), s1(SBox(tables, 1)), s2(SBox(tables, 2)),
        s3(SBox(tables, 3)) {}

  // F(x) = ((S0[a] + S1[b]) ^ S2[c]) + S3[d] with a the top byte of x and d the lowest.
  [[gnu::always_inline]] std::uint32_t F(std::uint32_t x) const {
    return ((s0[x >> 24] + s1[(x >> 16) & 0xFF]) ^ s2[(x >> 8) & 0xFF]) + s3[x & 0xFF];
  }

  template <std::size_t... I>
  [[gnu::always_inline]] void Round(std::uint32_t* into, const std::uint32_t* from,
                                    std::uint32_t word, std::index_sequence<I...>) const {
    ((into[I] ^= F(from[I]) ^ word, KeepScalar(into[I])), ...);
  }

  // Enciphers (Encrypt) or deciphers the N = sizeof...(I) blocks (left[n], right[n]).
  template <bool Encrypt, std::size_t... I>
  [[gnu::always_inline]] void Run(std::uint32_t* left, std::uint32_t* right,
                                  std::index_sequence<I...> lanes) const {
    std::uint32_t order[18];  // the P-words in the order the rounds use them
    for (std::size_t i = 0; i < 18; ++i) order[i] = Encrypt ? p[i] : p[17 - i];
    std::uint32_t l[] = {(left[I] ^ order[0])...};
    std::uint32_t r[] = {right[I]...};
    Round(r, l, order[1], lanes);
    Round(l, r, order[2], lanes);
    Round(r, l, order[3], lanes);
    Round(l, r, order[4], lanes);
    Round(r, l, order[5], lanes);
    Round(l, r, order[6], lanes);
    Round(r, l, order[7], lanes);
    Round(l, r, order[8], lanes);
    Round(r, l, order[9], lanes);
    Round(l, r, order[10], lanes);
    Round(r, l, order[11], lanes);
    Round(l, r, order[12], lanes);
    Round(r, l, order[13], lanes);
    Round(l, r, order[14], lanes);
    Round(r, l, order[15], lanes);
    Round(l, r, order[16], lanes);
    ((left[I] = r[I] ^ order[17], right[I] = l[I]), ...);
  }
};

constexpr bool kEncrypt = true;
constexpr bool kDecrypt = false;

// Blocks interleaved per pass over a buffer: four keep every half in a general
// register on x86-64 and run about 2.5 times as fast as one; more only spill.
constexpr std::size_t kLanes = 4;

// Transforms kLanes blocks at a time, then the remaining ones singly. `load` and
// `store` move block k between the buffer and the two halves.
template <bool Encrypt, std::size_t N, typename Load, typename Store>
[[gnu::always_inline]] inline void TransformBlocks(const Rounds& rounds, std::size_t first,
                                                   Load load, Store store) {
  std::uint32_t left[N];
  std::uint32_t right[N];
  for (std::size_t n = 0; n < N; ++n) load(first + n, left[n], right[n]);
  rounds.Run<Encrypt>(left, right, std::make_index_sequence<N>{});
  for (std::size_t n = 0; n < N; ++n) store(first + n, left[n], right[n]);
}

template <bool Encrypt, typename Load, typename Store>
void TransformAll(const Rounds& rounds, std::size_t blocks, Load load, Store store) {
  std::size_t k = 0;
  for (; k + kLanes <= blocks; k += kLanes) {
    TransformBlocks<Encrypt, kLanes>(rounds, k, load, store);
  }
  for (; k < blocks; ++k) TransformBlocks<Encrypt, 1>(rounds, k, load, store);
}

// ECB over a buffer of host-order words: block k is (words[2k], words[2k+1]).
template <bool Encrypt>
void TransformWords(const Rounds& rounds, std::uint32_t* words, std::size_t length) {
  TransformAll<Encrypt>(
      rounds, length >> 3,
      [words](std::size_t k, std::uint32_t& l, std::uint32_t& r) {
        l = words[2 * k];
        r = words[2 * k + 1];
      },
      [words](std::size_t k, std::uint32_t l, std::uint32_t r) {
        words[2 * k] = l;
        words[2 * k + 1] = r;
      });
}

// ECB over a byte buffer: block k is bytes 8k to 8k+7, each half big-endian.
template <bool Encrypt>
void TransformBytes(const Rounds& rounds, unsigned char* data, std::size_t length) {
  TransformAll<Encrypt>(
      rounds, length >> 3,
      [data](std::size_t k, std::uint32_t& l, std::uint32_t& r) {
        l = LoadBigEndian(data + 8 * k);
        r = LoadBigEndian(data + 8 * k + 4);
      },
      [data](std::size_t k, std::uint32_t l, std::uint32_t r) {
        StoreBigEndian(l, data + 8 * k);
        StoreBigEndian(r, data + 8 * k + 4);
      });
}

}  // namespace

CBlowfish::CBlowfish() {
  // The key schedule is the key: kept out of swap and core files while it lives.
  SecureMemory::Lock(tables_, sizeof tables_);
  Reset();
}

CBlowfish::~CBlowfish() {
  // explicit_bzero is never dropped as a dead store, unlike a copy of the start values
  // into memory that is about to be released.
  SecureMemory::Wipe(tables_, sizeof tables_);
  SecureMemory::Unlock(tables_, sizeof tables_);
}

void CBlowfish::Reset() { std::memcpy(tables_, kBlowfishInitialTables, sizeof tables_); }

void CBlowfish::SetKey(const char* key) {
  const std::size_t length = key == nullptr ? 0 : std::strlen(key);
  SetKey(reinterpret_cast<const unsigned char*>(key), length);
}

void CBlowfish::SetKey(const unsigned char* key, std::size_t length) {
  Reset();
  if (key == nullptr || length == 0) return;

  // The key is read big-endian, four bytes to a P-word, cycling over its bytes; the
  // byte counter runs on across words, so keys longer than 72 bytes add nothing.
  std::size_t j = 0;
  for (std::size_t i = 0; i < kBlowfishPWords; ++i) {
    std::uint32_t word = 0;
    for (int b = 0; b < 4; ++b) {
      word = word << 8 | key[j];
      j = j + 1 == length ? 0 : j + 1;
    }
    tables_[i] ^= word;
    SecureMemory::Wipe(&word, sizeof word);
  }

  // Each table word pair is replaced by the encipherment of the previous pair, with the
  // tables as changed so far; the chain runs from P[0] to S3[255].
  std::uint32_t left = 0;
  std::uint32_t right = 0;
  for (std::size_t i = 0; i < kBlowfishTableWords; i += 2) {
    EncryptBlock(left, right);
    tables_[i] = left;
    tables_[i + 1] = right;
  }
  // The last pair and word are key-derived; nothing of them stays on the stack.
  SecureMemory::Wipe(&left, sizeof left);
  SecureMemory::Wipe(&right, sizeof right);
}

void CBlowfish::EncryptBlock(std::uint32_t& left, std::uint32_t& right) const {
  std::uint32_t l[1] = {left};
  std::uint32_t r[1] = {right};
  Rounds(tables_).Run<kEncrypt>(l, r, std::make_index_sequence<1>{});
  left = l[0];
  right = r[0];
}

void CBlowfish::DecryptBlock(std::uint32_t& left, std::uint32_t& right) const {
  std::uint32_t l[1] = {left};
  std::uint32_t r[1] = {right};
  Rounds(tables_).Run<kDecrypt>(l, r, std::make_index_sequence<1>{});
  left = l[0];
  right = r[0];
}

void CBlowfish::EncryptBuffer(std::uint32_t* words, std::size_t length) const {
  TransformWords<kEncrypt>(Rounds(tables_), words, length);
}

void CBlowfish::DecryptBuffer(std::uint32_t* words, std::size_t length) const {
  TransformWords<kDecrypt>(Rounds(tables_), words, length);
}

void CBlowfish::EncryptBytes(unsigned char* data, std::size_t length) const {
  TransformBytes<kEncrypt>(Rounds(tables_), data, length);
}

void CBlowfish::DecryptBytes(unsigned char* data, std::size_t length) const {
  TransformBytes<kDecrypt>(Rounds(tables_), data, length);
}

}  // namespace tallimor
