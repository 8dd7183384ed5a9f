// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of CBlowfish: the published test vectors, agreement with OpenSSL's BF_* functions
// on random keys and data in the stored byte order (big-endian halves), the key
// schedule's edge cases, the buffer operations' tails, and the scrubbing on destroy.
#include "crypto/CBlowfish.h"

#include <gtest/gtest.h>
#include <openssl/blowfish.h>

#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace tallimor {
namespace {

using Bytes = std::vector<unsigned char>;

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

Bytes RandomBytes(std::mt19937& rng, std::size_t count, int lowest = 0) {
  std::uniform_int_distribution<int> byte(lowest, 255);
  Bytes bytes(count);
  for (auto& b : bytes) b = static_cast<unsigned char>(byte(rng));
  return bytes;
}

// OpenSSL's ECB over every whole block; it reads each half big-endian, as stored memos do.
Bytes OpenSslEncrypt(const Bytes& key, Bytes data, bool encrypt = true) {
  BF_KEY schedule;
  BF_set_key(&schedule, static_cast<int>(key.size()), key.data());
  for (std::size_t at = 0; at + 8 <= data.size(); at += 8) {
    BF_ecb_encrypt(&data[at], &data[at], &schedule, encrypt ? BF_ENCRYPT : BF_DECRYPT);
  }
  return data;
}

std::uint32_t BigEndianGroup(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

// The stored-memo procedure through the word interface: every whole 4-byte group is read
// big-endian into a host word, the words go through EncryptBuffer/DecryptBuffer with
// the byte count, and the groups are written back big-endian.
Bytes ThroughWordBuffer(const CBlowfish& cipher, Bytes data, bool encrypt) {
  std::vector<std::uint32_t> words(data.size() / 4 + 1);
  for (std::size_t g = 0; g < data.size() / 4; ++g) words[g] = BigEndianGroup(&data[4 * g]);
  if (encrypt) {
    cipher.EncryptBuffer(words.data(), data.size());
  } else {
    cipher.DecryptBuffer(words.data(), data.size());
  }
  for (std::size_t g = 0; g < data.size() / 4; ++g) {
    for (int b = 0; b < 4; ++b) data[4 * g + b] = static_cast<unsigned char>(words[g] >> (24 - 8 * b));
  }
  return data;
}

Bytes EncryptBytes(const CBlowfish& cipher, Bytes data) {
  cipher.EncryptBytes(data.data(), data.size());
  return data;
}

// Enciphers a fixed run of distinct blocks: 4,096 S-box look-ups, enough to tell two
// key schedules apart without reaching into the context.
std::vector<std::uint32_t> Fingerprint(const CBlowfish& cipher) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t i = 0; i < 64; ++i) {
    std::uint32_t left = i * 0x9E3779B9u;
    std::uint32_t right = ~i;
    cipher.EncryptBlock(left, right);
    out.push_back(left);
    out.push_back(right);
  }
  return out;
}

