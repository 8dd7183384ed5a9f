// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A client of the message socket whose request is still arriving. The server's owner
// reads from it whenever its descriptor is readable, never waiting, so that a client
// that connects and sends nothing costs the owner's event loop nothing; once the whole
// request is there it becomes a PendingWindowMessage to be handled and answered.
#pragma once

#include <cstddef>
#include <cstdint>

#include "notifier/PendingWindowMessage.h"
#include "notifier/UnixSocket.h"
#include "notifier/WindowMessage.h"
#include "store/ResultCodes.h"

namespace tallimor {

class IncomingWindowMessage {
 public:
  IncomingWindowMessage() = default;
  // Takes an accepted connection (WindowMessageServer::AcceptClient).
  explicit IncomingWindowMessage(UnixSocket connection) : connection_(std::move(connection)) {}

  IncomingWindowMessage(IncomingWindowMessage&&) noexcept = default;
  IncomingWindowMessage& operator=(IncomingWindowMessage&&) noexcept = default;
  IncomingWindowMessage(const IncomingWindowMessage&) = delete;
  IncomingWindowMessage& operator=(const IncomingWindowMessage&) = delete;

  // The connection's descriptor, to wait on; -1 once taken or dropped.
  int fd() const { return connection_.fd(); }

  // Reads what has arrived. kOk with *pending filled (and this object emptied) once the
  // whole request is there; kWmNothingPending while more is to come; kWmPeerClosed,
  // kWmMalformed or kWmSystemError when the client is to be dropped.
  Result ReadAvailable(PendingWindowMessage* pending);

 private:
  UnixSocket connection_;           // the client, until its request is whole
  WindowMessageRequestBytes request_{};  // the bytes so far
  std::size_t received_ = 0;        // how many of them have arrived
};

}  // namespace tallimor
