// Blowfish as published by its designer: the key schedule over the digits of pi, and
// the block functions with the 16 rounds unrolled and the S-box bases held in locals,
// since every load deciphers a whole record file and every save enciphers it again.
#include "crypto/CBlowfish.h"

#include <cstring>

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

// F(x) = ((S0[a] + S1[b]) ^ S2[c]) + S3[d] with a the top byte of x and d the lowest.
#define TALLIMOR_BF_F(x) \
  (((s0[(x) >> 24] + s1[((x) >> 16) & 0xFF]) ^ s2[((x) >> 8) & 0xFF]) + s3[(x) & 0xFF])

// One round without the exchange: the halves trade roles from one round to the next,
// so each round XORs into the other local and the exchanges cost nothing.
#define TALLIMOR_BF_ROUND(into, from, pword) into ^= TALLIMOR_BF_F(from) ^ (pword)

// The 16 rounds over the P-words in the order i0, i1, ..., i17; encipher walks them
// forwards and decipher backwards. The result is (r, l): the last exchange undone.
struct Rounds {
  const std::uint32_t* p;
  const std::uint32_t* s0;
  const std::uint32_t* s1;
  const std::uint32_t* s2;
  const std::uint32_t* s3;

  explicit Rounds(const std::uint32_t* tables)
      : p(tables), s0(SBox(tables, 0)), s1(SBox(tables, 1)), s2(SBox(tables, 2)),
        s3(SBox(tables, 3)) {}

  void Encrypt(std::uint32_t& left, std::uint32_t& right) const {
    std::uint32_t l = left ^ p[0];
    std::uint32_t r = right;
    TALLIMOR_BF_ROUND(r, l, p[1]);
    TALLIMOR_BF_ROUND(l, r, p[2]);
    TALLIMOR_BF_ROUND(r, l, p[3]);
    TALLIMOR_BF_ROUND(l, r, p[4]);
    TALLIMOR_BF_ROUND(r, l, p[5]);
    TALLIMOR_BF_ROUND(l, r, p[6]);
    TALLIMOR_BF_ROUND(r, l, p[7]);
    TALLIMOR_BF_ROUND(l, r, p[8]);
    TALLIMOR_BF_ROUND(r, l, p[9]);
    TALLIMOR_BF_ROUND(l, r, p[10]);
    TALLIMOR_BF_ROUND(r, l, p[11]);
    TALLIMOR_BF_ROUND(l, r, p[12]);
    TALLIMOR_BF_ROUND(r, l, p[13]);
    TALLIMOR_BF_ROUND(l, r, p[14]);
    TALLIMOR_BF_ROUND(r, l, p[15]);
    TALLIMOR_BF_ROUND(l, r, p[16]);
    left = r ^ p[17];
    right = l;
  }

  void Decrypt(std::uint32_t& left, std::uint32_t& right) const {
    std::uint32_t l = left ^ p[17];
    std::uint32_t r = right;
    TALLIMOR_BF_ROUND(r, l, p[16]);
    TALLIMOR_BF_ROUND(l, r, p[15]);
    TALLIMOR_BF_ROUND(r, l, p[14]);
    TALLIMOR_BF_ROUND(l, r, p[13]);
    TALLIMOR_BF_ROUND(r, l, p[12]);
    TALLIMOR_BF_ROUND(l, r, p[11]);
    TALLIMOR_BF_ROUND(r, l, p[10]);
    TALLIMOR_BF_ROUND(l, r, p[9]);
    TALLIMOR_BF_ROUND(r, l, p[8]);
    TALLIMOR_BF_ROUND(l, r, p[7]);
    TALLIMOR_BF_ROUND(r, l, p[6]);
    TALLIMOR_BF_ROUND(l, r, p[5]);
    TALLIMOR_BF_ROUND(r, l, p[4]);
    TALLIMOR_BF_ROUND(l, r, p[3]);
    TALLIMOR_BF_ROUND(r, l, p[2]);
    TALLIMOR_BF_ROUND(l, r, p[1]);
    left = r ^ p[0];
    right = l;
  }
};

#undef TALLIMOR_BF_ROUND
#undef TALLIMOR_BF_F

// Runs `transform` over every whole block of a word buffer.
template <typename Transform>
void ForEachWordBlock(std::uint32_t* words, std::size_t length, Transform transform) {
  const std::size_t blocks = length >> 3;
  for (std::size_t k = 0; k < blocks; ++k) {
    transform(words[2 * k], words[2 * k + 1]);
  }
}

// Runs `transform` over every whole block of a byte buffer, halves big-endian.
template <typename Transform>
void ForEachByteBlock(unsigned char* data, std::size_t length, Transform transform) {
  const std::size_t blocks = length >> 3;
  for (std::size_t k = 0; k < blocks; ++k) {
    unsigned char* block = data + 8 * k;
    std::uint32_t left = LoadBigEndian(block);
    std::uint32_t right = LoadBigEndian(block + 4);
    transform(left, right);
    StoreBigEndian(left, block);
    StoreBigEndian(right, block + 4);
  }
}

}  // namespace

CBlowfish::CBlowfish() { Reset(); }

CBlowfish::~CBlowfish() {
  // explicit_bzero is never dropped as a dead store, unlike a copy of the start values
  // into memory that is about to be released.
  explicit_bzero(tables_, sizeof tables_);
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
}

void CBlowfish::EncryptBlock(std::uint32_t& left, std::uint32_t& right) const {
  Rounds(tables_).Encrypt(left, right);
}

void CBlowfish::DecryptBlock(std::uint32_t& left, std::uint32_t& right) const {
  Rounds(tables_).Decrypt(left, right);
}

void CBlowfish::EncryptBuffer(std::uint32_t* words, std::size_t length) const {
  const Rounds rounds(tables_);
  ForEachWordBlock(words, length,
                   [&rounds](std::uint32_t& l, std::uint32_t& r) { rounds.Encrypt(l, r); });
}

void CBlowfish::DecryptBuffer(std::uint32_t* words, std::size_t length) const {
  const Rounds rounds(tables_);
  ForEachWordBlock(words, length,
                   [&rounds](std::uint32_t& l, std::uint32_t& r) { rounds.Decrypt(l, r); });
}

void CBlowfish::EncryptBytes(unsigned char* data, std::size_t length) const {
  const Rounds rounds(tables_);
  ForEachByteBlock(data, length,
                   [&rounds](std::uint32_t& l, std::uint32_t& r) { rounds.Encrypt(l, r); });
}

void CBlowfish::DecryptBytes(unsigned char* data, std::size_t length) const {
  const Rounds rounds(tables_);
  ForEachByteBlock(data, length,
                   [&rounds](std::uint32_t& l, std::uint32_t& r) { rounds.Decrypt(l, r); });
}

}  // namespace tallimor
