// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// One request and one reply over a fresh connection per message. A fresh connection per
// message is what lets the program at the other end start or end between two messages
// and still be found, or found missing, every time.
#include "notifier/WindowMessageClient.h"

#include "notifier/RuntimeDirectory.h"
#include "notifier/UnixSocket.h"
#include "notifier/WindowMessage.h"
#include "notifier/WindowMessageResult.h"

namespace tallimor {

Result SendWindowMessage(const char* className, std::uint32_t msg, std::uint64_t wParam,
                         std::int64_t lParam, std::int64_t* result, int timeoutMs) {
  if (className == nullptr || result == nullptr) return kErrNullArgument;
  const std::int64_t deadline = UnixSocket::NowMs() + (timeoutMs > 0 ? timeoutMs : 0);

  RuntimePath path{};
  Result status = RuntimeDirectory::EntryPath(className, &path);
  if (status != kOk) return status;

  UnixSocket connection;
  status = UnixSocket::Connect(path.data(), deadline, &connection);
  if (status != kOk) return status;

  const WindowMessageRequestBytes request = EncodeWindowMessage({msg, wParam, lParam});
  status = connection.WriteAll(request.data(), request.size(), deadline);
  if (status != kOk) return status;

  WindowMessageReplyBytes reply{};
  status = connection.ReadExactly(reply.data(), reply.size(), deadline);
  if (status != kOk) return status;
  return DecodeWindowMessageReply(reply.data(), reply.size(), result);
}

}  // namespace tallimor
