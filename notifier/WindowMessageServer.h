// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The receiving end of window messages: a listening socket named after a window class in
// the runtime directory. It is driven by the owner's event loop: wait until fd() is
// readable, take the client with AcceptOne, handle the message, then Reply; or, for an
// owner that must never wait on a client (the desktop program), take it with
// AcceptClient and gather its request as it arrives (IncomingWindowMessage). Clients that are not the user's or that send anything
// but one whole request are dropped; the server goes on serving.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>

#include "notifier/PendingWindowMessage.h"
#include "notifier/RuntimeDirectory.h"
#include "notifier/UnixSocket.h"
#include "notifier/WindowMessage.h"
#include "store/ResultCodes.h"

namespace tallimor {

class WindowMessageServer {
 public:
  // How long an accepted client may take to deliver its request. The owner's event loop
  // is blocked meanwhile; a real sender writes its request right after connecting.
  static constexpr int kDefaultRequestTimeoutMs = 1000;

  explicit WindowMessageServer(int requestTimeoutMs = kDefaultRequestTimeoutMs);
  // Closes the socket and removes its file, unless another program's file has taken its place.
  ~WindowMessageServer();

  WindowMessageServer(const WindowMessageServer&) = delete;
  WindowMessageServer& operator=(const WindowMessageServer&) = delete;

  // Starts listening under className in the runtime directory. A socket file left by a
  // program that ended without removing it is replaced. kWmAlreadyRunning when a program
  // answers there; kWmPathInUse when the name is taken by something that is not a socket.
  // REQUIRES: not listening. The caller holds the single-instance lock, so no other
  // program replaces a stale file at the same time.
  Result Listen(const char* className);

  // The listening descriptor (non-blocking, close-on-exec), -1 when not listening.
  // Readable when a client waits. Owned by the server.
  int fd() const { return listener_.fd(); }

  // The socket's path; empty when not listening.
  const char* path() const { return path_.data(); }

  // Takes one waiting client and reads its request into *pending, to be answered with
  // pending->Reply. kWmNothingPending when no client waits. kWmForeignPeer, kWmTimeout,
  // kWmPeerClosed and kWmMalformed mean the client has been dropped; keep serving.
  Result AcceptOne(PendingWindowMessage* pending);

  // Takes one waiting client without reading anything from it, for an owner that
  // gathers requests as they arrive (IncomingWindowMessage) instead of waiting for
  // them. The connection is non-blocking. kWmNothingPending when no client waits;
  // kWmForeignPeer and kWmPeerClosed mean the client has been dropped; keep serving.
  Result AcceptClient(UnixSocket* client);

  // AcceptOne, then handler, then the reply with the handler's result, in that order.
  Result ServeOne(const std::function<std::int64_t(const WindowMessage&)>& handler);

  // Stops listening and removes the socket file as the destructor does.
  void Close();

 private:
  // accept4 with flags, checking the client's user.
  Result Accept(int flags, UnixSocket* out);

  int requestTimeoutMs_;  // limit on reading one request
  UnixSocket listener_;   // listening socket, invalid when not listening
  RuntimePath path_{};    // where it is bound
  dev_t boundDevice_ = 0; // identity of the file bound, so that Close removes only that one
  ino_t boundInode_ = 0;
};

}  // namespace tallimor