// Blowfish written the plain way, round by round with the exchange, straight over the
// start tables: the reference for a context that never ran the key schedule.
void PlainEncrypt(std::uint32_t& left, std::uint32_t& right) {
  const std::uint32_t* p = kBlowfishInitialTables;
  const std::uint32_t* s = kBlowfishInitialTables + kBlowfishPWords;
  auto f = [s](std::uint32_t x) {
    return ((s[x >> 24] + s[256 + ((x >> 16) & 0xFF)]) ^ s[512 + ((x >> 8) & 0xFF)]) +
           s[768 + (x & 0xFF)];
  };
  std::uint32_t l = left;
  std::uint32_t r = right;
  for (int i = 0; i < 16; ++i) {
    l ^= p[i];
    r ^= f(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= p[16];
  l ^= p[17];
  left = l;
  right = r;
}

struct Vector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// Eric Young's ECB set for 8-byte keys.
const Vector kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

// The variable-key-length set: the first 1 to 24 bytes of one key, one plaintext.
const char kVariableKey[] = "F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677";
const char kVariablePlain[] = "FEDCBA9876543210";
const char* const kVariableCiphers[] = {
    "F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3", "BE1E639408640F05",
    "B39E44481BDB1E6E", "9457AA83B1928C0D", "8BB77032F960629D", "E87A244E2CC85E82",
    "15750E7A4F4EC577", "122BA70B3AB64AE0", "3A833C9AFFC537F6", "9409DA87A90F6BF2",
    "884F80625060B8B4", "1F85031C19E11968", "79D9373A714CA34F", "93142887EE3BE15C",
    "03429E838CE2D14B", "A4299E27469FF67B", "AFD5AED1C1BC96A8", "10851C0E3858DA9F",
    "E6F51ED79B9DB21F", "64A6E14AFD36B46F", "80C7D7D45A5479AD", "05044B62FA52D080",
};

void ExpectVector(const Bytes& key, const Bytes& plain, const Bytes& cipherText) {
  // The typed vector must also be what the independent implementation computes.
  ASSERT_EQ(OpenSslEncrypt(key, plain), cipherText);
  CBlowfish cipher;
  cipher.SetKey(key.data(), key.size());
  Bytes data = plain;
  cipher.EncryptBytes(data.data(), data.size());
  EXPECT_EQ(data, cipherText);
  EXPECT_EQ(ThroughWordBuffer(cipher, plain, true), cipherText);
  cipher.DecryptBytes(data.data(), data.size());
  EXPECT_EQ(data, plain);
}

TEST(BlowfishVectors, EcbSetGivesPublishedResults) {
  for (const auto& v : kEcbVectors) {
    SCOPED_TRACE(v.key);
    ExpectVector(FromHex(v.key), FromHex(v.plain), FromHex(v.cipher));
  }
}

TEST(BlowfishVectors, VariableKeyLengthSetGivesPublishedResults) {
  const Bytes fullKey = FromHex(kVariableKey);
  for (std::size_t length = 1; length <= 24; ++length) {
    SCOPED_TRACE(length);
    const Bytes key(fullKey.begin(), fullKey.begin() + static_cast<std::ptrdiff_t>(length));
    ExpectVector(key, FromHex(kVariablePlain), FromHex(kVariableCiphers[length - 1]));
  }
}

TEST(BlowfishOpenSsl, RandomKeysAndDataAgreeInStoredByteOrder) {
  std::mt19937 rng(20240601);
  std::uniform_int_distribution<std::size_t> keyLength(1, 72);
  std::uniform_int_distribution<std::size_t> dataLength(0, 300);
  for (int round = 0; round < 400; ++round) {
    const Bytes key = RandomBytes(rng, keyLength(rng));
    const Bytes plain = RandomBytes(rng, dataLength(rng));
    SCOPED_TRACE(testing::Message() << "key " << key.size() << " data " << plain.size());
    CBlowfish cipher;
    cipher.SetKey(key.data(), key.size());
    const Bytes expected = OpenSslEncrypt(key, plain);
    EXPECT_EQ(EncryptBytes(cipher, plain), expected);
    EXPECT_EQ(ThroughWordBuffer(cipher, plain, true), expected);
    EXPECT_EQ(ThroughWordBuffer(cipher, expected, false), plain);
  }
}

TEST(BlowfishOpenSsl, NulTerminatedKeysAgree) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<std::size_t> keyLength(1, 72);
  for (int round = 0; round < 100; ++round) {
    const Bytes key = RandomBytes(rng, keyLength(rng), 1);  // no NUL inside the key
    const std::string text(key.begin(), key.end());
    const Bytes plain = RandomBytes(rng, 64);
    CBlowfish cipher;
    cipher.SetKey(text.c_str());
    EXPECT_EQ(EncryptBytes(cipher, plain), OpenSslEncrypt(key, plain));
  }
}

TEST(BlowfishKeySchedule, HighKeyBytesCountAsUnsigned) {
  // "秘密" in code page 932: every byte is 0x80 or above.
  const char password[] = "\x94\xE9\x96\xA7";
  const Bytes key = {0x94, 0xE9, 0x96, 0xA7};
  const Bytes plain = FromHex("0123456789ABCDEFFEDCBA9876543210");
  CBlowfish cipher;
  cipher.SetKey(password);
  EXPECT_EQ(EncryptBytes(cipher, plain), OpenSslEncrypt(key, plain));
}

TEST(BlowfishKeySchedule, EmptyKeyKeepsTheStartTables) {
  CBlowfish fresh;
  CBlowfish emptyKey;
  emptyKey.SetKey("");
  CBlowfish nullKey;
  nullKey.SetKey(nullptr);
  CBlowfish zeroLength;
  zeroLength.SetKey(reinterpret_cast<const unsigned char*>("abc"), 0);

  std::mt19937 rng(3);
  for (int i = 0; i < 200; ++i) {
    const auto left = static_cast<std::uint32_t>(rng());
    const auto right = static_cast<std::uint32_t>(rng());
    std::uint32_t expectedLeft = left;
    std::uint32_t expectedRight = right;
    PlainEncrypt(expectedLeft, expectedRight);
    for (const CBlowfish* cipher : {&fresh, &emptyKey, &nullKey, &zeroLength}) {
      std::uint32_t l = left;
      std::uint32_t r = right;
      cipher->EncryptBlock(l, r);
      ASSERT_EQ(l, expectedLeft);
      ASSERT_EQ(r, expectedRight);
      cipher->DecryptBlock(l, r);
      ASSERT_EQ(l, left);
      ASSERT_EQ(r, right);
    }
  }
}

TEST(BlowfishKeySchedule, ShortKeysRepeatToFillEveryWord) {
  CBlowfish one;
  one.SetKey("A");
  CBlowfish four;
  four.SetKey("AAAA");
  CBlowfish full;
  full.SetKey(std::string(72, 'A').c_str());
  EXPECT_EQ(Fingerprint(one), Fingerprint(four));
  EXPECT_EQ(Fingerprint(one), Fingerprint(full));

  // Three bytes do not divide a word: the byte counter runs on across words.
  CBlowfish three;
  three.SetKey("abc");
  CBlowfish twelve;
  twelve.SetKey("abcabcabcabc");
  EXPECT_EQ(Fingerprint(three), Fingerprint(twelve));
  EXPECT_NE(Fingerprint(three), Fingerprint(one));
}

TEST(BlowfishKeySchedule, OnlyTheFirst72KeyBytesCount) {
  std::mt19937 rng(11);
  const Bytes base = RandomBytes(rng, 100);
  CBlowfish first72;
  first72.SetKey(base.data(), 72);
  CBlowfish all100;
  all100.SetKey(base.data(), 100);
  EXPECT_EQ(Fingerprint(first72), Fingerprint(all100));
  CBlowfish first71;
  first71.SetKey(base.data(), 71);
  EXPECT_NE(Fingerprint(first71), Fingerprint(first72));
  EXPECT_EQ(EncryptBytes(all100, Bytes(16, 0x5A)), OpenSslEncrypt(base, Bytes(16, 0x5A)));
}

TEST(BlowfishKeySchedule, RekeyingDependsOnTheLastKeyOnly) {
  CBlowfish fresh;
  fresh.SetKey("second");
  CBlowfish reused;
  reused.SetKey("a much longer first key that fills many words");
  reused.SetKey("second");
  EXPECT_EQ(Fingerprint(reused), Fingerprint(fresh));

  reused.SetKey("");
  EXPECT_EQ(Fingerprint(reused), Fingerprint(CBlowfish()));
  reused.SetKey("second");
  reused.Reset();
  EXPECT_EQ(Fingerprint(reused), Fingerprint(CBlowfish()));
}

TEST(BlowfishBuffer, ShortTailsStayUntouched) {
  CBlowfish cipher;
  cipher.SetKey("password");
  const Bytes plain = FromHex("000102030405060708090A0B0C0D0E0F10");
  // 0 to 7 bytes change nothing; 13 (a 13-byte record) or 15 change only the first 8.
  for (std::size_t length = 0; length <= 17; ++length) {
    SCOPED_TRACE(length);
    Bytes bytes = plain;
    cipher.EncryptBytes(bytes.data(), length);
    std::vector<std::uint32_t> words(5);
    std::memcpy(words.data(), plain.data(), plain.size() - 1);
    const std::vector<std::uint32_t> wordsBefore = words;
    cipher.EncryptBuffer(words.data(), length);

    const std::size_t whole = length / 8 * 8;
    // Bytes past the whole blocks, including those past `length`, keep their value.
    EXPECT_TRUE(std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(whole), bytes.end(),
                           plain.begin() + static_cast<std::ptrdiff_t>(whole)));
    for (std::size_t w = whole / 4; w < words.size(); ++w) EXPECT_EQ(words[w], wordsBefore[w]);
    if (whole > 0) {
      const Bytes head(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(whole));
      const Bytes expected = OpenSslEncrypt(FromHex("70617373776F7264"), head);
      EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.begin()));
      EXPECT_NE(words[0], wordsBefore[0]);
    }
  }
}

