// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// An independent writer of protected record files for tests and benchmarks: the bytes
// are laid out field by field from the record file's format tables, the password digest
// comes from OpenSSL's MD5 and the memos are enciphered with OpenSSL's Blowfish
// (BF_ecb_encrypt reads and writes each half big-endian, the byte order of stored
// memos). Nothing of the code under test is used, so agreement means interoperability.
#pragma once

#include <openssl/blowfish.h>
#include <openssl/md5.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "store/ByteOrder.h"

namespace tallimor::testing {

struct MemoSpec {
  std::uint32_t id = 0;
  std::uint32_t category = 0;
  std::uint16_t storedFlags = 0;  // 0x01 modified, 0x02 deleted, 0x04 archived, 0x08 new, 0x10 private
  std::vector<std::uint8_t> plain;  // the record data before enciphering
};

struct ProtectedFileSpec {
  const char* password = nullptr;  // nullptr: no password (16 zero digest bytes)
  std::string hint;                // stored after the digest, NUL-terminated
  bool hintNul = true;             // false: the hint runs to the end of the data
  std::uint32_t appDataPadding = 0;  // extra zero bytes after the hint (large app info)
  bool encipher = true;            // false: the memos' bytes are stored as given
  std::vector<MemoSpec> memos;
  // Category names by index (an empty name leaves the index free); index i gets id i.
  std::vector<std::string> categories = {"Unfiled", "Business"};
};

inline void PutZeros(std::vector<std::uint8_t>& out, std::size_t n) { out.insert(out.end(), n, 0); }

// The stored memo form of a text, built by hand: text, NUL, zero filler to a multiple of 8.
inline std::vector<std::uint8_t> PlainMemo(const std::string& text) {
  std::vector<std::uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  while (bytes.size() % 8 != 0) bytes.push_back(0);
  return bytes;
}

inline std::array<std::uint8_t, 16> OpenSslMd5(const char* password) {
  std::array<std::uint8_t, 16> digest{};
  MD5(reinterpret_cast<const unsigned char*>(password), std::strlen(password), digest.data());
  return digest;
}

// Enciphers the whole 8-byte blocks of `data` with Blowfish keyed by `password`; a tail
// of 1 to 7 bytes stays as it is. decrypt: the other direction.
inline std::vector<std::uint8_t> OpenSslBlowfish(const char* password, std::vector<std::uint8_t> data,
                                                 bool decrypt = false) {
  BF_KEY key;
  BF_set_key(&key, static_cast<int>(std::strlen(password)),
             reinterpret_cast<const unsigned char*>(password));
  for (std::size_t at = 0; at + 8 <= data.size(); at += 8) {
    BF_ecb_encrypt(data.data() + at, data.data() + at, &key, decrypt ? BF_DECRYPT : BF_ENCRYPT);
  }
  return data;
}

// The 276-byte category table: names by index (by default "Unfiled", id 0, and
// "Business", id 1), index i with id i, nothing changed.
inline std::vector<std::uint8_t> CategoryTableBytes(
    const std::vector<std::string>& names = {"Unfiled", "Business"}) {
  std::vector<std::uint8_t> table(276, 0);
  for (std::size_t i = 0; i < names.size() && i < 16; ++i) {
    std::memcpy(&table[2 + 16 * i], names[i].data(), std::min<std::size_t>(names[i].size(), 15));
    table[258 + i] = static_cast<std::uint8_t>(i);
  }
  table[274] = static_cast<std::uint8_t>(names.empty() ? 0 : names.size() - 1);  // last unique id
  return table;
}

// The application information data: category table, 4 carried bytes, digest, hint.
inline std::vector<std::uint8_t> AppInfoData(const ProtectedFileSpec& spec) {
  const std::vector<std::uint8_t> table = CategoryTableBytes(spec.categories);
  std::array<std::uint8_t, 16> digest{};
  if (spec.password != nullptr) digest = OpenSslMd5(spec.password);
  std::vector<std::uint8_t> data;
  data.reserve(296 + spec.hint.size() + 1 + spec.appDataPadding);
  for (const std::uint8_t b : table) data.push_back(b);
  const std::uint8_t carried[4] = {0xDE, 0xAD, 0xBE, 0xEF};  // carried as is
  for (const std::uint8_t b : carried) data.push_back(b);
  for (const std::uint8_t b : digest) data.push_back(b);
  for (const char c : spec.hint) data.push_back(static_cast<std::uint8_t>(c));
  if (spec.hintNul) data.push_back(0);
  PutZeros(data, spec.appDataPadding);
  return data;
}

// The whole record.dat: 84-byte header, app info block, record images in order.
inline std::vector<std::uint8_t> ProtectedFileBytes(const ProtectedFileSpec& spec) {
  const std::vector<std::uint8_t> appData = AppInfoData(spec);
  const std::uint32_t appBlockLength = 56 + static_cast<std::uint32_t>(appData.size());
  std::vector<std::uint8_t> out;
  // Header.
  PutFixed32LE(out, 84);
  PutFixed16LE(out, 1);
  char name[32] = "TallimorDB";
  out.insert(out.end(), name, name + 32);
  PutFixed16LE(out, 0);
  PutFixed32LE(out, 1);                                  // database version
  PutFixed32LE(out, ('T' << 24) | ('l' << 16) | ('m' << 8) | 'r');  // creator
  PutFixed32LE(out, ('D' << 24) | ('A' << 16) | ('T' << 8) | 'A');  // type
  PutFixed16LE(out, 0x0008);                             // attribute flags
  PutFixed16LE(out, 0);
  PutFixed32LE(out, 3'800'000'000u);                     // modification date
  PutFixed32LE(out, 7);                                  // modification number
  PutFixed32LE(out, 3'700'000'000u);                     // creation date
  PutFixed32LE(out, 0);                                  // backup date
  PutFixed32LE(out, static_cast<std::uint32_t>(spec.memos.size()));
  PutFixed32LE(out, appBlockLength);
  PutFixed32LE(out, 0);                                  // no sort info
  // App info block.
  PutFixed32LE(out, appBlockLength);
  PutFixed16LE(out, 4098);
  PutFixed16LE(out, 0);
  PutFixed32LE(out, 56);
  char blockName[32] = "TallimorDB";
  out.insert(out.end(), blockName, blockName + 32);
  PutFixed32LE(out, static_cast<std::uint32_t>(appData.size()));  // capacity
  PutFixed32LE(out, static_cast<std::uint32_t>(appData.size()));  // used
  PutFixed32LE(out, 0x12345678);                                  // reserved word, carried
  out.insert(out.end(), appData.begin(), appData.end());
  // Record images.
  for (const MemoSpec& memo : spec.memos) {
    const std::vector<std::uint8_t> stored =
        spec.password != nullptr && spec.encipher ? OpenSslBlowfish(spec.password, memo.plain) : memo.plain;
    PutFixed32LE(out, 40 + static_cast<std::uint32_t>(stored.size()));
    PutFixed32LE(out, 4098);
    PutFixed32LE(out, 40);
    PutFixed32LE(out, 0);
    PutFixed32LE(out, memo.id);
    PutFixed32LE(out, 0);
    PutFixed16LE(out, memo.storedFlags);
    PutFixed16LE(out, 0);
    PutFixed32LE(out, memo.category);
    PutFixed32LE(out, 0);
    PutFixed32LE(out, static_cast<std::uint32_t>(stored.size()));
    out.insert(out.end(), stored.begin(), stored.end());
  }
  return out;
}

// Offset of record image `n` (0-based) in a file built from `spec`.
inline std::size_t RecordImageOffset(const ProtectedFileSpec& spec, std::size_t n) {
  std::size_t at = 84 + 56 + AppInfoData(spec).size();
  for (std::size_t i = 0; i < n; ++i) at += 40 + spec.memos[i].plain.size();
  return at;
}

inline bool WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  std::uint8_t buffer[65536];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  std::fclose(f);
  return bytes;
}

}  // namespace tallimor::testing
