// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A small writer of record.dat bytes for tests, built straight from the format's
// tables (header 84 bytes, info blocks with a 56-byte header, record images with
// a 40-byte header, little-endian), independent of the store's own code, so that
// tests can compare whole files against it.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "store/ByteOrder.h"

namespace tallimor::testing {

using Bytes = std::vector<std::uint8_t>;

inline void Text(Bytes& b, const std::string& text, std::size_t width) {
  for (std::size_t i = 0; i < width; ++i) b.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

inline std::uint32_t FourCC(const char* s) {
  return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
         (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

struct HeaderFields {
  std::uint16_t version = 1;
  std::string name = "TallimorDB";
  std::uint32_t dbVersion = 3;
  std::uint32_t creator = FourCC("Tlmr");
  std::uint32_t type = FourCC("DATA");
  std::uint16_t flags = 0x0008;
  std::uint32_t modDate = 3900000000u;
  std::uint32_t modNumber = 17;
  std::uint32_t createDate = 3800000000u;
  std::uint32_t backupDate = 3850000000u;
};

inline Bytes Header(const HeaderFields& h, std::int32_t records, std::uint32_t appInfoLength,
                    std::uint32_t sortInfoLength) {
  Bytes b;
  PutFixed32LE(b, 84);
  PutFixed16LE(b, h.version);
  Text(b, h.name, 32);
  PutFixed16LE(b, 0);
  PutFixed32LE(b, h.dbVersion);
  PutFixed32LE(b, h.creator);
  PutFixed32LE(b, h.type);
  PutFixed16LE(b, h.flags);
  PutFixed16LE(b, 0);
  PutFixed32LE(b, h.modDate);
  PutFixed32LE(b, h.modNumber);
  PutFixed32LE(b, h.createDate);
  PutFixed32LE(b, h.backupDate);
  PutFixed32LE(b, static_cast<std::uint32_t>(records));
  PutFixed32LE(b, appInfoLength);
  PutFixed32LE(b, sortInfoLength);
  return b;
}

// An info block whose data area is `data` padded with zeros to `capacity`.
inline Bytes InfoBlockBytes(const std::string& name, std::uint32_t capacity, const Bytes& data,
                            std::uint32_t used, std::uint32_t reserved = 0) {
  Bytes b;
  PutFixed32LE(b, 56 + capacity);
  PutFixed16LE(b, 4098);
  PutFixed16LE(b, 0);
  PutFixed32LE(b, 56);
  Text(b, name, 32);
  PutFixed32LE(b, capacity);
  PutFixed32LE(b, used);
  PutFixed32LE(b, reserved);
  for (std::uint32_t i = 0; i < capacity; ++i) b.push_back(i < data.size() ? data[i] : 0);
  return b;
}

// The 276-byte category table: names by index ("" = unused), ids by index, and
// the changed-categories word stored most significant byte first.
inline Bytes CategoryTableBytes(const std::vector<std::string>& names, const std::vector<std::uint8_t>& ids,
                                std::uint16_t changed = 0) {
  Bytes b;
  b.push_back(static_cast<std::uint8_t>(changed >> 8));
  b.push_back(static_cast<std::uint8_t>(changed));
  for (int i = 0; i < 16; ++i) Text(b, i < static_cast<int>(names.size()) ? names[i] : "", 16);
  for (int i = 0; i < 16; ++i) b.push_back(i < static_cast<int>(ids.size()) ? ids[i] : 0);
  b.push_back(0);
  b.push_back(0);
  return b;
}

// Stored flags: 0x01 modified, 0x02 deleted, 0x04 archived, 0x08 new, 0x10 private.
inline Bytes RecordImageBytes(std::uint32_t id, std::uint16_t storedFlags, std::uint32_t category,
                              const std::string& data) {
  Bytes b;
  PutFixed32LE(b, 40 + static_cast<std::uint32_t>(data.size()));
  PutFixed32LE(b, 4098);
  PutFixed32LE(b, 40);
  PutFixed32LE(b, 0);
  PutFixed32LE(b, id);
  PutFixed32LE(b, 0);
  PutFixed16LE(b, storedFlags);
  PutFixed16LE(b, 0);
  PutFixed32LE(b, category);
  PutFixed32LE(b, 0);
  PutFixed32LE(b, static_cast<std::uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

inline void Append(Bytes& to, const Bytes& more) { to.insert(to.end(), more.begin(), more.end()); }

inline void WriteFileBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace tallimor::testing
