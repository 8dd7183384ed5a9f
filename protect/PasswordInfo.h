// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The password information that the handheld keeps in the memo database's application
// information after the category table: the MD5 digest of the password (16 zero bytes:
// no password) and a hint, and the check of a typed password against that digest. Used
// by the protected record store and by tallimor-dump, which reads files on its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tallimor {

// Offsets in the application information data.
inline constexpr std::uint32_t kPasswordDigestOffset = 280;
inline constexpr std::uint32_t kPasswordDigestSize = 16;
inline constexpr std::uint32_t kPasswordHintOffset = 296;

struct PasswordInfo {
  std::array<std::uint8_t, kPasswordDigestSize> digest{};  // stored MD5 of the password
  std::string hint;  // code page 932 bytes up to the first NUL or the end of the data
  // True when any digest byte is non-zero, i.e. the memos are enciphered.
  bool IsSet() const;
};

// Reads the digest and the hint from `length` bytes of application information data
// (data may be null when length is 0). Whatever lies beyond the data counts as zero
// bytes, so a short block carries no password and no hint; any length is accepted.
PasswordInfo ReadPasswordInfo(const std::uint8_t* data, std::size_t length);

// The digest stored for `password` (the bytes before its NUL, in code page 932; null
// counts as empty): its MD5. The caller wipes the result once it is no longer needed.
std::array<std::uint8_t, kPasswordDigestSize> PasswordDigest(const char* password);

// True when the MD5 of `password` (the bytes before its NUL, in code page 932; null
// counts as empty) equals `digest`. The computed digest is wiped after the comparison,
// which takes the same time wherever the digests differ.
bool PasswordMatches(const char* password,
                     const std::array<std::uint8_t, kPasswordDigestSize>& digest);

// Overwrites `length` bytes at `data` with zeros in a way the optimiser cannot drop, for
// copies of a password that are no longer needed.
void WipeSecret(void* data, std::size_t length);
// Wipes every byte the string holds (its whole capacity) and leaves it empty.
void WipeSecret(std::string& text);

}  // namespace tallimor
