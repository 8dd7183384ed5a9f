// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A request is read in as many pieces as it arrives in; more bytes than a request
// (the protocol has one request a connection) make it malformed.
#include "notifier/IncomingWindowMessage.h"

#include "notifier/WindowMessageResult.h"

namespace tallimor {

Result IncomingWindowMessage::ReadAvailable(PendingWindowMessage* pending) {
  if (pending == nullptr) return kErrNullArgument;
  if (!connection_.valid()) return kWmNotListening;
  std::size_t got = 0;
  const Result read =
      connection_.ReadAvailable(request_.data() + received_, request_.size() - received_, &got);
  if (read != kOk) return read;
  received_ += got;
  if (received_ < request_.size()) return kWmNothingPending;
  WindowMessage message;
  const Result decoded = DecodeWindowMessage(request_.data(), request_.size(), &message);
  if (decoded != kOk) return decoded;
  pending->connection_ = std::move(connection_);
  pending->message_ = message;
  received_ = 0;
  return kOk;
}

}  // namespace tallimor
