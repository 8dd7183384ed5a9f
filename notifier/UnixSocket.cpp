// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Bounded operations on Unix stream sockets. Waiting is done with poll() against an
// absolute deadline, so that interrupted calls resume with the time that is left.
#include "notifier/UnixSocket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "notifier/WindowMessageResult.h"

namespace tallimor {

namespace {

// Time left until deadlineMs, as poll() takes it; 0 once it has passed.
int RemainingMs(std::int64_t deadlineMs) {
  const std::int64_t left = deadlineMs - UnixSocket::NowMs();
  if (left <= 0) return 0;
  if (left > 0x7fffffff) return 0x7fffffff;
  return static_cast<int>(left);
}

// Waits until fd is ready for events or deadlineMs passes.
Result WaitFor(int fd, short events, std::int64_t deadlineMs) {
  for (;;) {
    const int left = RemainingMs(deadlineMs);
    if (left == 0) return kWmTimeout;
    pollfd entry{fd, events, 0};
    const int ready = poll(&entry, 1, left);
    if (ready > 0) return kOk;  // readiness, hang-up and errors are all sorted out by the next call
    if (ready < 0 && errno != EINTR) return kWmSystemError;
  }
}

}  // namespace

UnixSocket::~UnixSocket() { Close(); }

UnixSocket::UnixSocket(UnixSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

UnixSocket& UnixSocket::operator=(UnixSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void UnixSocket::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

std::int64_t UnixSocket::NowMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

Result UnixSocket::MakeAddress(const char* path, sockaddr_un* address) {
  if (path == nullptr || address == nullptr) return kErrNullArgument;
  const std::size_t length = std::strlen(path);
  if (length >= sizeof(address->sun_path)) return kWmPathTooLong;
  std::memset(address, 0, sizeof *address);
  address->sun_family = AF_UNIX;
  std::memcpy(address->sun_path, path, length + 1);
  return kOk;
}

Result UnixSocket::Connect(const char* path, std::int64_t deadlineMs, UnixSocket* out) {
  if (out == nullptr) return kErrNullArgument;
  sockaddr_un address{};
  const Result made = MakeAddress(path, &address);
  if (made != kOk) return made;

  UnixSocket connection(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (!connection.valid()) return kWmSystemError;
  // A blocking connect waits only while the listener's backlog is full; the send
  // timeout bounds that wait, and an interrupted wait can simply be repeated.
  for (;;) {
    const int left = RemainingMs(deadlineMs);
    if (left == 0) return kWmTimeout;
    timeval timeout{left / 1000, static_cast<suseconds_t>((left % 1000) * 1000)};
    if (setsockopt(connection.fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout) != 0) {
      return kWmSystemError;
    }
    if (connect(connection.fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      break;
    }
    switch (errno) {
      case EINTR:
        continue;
      case ENOENT:
      case ECONNREFUSED:
        return kWmNoWindow;
      case EAGAIN:
      case EINPROGRESS:
        return kWmTimeout;
      default:
        return kWmSystemError;
    }
  }
  const timeval none{0, 0};
  setsockopt(connection.fd_, SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none);
  if (!connection.PeerIsSameUser()) return kWmForeignPeer;
  *out = std::move(connection);
  return kOk;
}

Result UnixSocket::ReadExactly(void* data, std::size_t size, std::int64_t deadlineMs) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  std::size_t done = 0;
  while (done < size) {
    const Result waited = WaitFor(fd_, POLLIN, deadlineMs);
    if (waited != kOk) return waited;
    const ssize_t got = recv(fd_, bytes + done, size - done, MSG_DONTWAIT);
    if (got > 0) {
      done += static_cast<std::size_t>(got);
    } else if (got == 0 || errno == ECONNRESET) {
      return kWmPeerClosed;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return kWmSystemError;
    }
  }
  return kOk;
}

Result UnixSocket::ReadAvailable(void* data, std::size_t size, std::size_t* got) {
  *got = 0;
  for (;;) {
    const ssize_t read = recv(fd_, data, size, MSG_DONTWAIT);
    if (read > 0) {
      *got = static_cast<std::size_t>(read);
      return kOk;
    }
    if (read == 0 && size > 0) return kWmPeerClosed;
    if (read == 0) return kOk;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return kOk;
    return errno == ECONNRESET ? kWmPeerClosed : kWmSystemError;
  }
}

Result UnixSocket::WriteAll(const void* data, std::size_t size, std::int64_t deadlineMs) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  std::size_t done = 0;
  while (done < size) {
    const Result waited = WaitFor(fd_, POLLOUT, deadlineMs);
    if (waited != kOk) return waited;
    const ssize_t sent = send(fd_, bytes + done, size - done, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (sent >= 0) {
      done += static_cast<std::size_t>(sent);
    } else if (errno == EPIPE || errno == ECONNRESET) {
      return kWmPeerClosed;
    } else if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
      return kWmSystemError;
    }
  }
  return kOk;
}

bool UnixSocket::PeerIsSameUser() const {
  ucred credentials{};
  socklen_t length = sizeof credentials;
  if (getsockopt(fd_, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0) return false;
  return length == sizeof credentials && credentials.uid == geteuid();
}

}  // namespace tallimor