TEST(BlowfishBuffer, DecipherUndoesEncipherForRandomKeysAndBlocks) {
  std::mt19937 rng(99);
  CBlowfish cipher;
  for (int round = 0; round < 50; ++round) {
    const Bytes key = RandomBytes(rng, 1 + rng() % 80);
    cipher.SetKey(key.data(), key.size());
    std::vector<std::uint32_t> words(2 + rng() % 512);
    for (auto& w : words) w = static_cast<std::uint32_t>(rng());
    const auto original = words;
    cipher.EncryptBuffer(words.data(), words.size() * 4);
    EXPECT_NE(words, original);
    cipher.DecryptBuffer(words.data(), words.size() * 4);
    EXPECT_EQ(words, original);
  }
}

TEST(BlowfishScrub, DestroyLeavesNoKeyDerivedTable) {
  alignas(CBlowfish) unsigned char storage[sizeof(CBlowfish)];
  auto* cipher = new (storage) CBlowfish;
  cipher->SetKey("open sesame");
  const std::vector<std::uint32_t> keyed = Fingerprint(*cipher);
  ASSERT_FALSE(keyed.empty());
  cipher->~CBlowfish();

  // The key schedule replaced every table word; each one must now hold zero or its
  // start value, never a key-derived one.
  std::vector<std::uint32_t> left(sizeof storage / 4);
  std::memcpy(left.data(), storage, sizeof storage);
  ASSERT_EQ(left.size(), kBlowfishTableWords);
  for (std::size_t i = 0; i < left.size(); ++i) {
    ASSERT_TRUE(left[i] == 0 || left[i] == kBlowfishInitialTables[i]) << "word " << i;
  }
}

}  // namespace
}  // namespace tallimor
