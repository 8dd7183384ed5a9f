// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Test helpers: a private runtime directory per test (so tests never meet a real desktop
// program or each other), and a stand-in desktop program serving window messages on a thread.
#pragma once

#include <sys/un.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "notifier/WindowMessage.h"
#include "notifier/WindowMessageServer.h"
#include "store/ResultCodes.h"
#include "tests/support/TempDir.h"

namespace tallimor::testing {

// Makes a fresh private directory and points XDG_RUNTIME_DIR at it for its lifetime.
// REQUIRES: created before any thread that reads the environment starts.
class ScopedRuntimeDir {
 public:
  ScopedRuntimeDir();
  ~ScopedRuntimeDir();
  ScopedRuntimeDir(const ScopedRuntimeDir&) = delete;
  ScopedRuntimeDir& operator=(const ScopedRuntimeDir&) = delete;

  const std::string& path() const { return dir_.path(); }
  std::string Entry(const std::string& name) const { return dir_.Join(name); }

 private:
  tallimor::testing::TempDir dir_{"runtime"};  // the directory made, removed last
  std::optional<std::string> saved_;   // XDG_RUNTIME_DIR before, if it was set
};

// The socket address of path.
sockaddr_un SocketAddress(const std::string& path);

// A raw client socket connected to path (-1 on failure), for sending what a real sender never would.
int ConnectRaw(const std::string& path);

// Leaves at path what a program that crashed while listening leaves: a socket file that
// nobody listens on. False on failure.
bool LeaveStaleSocket(const std::string& path);

// A desktop program stand-in: listens under a window class (before the constructor
// returns) and answers each message on its own thread with the handler's result, or
// drops it unanswered when the handler returns nothing. Records every message taken and
// every failed AcceptOne.
class FakeDesktop {
 public:
  using Handler = std::function<std::optional<std::int64_t>(const WindowMessage&)>;

  FakeDesktop(const char* className, Handler handler);
  ~FakeDesktop();
  FakeDesktop(const FakeDesktop&) = delete;
  FakeDesktop& operator=(const FakeDesktop&) = delete;

  Result listenResult() const { return listenResult_; }
  std::vector<WindowMessage> received() const;
  std::vector<Result> dropped() const;

 private:
  void Run();

  Handler handler_;
  WindowMessageServer server_;
  Result listenResult_;
  int wake_[2] = {-1, -1};  // pipe whose read end wakes the thread to stop
  mutable std::mutex mutex_;
  std::vector<WindowMessage> received_;
  std::vector<Result> dropped_;
  std::thread thread_;
};

}  // namespace tallimor::testing
