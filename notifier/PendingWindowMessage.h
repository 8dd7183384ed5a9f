// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A window message that a server has received and not yet answered. Its sender is
// blocked until Reply, which is what makes the exchange as synchronous as SendMessageA:
// handle the message completely, then reply.
#pragma once

#include <cstdint>

#include "notifier/UnixSocket.h"
#include "notifier/WindowMessage.h"
#include "store/ResultCodes.h"

namespace tallimor {

class PendingWindowMessage {
 public:
  PendingWindowMessage() = default;
  // Dropping an unanswered message closes the connection: the sender gets no result.
  ~PendingWindowMessage() = default;

  PendingWindowMessage(PendingWindowMessage&&) noexcept = default;
  PendingWindowMessage& operator=(PendingWindowMessage&&) noexcept = default;
  PendingWindowMessage(const PendingWindowMessage&) = delete;
  PendingWindowMessage& operator=(const PendingWindowMessage&) = delete;

  // True from WindowMessageServer::AcceptOne until Reply.
  bool pending() const { return connection_.valid(); }

  // The message received. REQUIRES: pending().
  const WindowMessage& message() const { return message_; }

  // Sends result to the sender and ends the exchange. kWmPeerClosed when the sender has
  // given up meanwhile; kWmNotListening when nothing is pending.
  Result Reply(std::int64_t result);

 private:
  friend class WindowMessageServer;
  friend class IncomingWindowMessage;

  UnixSocket connection_;   // the sender's connection, open while an answer is owed
  WindowMessage message_;   // what the sender asked
};

}  // namespace tallimor
