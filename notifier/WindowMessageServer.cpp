// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The listening end of window messages. A socket file outlives a program that crashes, so
// Listen tells a live listener from a leftover by connecting to it: a refused connection
// means nobody is there and the file may go.
#include "notifier/WindowMessageServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "notifier/WindowMessageResult.h"

namespace tallimor {

namespace {

constexpr int kBacklog = 16;

// What stands at path when binding found the name taken: a leftover socket (removed,
// kOk, so that binding can be tried again) or something that must be left alone.
Result ClearLeftover(const char* path, int timeoutMs) {
  struct stat info {};
  if (lstat(path, &info) != 0) return errno == ENOENT ? kOk : kWmSystemError;
  if (!S_ISSOCK(info.st_mode)) return kWmPathInUse;
  UnixSocket probe;
  const Result found = UnixSocket::Connect(path, UnixSocket::NowMs() + timeoutMs, &probe);
  if (found == kOk || found == kWmTimeout) return kWmAlreadyRunning;  // a full backlog is alive too
  if (found != kWmNoWindow) return found;
  if (unlink(path) != 0 && errno != ENOENT) return kWmSystemError;
  return kOk;
}

}  // namespace

WindowMessageServer::WindowMessageServer(int requestTimeoutMs)
    : requestTimeoutMs_(requestTimeoutMs > 0 ? requestTimeoutMs : kDefaultRequestTimeoutMs) {}

WindowMessageServer::~WindowMessageServer() { Close(); }

Result WindowMessageServer::Listen(const char* className) {
  if (className == nullptr) return kErrNullArgument;
  if (listener_.valid()) return kErrAlreadyOpen;
  RuntimePath path{};
  Result status = RuntimeDirectory::EntryPath(className, &path);
  if (status != kOk) return status;

  sockaddr_un address{};
  status = UnixSocket::MakeAddress(path.data(), &address);
  if (status != kOk) return status;
  UnixSocket listener(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener.valid()) return kWmSystemError;

  // Two tries: the second follows the removal of a leftover; if the name is taken again
  // by then, another program has just started listening there.
  for (int attempt = 0;; ++attempt) {
    if (bind(listener.fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      break;
    }
    if (errno != EADDRINUSE) return kWmSystemError;
    if (attempt == 1) return kWmAlreadyRunning;
    status = ClearLeftover(path.data(), requestTimeoutMs_);
    if (status != kOk) return status;
  }

  struct stat bound {};
  if (lstat(path.data(), &bound) != 0 || listen(listener.fd(), kBacklog) != 0) {
    unlink(path.data());
    return kWmSystemError;
  }
  boundDevice_ = bound.st_dev;
  boundInode_ = bound.st_ino;
  path_ = path;
  listener_ = std::move(listener);
  return kOk;
}

Result WindowMessageServer::AcceptClient(UnixSocket* client) {
  if (client == nullptr) return kErrNullArgument;
  return Accept(SOCK_CLOEXEC | SOCK_NONBLOCK, client);
}

Result WindowMessageServer::Accept(int flags, UnixSocket* out) {
  if (!listener_.valid()) return kWmNotListening;
  UnixSocket client(accept4(listener_.fd(), nullptr, nullptr, flags));
  if (!client.valid()) {
    switch (errno) {
      case EAGAIN:
#if EWOULDBLOCK != EAGAIN
      case EWOULDBLOCK:
#endif
      case EINTR:
        return kWmNothingPending;
      case ECONNABORTED:
        return kWmPeerClosed;
      default:
        return kWmSystemError;
    }
  }
  if (!client.PeerIsSameUser()) return kWmForeignPeer;
  *out = std::move(client);
  return kOk;
}

Result WindowMessageServer::AcceptOne(PendingWindowMessage* pending) {
  if (pending == nullptr) return kErrNullArgument;
  UnixSocket client;
  const Result accepted = Accept(SOCK_CLOEXEC, &client);
  if (accepted != kOk) return accepted;

  WindowMessageRequestBytes request{};
  Result status = client.ReadExactly(request.data(), request.size(),
                                     UnixSocket::NowMs() + requestTimeoutMs_);
  if (status != kOk) return status;
  WindowMessage message;
  status = DecodeWindowMessage(request.data(), request.size(), &message);
  if (status != kOk) return status;

  pending->connection_ = std::move(client);
  pending->message_ = message;
  return kOk;
}

Result WindowMessageServer::ServeOne(
    const std::function<std::int64_t(const WindowMessage&)>& handler) {
  if (!handler) return kErrNullArgument;
  PendingWindowMessage pending;
  const Result status = AcceptOne(&pending);
  if (status != kOk) return status;
  return pending.Reply(handler(pending.message()));
}

void WindowMessageServer::Close() {
  if (!listener_.valid()) return;
  struct stat current {};
  if (lstat(path_.data(), &current) == 0 && current.st_dev == boundDevice_ &&
      current.st_ino == boundInode_) {
    unlink(path_.data());
  }
  listener_.Close();
  path_.fill('\0');
}

}  // namespace tallimor
