// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Answering a received window message. The reply is small enough to fit an empty socket
// buffer whole, so it never waits on the sender; the short deadline is only a safeguard.
#include "notifier/PendingWindowMessage.h"

#include "notifier/WindowMessageResult.h"

namespace tallimor {

namespace {
constexpr std::int64_t kReplyTimeoutMs = 1000;
}  // namespace

Result PendingWindowMessage::Reply(std::int64_t result) {
  if (!connection_.valid()) return kWmNotListening;
  const WindowMessageReplyBytes reply = EncodeWindowMessageReply(result);
  const Result status =
      connection_.WriteAll(reply.data(), reply.size(), UnixSocket::NowMs() + kReplyTimeoutMs);
  connection_.Close();
  return status;
}

}  // namespace tallimor
