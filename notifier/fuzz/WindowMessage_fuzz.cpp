// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the window-message decoders, as a confused or hostile client
// would. Whatever decodes must encode back to the very same bytes: the format has no slack.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "notifier/WindowMessage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tallimor;
  WindowMessage message;
  if (DecodeWindowMessage(data, size, &message) == kOk) {
    const WindowMessageRequestBytes again = EncodeWindowMessage(message);
    if (std::memcmp(again.data(), data, size) != 0) std::abort();
  }
  std::int64_t result = 0;
  if (DecodeWindowMessageReply(data, size, &result) == kOk) {
    const WindowMessageReplyBytes again = EncodeWindowMessageReply(result);
    if (std::memcmp(again.data(), data, size) != 0) std::abort();
  }
  return 0;
}
