// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fixed-width integers in byte buffers, in both byte orders, for every file and
// message format of the project: the record file is little-endian, the handheld's
// .pdb files and the values inside the category table big-endian. The order is in
// each name, so a reader of a call knows which format it belongs to; none of these
// needs the buffer to be aligned.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tallimor {

// Reads two or four bytes at `p`. REQUIRES: that many bytes are there.
constexpr std::uint16_t DecodeFixed16BE(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] << 8 | p[1]);
}
constexpr std::uint32_t DecodeFixed32BE(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}
constexpr std::uint16_t DecodeFixed16LE(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}
constexpr std::uint32_t DecodeFixed32LE(const std::uint8_t* p) {
  return p[0] | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// Writes two or four bytes at `p`. REQUIRES: that many bytes are there.
constexpr void EncodeFixed16BE(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 8);
  p[1] = static_cast<std::uint8_t>(v);
}
constexpr void EncodeFixed32BE(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}
constexpr void EncodeFixed16LE(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
constexpr void EncodeFixed32LE(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Makes room for `n` more bytes at the end of `out` and returns where they start.
inline std::uint8_t* AppendRoom(std::vector<std::uint8_t>& out, std::size_t n) {
  out.resize(out.size() + n);
  return out.data() + out.size() - n;
}

// Appends two or four bytes to `out`.
inline void PutFixed16BE(std::vector<std::uint8_t>& out, std::uint16_t v) { EncodeFixed16BE(AppendRoom(out, 2), v); }
inline void PutFixed32BE(std::vector<std::uint8_t>& out, std::uint32_t v) { EncodeFixed32BE(AppendRoom(out, 4), v); }
inline void PutFixed16LE(std::vector<std::uint8_t>& out, std::uint16_t v) { EncodeFixed16LE(AppendRoom(out, 2), v); }
inline void PutFixed32LE(std::vector<std::uint8_t>& out, std::uint32_t v) { EncodeFixed32LE(AppendRoom(out, 4), v); }

}  // namespace tallimor
