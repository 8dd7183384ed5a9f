// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Test helpers for the window-message transport: private runtime directories and a
// stand-in desktop program.
#include "notifier/tests/TestSupport.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "notifier/WindowMessageResult.h"

namespace tallimor::testing {

namespace {

}  // namespace

sockaddr_un SocketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

int ConnectRaw(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = SocketAddress(path);
  if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return fd;
  }
  if (fd >= 0) close(fd);
  return -1;
}

bool LeaveStaleSocket(const std::string& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_un address = SocketAddress(path);
  const bool made = fd >= 0 &&
                    bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
                    listen(fd, 1) == 0;
  if (fd >= 0) close(fd);
  return made;
}

ScopedRuntimeDir::ScopedRuntimeDir() {
  if (const char* old = std::getenv("XDG_RUNTIME_DIR")) saved_ = old;
  setenv("XDG_RUNTIME_DIR", path().c_str(), 1);
}

ScopedRuntimeDir::~ScopedRuntimeDir() {
  if (saved_) {
    setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
  } else {
    unsetenv("XDG_RUNTIME_DIR");
  }
}

FakeDesktop::FakeDesktop(const char* className, Handler handler)
    : handler_(std::move(handler)), listenResult_(server_.Listen(className)) {
  if (listenResult_ != kOk) return;
  if (pipe(wake_) != 0) throw std::runtime_error("pipe failed");
  thread_ = std::thread(&FakeDesktop::Run, this);
}

FakeDesktop::~FakeDesktop() {
  if (thread_.joinable()) {
    const char stop = 's';
    (void)!write(wake_[1], &stop, 1);
    thread_.join();
  }
  for (int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

std::vector<WindowMessage> FakeDesktop::received() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::vector<Result> FakeDesktop::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

void FakeDesktop::Run() {
  for (;;) {
    pollfd waits[2] = {{server_.fd(), POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (poll(waits, 2, -1) < 0) continue;
    if (waits[1].revents != 0) return;
    PendingWindowMessage pending;
    const Result accepted = server_.AcceptOne(&pending);
    if (accepted == kWmNothingPending) continue;
    if (accepted != kOk) {
      std::lock_guard lock(mutex_);
      dropped_.push_back(accepted);
      continue;
    }
    // Recorded before the reply, so that a sender sees its message here once it returns.
    {
      std::lock_guard lock(mutex_);
      received_.push_back(pending.message());
    }
    if (const std::optional<std::int64_t> answer = handler_(pending.message())) {
      pending.Reply(*answer);
    }
  }
}

}  // namespace tallimor::testing
