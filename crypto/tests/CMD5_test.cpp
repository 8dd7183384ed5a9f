// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Tests of CMD5: the RFC 1321 suite, agreement with OpenSSL's MD5 on random messages fed
// in random pieces (padding boundaries included), and the edges of Update, Finalize and
// RawDigest.
#include "crypto/CMD5.h"

#include <gtest/gtest.h>
#include <openssl/md5.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace tallimor {
namespace {

std::string Hex(const CMD5::Digest& digest) {
  std::string out;
  char two[3];
  for (auto b : digest) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

std::string Md5Hex(const std::string& message) {
  CMD5 md5;
  md5.Init();
  md5.Update(message.data(), message.size());
  md5.Finalize();
  const auto digest = md5.RawDigest();
  return digest ? Hex(*digest) : "(none)";
}

CMD5::Digest OpenSslMd5(const std::vector<std::uint8_t>& message) {
  CMD5::Digest digest;
  MD5(message.data(), message.size(), digest.data());
  return digest;
}

TEST(MD5Rfc1321, TestSuite) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  EXPECT_EQ(Md5Hex("1234567890123456789012345678901234567890123456789012345678901234567890"
                   "1234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(MD5OpenSsl, RandomMessagesInRandomPiecesAgree) {
  std::mt19937 rng(1321);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 200; ++n) lengths.push_back(n);  // every padding case
  for (int i = 0; i < 40; ++i) lengths.push_back(rng() % 20000);
  lengths.push_back(1 << 20);
  for (std::size_t length : lengths) {
    std::vector<std::uint8_t> message(length);
    for (auto& b : message) b = static_cast<std::uint8_t>(rng());
    CMD5 md5;
    for (std::size_t at = 0; at < length;) {
      const std::size_t piece = std::min<std::size_t>(length - at, rng() % 150);
      md5.Update(message.data() + at, piece);
      at += piece;
    }
    md5.Finalize();
    const auto digest = md5.RawDigest();
    ASSERT_TRUE(digest.has_value());
    EXPECT_EQ(*digest, OpenSslMd5(message)) << "length " << length;
  }
}

TEST(MD5Edges, DigestOnlyAfterFinalizeAndNothingChangesItUntilInit) {
  CMD5 md5;
  EXPECT_FALSE(md5.RawDigest().has_value());
  md5.Update(nullptr, 0);
  md5.Update("abc", 3);
  EXPECT_FALSE(md5.RawDigest().has_value());
  md5.Finalize();
  md5.Update("more text", 9);  // ignored once finalized
  md5.Finalize();              // does nothing
  ASSERT_TRUE(md5.RawDigest().has_value());
  EXPECT_EQ(Hex(*md5.RawDigest()), "900150983cd24fb0d6963f7d28e17f72");

  md5.Init();
  EXPECT_FALSE(md5.RawDigest().has_value());
  md5.Update("partial input that is never finalized", 37);
  md5.Init();
  md5.Finalize();
  EXPECT_EQ(Hex(*md5.RawDigest()), "d41d8cd98f00b204e9800998ecf8427e");
}

TEST(MD5OpenSsl, CodePage932PasswordBytes) {
  // "ぱすわーど" as the handheld stores it: double-byte, every lead byte above 0x80.
  const std::string password = "\x82\xCF\x82\xB7\x82\xED\x81\x5B\x82\xC7";
  const std::vector<std::uint8_t> bytes(password.begin(), password.end());
  CMD5 md5;
  md5.Update(password.data(), password.size());
  md5.Finalize();
  EXPECT_EQ(*md5.RawDigest(), OpenSslMd5(bytes));
}

}  // namespace
}  // namespace tallimor
