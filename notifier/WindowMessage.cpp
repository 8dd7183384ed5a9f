// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Encoding and strict decoding of the window-message wire form. The layout is spelled out
// byte by byte rather than copied from a struct, so that it does not depend on padding or
// on the byte order of the machine.
#include "notifier/WindowMessage.h"

#include "notifier/WindowMessageResult.h"

namespace tallimor {

namespace {

constexpr std::uint8_t kRequestMagic[4] = {'T', 'W', 'M', 'Q'};
constexpr std::uint8_t kReplyMagic[4] = {'T', 'W', 'M', 'R'};

void PutLittleEndian(std::uint8_t* out, std::uint64_t value, std::size_t bytes) {
  for (std::size_t i = 0; i < bytes; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint64_t GetLittleEndian(const std::uint8_t* in, std::size_t bytes) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < bytes; ++i) value |= static_cast<std::uint64_t>(in[i]) << (8 * i);
  return value;
}

// Magic, version and the reserved half-word that open both forms.
void PutPrologue(std::uint8_t* out, const std::uint8_t (&magic)[4]) {
  for (std::size_t i = 0; i < 4; ++i) out[i] = magic[i];
  PutLittleEndian(out + 4, kWindowMessageWireVersion, 2);
  PutLittleEndian(out + 6, 0, 2);
}

bool PrologueMatches(const std::uint8_t* in, const std::uint8_t (&magic)[4]) {
  for (std::size_t i = 0; i < 4; ++i) {
    if (in[i] != magic[i]) return false;
  }
  return GetLittleEndian(in + 4, 2) == kWindowMessageWireVersion && GetLittleEndian(in + 6, 2) == 0;
}

}  // namespace

WindowMessageRequestBytes EncodeWindowMessage(const WindowMessage& message) {
  WindowMessageRequestBytes bytes{};
  PutPrologue(bytes.data(), kRequestMagic);
  PutLittleEndian(bytes.data() + 8, message.message, 4);
  PutLittleEndian(bytes.data() + 12, 0, 4);
  PutLittleEndian(bytes.data() + 16, message.wParam, 8);
  PutLittleEndian(bytes.data() + 24, static_cast<std::uint64_t>(message.lParam), 8);
  return bytes;
}

Result DecodeWindowMessage(const std::uint8_t* data, std::size_t size, WindowMessage* message) {
  if (message == nullptr) return kErrNullArgument;
  if (data == nullptr || size != kWindowMessageRequestSize) return kWmMalformed;
  if (!PrologueMatches(data, kRequestMagic) || GetLittleEndian(data + 12, 4) != 0) {
    return kWmMalformed;
  }
  message->message = static_cast<std::uint32_t>(GetLittleEndian(data + 8, 4));
  message->wParam = GetLittleEndian(data + 16, 8);
  message->lParam = static_cast<std::int64_t>(GetLittleEndian(data + 24, 8));
  return kOk;
}

WindowMessageReplyBytes EncodeWindowMessageReply(std::int64_t result) {
  WindowMessageReplyBytes bytes{};
  PutPrologue(bytes.data(), kReplyMagic);
  PutLittleEndian(bytes.data() + 8, static_cast<std::uint64_t>(result), 8);
  return bytes;
}

Result DecodeWindowMessageReply(const std::uint8_t* data, std::size_t size, std::int64_t* result) {
  if (result == nullptr) return kErrNullArgument;
  if (data == nullptr || size != kWindowMessageReplySize) return kWmMalformed;
  if (!PrologueMatches(data, kReplyMagic)) return kWmMalformed;
  *result = static_cast<std::int64_t>(GetLittleEndian(data + 8, 8));
  return kOk;
}

}  // namespace tallimor
