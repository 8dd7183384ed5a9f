// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the desktop program's reading of a window message off its socket: a
// client connects to a real listening server, sends arbitrary bytes and closes its
// sending side; the server takes the client as the desktop program's event loop does.
// The server must accept exactly what decodes as a request (the first request-size
// bytes), drop everything else without waiting out its timeout, and answer an accepted
// client with a reply that the client decodes to the value sent.
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "notifier/PendingWindowMessage.h"
#include "notifier/UnixSocket.h"
#include "notifier/WindowMessage.h"
#include "notifier/WindowMessageResult.h"
#include "notifier/WindowMessageServer.h"

namespace {

constexpr char kClassName[] = "TallimorFuzz";
constexpr int kGenerousMs = 10000;  // no run waits this long unless the server hangs

char runtimeDir[] = "/tmp/tallimor-wm-fuzz-XXXXXX";
tallimor::WindowMessageServer* theServer = nullptr;

// Removes the socket and the private directory when the run ends.
void CleanUp() {
  if (theServer != nullptr) theServer->Close();
  rmdir(runtimeDir);
}

tallimor::WindowMessageServer& Server() {
  if (theServer == nullptr) {
    // A private runtime directory, so that the run meets no real desktop program.
    if (mkdtemp(runtimeDir) == nullptr || chmod(runtimeDir, 0700) != 0) std::abort();
    setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
    theServer = new tallimor::WindowMessageServer(kGenerousMs);
    if (theServer->Listen(kClassName) != tallimor::kOk) std::abort();
    std::atexit(CleanUp);
  }
  return *theServer;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tallimor;
  // More than fits the socket's buffer would block this single-threaded client.
  if (size > 4096) return 0;
  WindowMessageServer& server = Server();

  UnixSocket client;
  if (UnixSocket::Connect(server.path(), UnixSocket::NowMs() + kGenerousMs, &client) != kOk) {
    std::abort();
  }
  if (size > 0 && client.WriteAll(data, size, UnixSocket::NowMs() + kGenerousMs) != kOk) std::abort();
  shutdown(client.fd(), SHUT_WR);

  WindowMessage expected;
  const bool whole = size >= kWindowMessageRequestSize &&
                     DecodeWindowMessage(data, kWindowMessageRequestSize, &expected) == kOk;

  PendingWindowMessage pending;
  const Result accepted = server.AcceptOne(&pending);
  if (!whole) {
    // Short input: the client closed first; a whole but wrong request: malformed.
    const Result want = size < kWindowMessageRequestSize ? kWmPeerClosed : kWmMalformed;
    if (accepted != want) std::abort();
    return 0;
  }
  if (accepted != kOk) std::abort();
  const WindowMessage& got = pending.message();
  if (got.message != expected.message || got.wParam != expected.wParam ||
      got.lParam != expected.lParam) {
    std::abort();
  }
  const std::int64_t answer = expected.lParam ^ static_cast<std::int64_t>(expected.wParam);
  if (pending.Reply(answer) != kOk) std::abort();
  WindowMessageReplyBytes reply{};
  if (client.ReadExactly(reply.data(), reply.size(), UnixSocket::NowMs() + kGenerousMs) != kOk) {
    std::abort();
  }
  std::int64_t decoded = 0;
  if (DecodeWindowMessageReply(reply.data(), reply.size(), &decoded) != kOk || decoded != answer) {
    std::abort();
  }
  return 0;
}
