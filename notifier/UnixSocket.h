// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// A connected or listening Unix stream socket owned by one object, with the few bounded
// operations the window-message transport needs: every wait has a deadline, no call can
// raise SIGPIPE, and the user at the other end can be checked.
#pragma once

#include <cstddef>
#include <cstdint>

#include "store/ResultCodes.h"

struct sockaddr_un;

namespace tallimor {

class UnixSocket {
 public:
  UnixSocket() = default;
  // Takes ownership of fd (-1 for none).
  explicit UnixSocket(int fd) : fd_(fd) {}
  ~UnixSocket();

  UnixSocket(UnixSocket&& other) noexcept;
  UnixSocket& operator=(UnixSocket&& other) noexcept;
  UnixSocket(const UnixSocket&) = delete;
  UnixSocket& operator=(const UnixSocket&) = delete;

  // Milliseconds of a monotonic clock, the time base of every deadline below.
  static std::int64_t NowMs();

  // Fills *address for path. kWmPathTooLong when path does not fit a socket address.
  static Result MakeAddress(const char* path, sockaddr_un* address);

  // Connects to the socket at path, waiting at most until deadlineMs for a listener
  // with a full backlog. kWmNoWindow when nothing listens there (no file, or a file left
  // by a program that ended); kWmForeignPeer when the listener runs as another user.
  static Result Connect(const char* path, std::int64_t deadlineMs, UnixSocket* out);

  // Reads exactly size bytes. kWmPeerClosed when the other end closes first,
  // kWmTimeout when they have not all arrived by deadlineMs.
  Result ReadExactly(void* data, std::size_t size, std::int64_t deadlineMs);

  // Reads what has arrived, up to size bytes, without waiting: *got is 0 when nothing
  // has (yet). kWmPeerClosed when the other end has closed.
  Result ReadAvailable(void* data, std::size_t size, std::size_t* got);

  // Writes all size bytes. kWmPeerClosed when the other end has gone.
  Result WriteAll(const void* data, std::size_t size, std::int64_t deadlineMs);

  // True when the process at the other end ran as this process's effective user when
  // the connection was made.
  bool PeerIsSameUser() const;

  int fd() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void Close();

 private:
  int fd_ = -1;  // owned descriptor, -1 when none
};

}  // namespace tallimor
