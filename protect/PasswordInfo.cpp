// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the password digest and hint from application information data, and the MD5
// check of a typed password. No password byte is copied here: MD5 reads the caller's
// buffer and scrubs its own state, and the computed digest is wiped before returning.
#include "protect/PasswordInfo.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "crypto/CMD5.h"

namespace tallimor {

bool PasswordInfo::IsSet() const {
  for (const std::uint8_t b : digest) {
    if (b != 0) return true;
  }
  return false;
}

PasswordInfo ReadPasswordInfo(const std::uint8_t* data, std::size_t length) {
  PasswordInfo info;
  if (data == nullptr) return info;
  for (std::size_t i = 0; i < kPasswordDigestSize; ++i) {
    const std::size_t at = kPasswordDigestOffset + i;
    if (at < length) info.digest[i] = data[at];
  }
  if (length > kPasswordHintOffset) {
    const char* hint = reinterpret_cast<const char*>(data + kPasswordHintOffset);
    info.hint.assign(hint, strnlen(hint, length - kPasswordHintOffset));
  }
  return info;
}

std::array<std::uint8_t, kPasswordDigestSize> PasswordDigest(const char* password) {
  CMD5 md5;
  md5.Init();
  const std::size_t length = password == nullptr ? 0 : std::strlen(password);
  md5.Update(password, length);
  md5.Finalize();
  std::array<std::uint8_t, kPasswordDigestSize> digest{};
  std::optional<CMD5::Digest> computed = md5.RawDigest();
  if (computed) {
    std::copy(computed->begin(), computed->end(), digest.begin());
    WipeSecret(computed->data(), computed->size());
  }
  return digest;
}

bool PasswordMatches(const char* password,
                     const std::array<std::uint8_t, kPasswordDigestSize>& digest) {
  std::array<std::uint8_t, kPasswordDigestSize> typed = PasswordDigest(password);
  std::uint8_t difference = 0;
  for (std::size_t i = 0; i < kPasswordDigestSize; ++i) {
    difference = static_cast<std::uint8_t>(difference | (typed[i] ^ digest[i]));
  }
  WipeSecret(typed.data(), typed.size());
  return difference == 0;
}

void WipeSecret(void* data, std::size_t length) {
  if (data != nullptr && length > 0) explicit_bzero(data, length);
}

void WipeSecret(std::string& text) {
  // Bytes between size() and capacity() may hold an earlier, longer content.
  text.resize(text.capacity());
  WipeSecret(text.data(), text.size());
  text.clear();
}

}  // namespace tallimor
