// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Window messages between programs: a request travels whole and the reply comes only after
// the handler; nobody listening, a leftover socket, a second listener, broken clients and
// clients or listeners of another user are all handled without harm to the server.
#include "notifier/WindowMessageServer.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>

#include "notifier/IncomingWindowMessage.h"
#include "notifier/WindowMessageClient.h"
#include "notifier/WindowMessageResult.h"
#include "notifier/tests/TestSupport.h"

namespace tallimor {
namespace {

constexpr char kClass[] = "Tallimor-Vexa";
constexpr int kGenerousMs = 10000;  // only ever reached when something is broken

bool Exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

// Waits until the server's descriptor is readable, that is, a client is waiting.
void WaitForClient(const WindowMessageServer& server) {
  pollfd wait{server.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&wait, 1, kGenerousMs), 1);
}

// Runs until the fake desktop has taken count messages; never part of what is asserted.
void WaitUntilReceived(const testing::FakeDesktop& desktop, std::size_t count) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGenerousMs);
  while (desktop.received().size() < count && std::chrono::steady_clock::now() < giveUp) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

class WindowMessageServerTest : public ::testing::Test {
 protected:
  testing::ScopedRuntimeDir runtime_;
  std::string SocketPath() const { return runtime_.Entry(kClass); }
};

using WindowMessageExchange = WindowMessageServerTest;
using WindowMessageListen = WindowMessageServerTest;
using WindowMessageBrokenPeers = WindowMessageServerTest;

TEST_F(WindowMessageExchange, RequestAndResultTravelWhole) {
  testing::FakeDesktop desktop(kClass, [](const WindowMessage& message) {
    return std::optional<std::int64_t>(message.lParam ^ static_cast<std::int64_t>(message.wParam));
  });
  ASSERT_EQ(desktop.listenResult(), kOk);
  std::int64_t result = 0;
  ASSERT_EQ(SendWindowMessage(kClass, 0xffffffffu, 0x8000000000000001u, INT64_MIN, &result,
                              kGenerousMs),
            kOk);
  EXPECT_EQ(result, INT64_MIN ^ static_cast<std::int64_t>(0x8000000000000001u));
  ASSERT_EQ(desktop.received().size(), 1u);
  EXPECT_EQ(desktop.received()[0].message, 0xffffffffu);
  EXPECT_EQ(desktop.received()[0].wParam, 0x8000000000000001u);
  EXPECT_EQ(desktop.received()[0].lParam, INT64_MIN);
  EXPECT_TRUE(desktop.dropped().empty());
}

TEST_F(WindowMessageExchange, NobodyListeningIsNoWindow) {
  std::int64_t result = 42;
  EXPECT_EQ(SendWindowMessage(kClass, 5120, 0, 0, &result, kGenerousMs), kWmNoWindow);
  EXPECT_EQ(result, 42);
}

// A handler that holds on until released, then answers answer.
testing::FakeDesktop::Handler HoldUntil(std::shared_future<void> released, std::int64_t answer) {
  return [released, answer](const WindowMessage&) {
    released.wait();
    return std::optional<std::int64_t>(answer);
  };
}

TEST_F(WindowMessageExchange, ReplyComesOnlyAfterTheHandlerHasFinished) {
  std::promise<void> release;
  testing::FakeDesktop desktop(kClass, HoldUntil(release.get_future().share(), 7));
  std::int64_t result = 0;
  auto sent = std::async(std::launch::async,
                         [&] { return SendWindowMessage(kClass, 1, 2, 3, &result, kGenerousMs); });
  WaitUntilReceived(desktop, 1);
  ASSERT_EQ(desktop.received().size(), 1u);
  // The handler is holding on: the sender must still be waiting.
  EXPECT_EQ(sent.wait_for(std::chrono::seconds(0)), std::future_status::timeout);
  release.set_value();
  EXPECT_EQ(sent.get(), kOk);
  EXPECT_EQ(result, 7);
}

TEST_F(WindowMessageExchange, SenderGivesUpAtItsTimeout) {
  std::promise<void> release;
  testing::FakeDesktop desktop(kClass, HoldUntil(release.get_future().share(), 0));
  std::int64_t result = 42;
  EXPECT_EQ(SendWindowMessage(kClass, 5120, 1, 0, &result, 200), kWmTimeout);
  EXPECT_EQ(result, 42);
  release.set_value();
}

TEST_F(WindowMessageExchange, MessageDroppedUnansweredIsReportedToTheSender) {
  testing::FakeDesktop desktop(kClass, [](const WindowMessage&) { return std::nullopt; });
  std::int64_t result = 42;
  EXPECT_EQ(SendWindowMessage(kClass, 5120, 1, 0, &result, kGenerousMs), kWmPeerClosed);
  EXPECT_EQ(result, 42);
}

TEST_F(WindowMessageListen, LeftoverSocketIsNoWindowAndIsReplacedAtTheNextStart) {
  ASSERT_TRUE(testing::LeaveStaleSocket(SocketPath()));
  std::int64_t result = 0;
  EXPECT_EQ(SendWindowMessage(kClass, 5120, 0, 0, &result, kGenerousMs), kWmNoWindow);

  testing::FakeDesktop desktop(kClass, [](const WindowMessage&) {
    return std::optional<std::int64_t>(5120);
  });
  ASSERT_EQ(desktop.listenResult(), kOk);
  EXPECT_EQ(SendWindowMessage(kClass, 5120, 0, 0, &result, kGenerousMs), kOk);
  EXPECT_EQ(result, 5120);
}

TEST_F(WindowMessageListen, SecondListenerIsToldAlreadyRunningAndTakesNothing) {
  testing::FakeDesktop first(kClass, [](const WindowMessage&) {
    return std::optional<std::int64_t>(1);
  });
  ASSERT_EQ(first.listenResult(), kOk);
  {
    WindowMessageServer second;
    EXPECT_EQ(second.Listen(kClass), kWmAlreadyRunning);
    EXPECT_EQ(second.fd(), -1);
  }
  std::int64_t result = 0;
  ASSERT_EQ(SendWindowMessage(kClass, 5120, 0, 0, &result, kGenerousMs), kOk);
  EXPECT_EQ(result, 1);
  // The second one's look carried no request; the first dropped it and served on.
  EXPECT_EQ(first.dropped(), std::vector<Result>{kWmPeerClosed});
}

TEST_F(WindowMessageListen, NameTakenByAnotherKindOfFileIsLeftAlone) {
  FILE* file = fopen(SocketPath().c_str(), "w");
  ASSERT_NE(file, nullptr);
  fclose(file);
  WindowMessageServer server;
  EXPECT_EQ(server.Listen(kClass), kWmPathInUse);
  EXPECT_TRUE(Exists(SocketPath()));
  std::int64_t result = 0;
  EXPECT_EQ(SendWindowMessage(kClass, 5120, 0, 0, &result, kGenerousMs), kWmNoWindow);
}

TEST_F(WindowMessageListen, ClosingRemovesOnlyItsOwnSocketFile) {
  WindowMessageServer older;
  ASSERT_EQ(older.Listen(kClass), kOk);
  EXPECT_EQ(std::string(older.path()), SocketPath());
  ASSERT_EQ(unlink(SocketPath().c_str()), 0);  // e.g. removed by hand while it ran
  WindowMessageServer newer;
  ASSERT_EQ(newer.Listen(kClass), kOk);
  older.Close();
  EXPECT_TRUE(Exists(SocketPath()));
  newer.Close();
  EXPECT_FALSE(Exists(SocketPath()));
  EXPECT_EQ(newer.Listen(kClass), kOk);  // and can listen again
}

TEST_F(WindowMessageBrokenPeers, BrokenClientsAreDroppedAndServingGoesOn) {
  WindowMessageServer server(100);
  ASSERT_EQ(server.Listen(kClass), kOk);
  PendingWindowMessage pending;
  EXPECT_EQ(server.AcceptOne(&pending), kWmNothingPending);

  const std::uint8_t garbage[kWindowMessageRequestSize] = {'G', 'E', 'T', ' ', '/'};
  int fd = testing::ConnectRaw(SocketPath());
  ASSERT_EQ(write(fd, garbage, sizeof garbage), static_cast<ssize_t>(sizeof garbage));
  EXPECT_EQ(server.AcceptOne(&pending), kWmMalformed);
  close(fd);

  const WindowMessageRequestBytes request = EncodeWindowMessage({5120, 0, 0});
  fd = testing::ConnectRaw(SocketPath());
  ASSERT_EQ(write(fd, request.data(), 10), 10);
  close(fd);  // half a request, then gone
  EXPECT_EQ(server.AcceptOne(&pending), kWmPeerClosed);

  fd = testing::ConnectRaw(SocketPath());  // connects and says nothing
  EXPECT_EQ(server.AcceptOne(&pending), kWmTimeout);
  close(fd);

  fd = testing::ConnectRaw(SocketPath());  // asks, then leaves before the answer
  ASSERT_EQ(write(fd, request.data(), request.size()), static_cast<ssize_t>(request.size()));
  close(fd);
  ASSERT_EQ(server.AcceptOne(&pending), kOk);
  EXPECT_EQ(pending.Reply(5120), kWmPeerClosed);
  EXPECT_FALSE(pending.pending());
  EXPECT_EQ(pending.Reply(5120), kWmNotListening);

  // After all that, a real sender is served as usual.
  std::int64_t result = 0;
  auto sent = std::async(std::launch::async,
                         [&] { return SendWindowMessage(kClass, 5120, 0, 0, &result, kGenerousMs); });
  WaitForClient(server);
  EXPECT_EQ(server.ServeOne([](const WindowMessage&) { return std::int64_t{5120}; }), kOk);
  EXPECT_EQ(sent.get(), kOk);
  EXPECT_EQ(result, 5120);
}

// Starts a child process that runs body as "nobody" (root only) and exits with its result.
template <typename Body>
pid_t StartAsNobody(Body body) {
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(100);
    _exit(body());
  }
  return child;
}

int ExitCodeOf(pid_t child) {
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(WindowMessageBrokenPeers, ClientOfAnotherUserIsDropped) {
  if (geteuid() != 0) GTEST_SKIP() << "a client of another user needs a second account (root)";
  WindowMessageServer server;
  ASSERT_EQ(server.Listen(kClass), kOk);
  // Let the other user reach the socket, which the private directory otherwise prevents.
  ASSERT_EQ(chmod(runtime_.path().c_str(), 0711), 0);
  ASSERT_EQ(chmod(SocketPath().c_str(), 0777), 0);
  const std::string path = SocketPath();
  const pid_t child = StartAsNobody([&path] {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = testing::SocketAddress(path);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return 1;
    const WindowMessageRequestBytes request = EncodeWindowMessage({5120, 5, 0});
    return write(fd, request.data(), request.size()) == static_cast<ssize_t>(request.size()) ? 0 : 2;
  });
  ASSERT_EQ(ExitCodeOf(child), 0);
  PendingWindowMessage pending;
  EXPECT_EQ(server.AcceptOne(&pending), kWmForeignPeer);
  EXPECT_FALSE(pending.pending());
}

TEST_F(WindowMessageBrokenPeers, ListenerOfAnotherUserIsNotSentAnything) {
  if (geteuid() != 0) GTEST_SKIP() << "a listener of another user needs a second account (root)";
  const std::string shared = runtime_.Entry("shared");
  ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  ASSERT_EQ(chmod(runtime_.path().c_str(), 0711), 0);
  const std::string path = shared + "/" + kClass;
  int ready[2];
  int finish[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(finish), 0);
  const pid_t child = StartAsNobody([&] {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = testing::SocketAddress(path);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return 1;
    if (listen(fd, 1) != 0 || write(ready[1], "r", 1) != 1) return 2;
    char done = 0;
    return read(finish[0], &done, 1) == 1 ? 0 : 3;
  });
  close(ready[1]);  // so that a child that fails early is seen, not waited for
  close(finish[0]);
  char signal = 0;
  ASSERT_EQ(read(ready[0], &signal, 1), 1);
  UnixSocket connection;
  EXPECT_EQ(UnixSocket::Connect(path.c_str(), UnixSocket::NowMs() + kGenerousMs, &connection),
            kWmForeignPeer);
  EXPECT_FALSE(connection.valid());
  ASSERT_EQ(write(finish[1], "f", 1), 1);
  EXPECT_EQ(ExitCodeOf(child), 0);
  close(ready[0]);
  close(finish[1]);
}

// An owner that must never wait: clients are taken without reading, and a request is
// gathered in whatever pieces it comes in.
using WindowMessageIncoming = WindowMessageServerTest;

TEST_F(WindowMessageIncoming, IdleClientCostsNoWaitAndPiecesMakeOneRequest) {
  WindowMessageServer server;
  ASSERT_EQ(server.Listen(kClass), kOk);
  UnixSocket none;
  EXPECT_EQ(server.AcceptClient(&none), kWmNothingPending);

  const int idle = testing::ConnectRaw(SocketPath());
  const int sender = testing::ConnectRaw(SocketPath());
  ASSERT_GE(idle, 0);
  ASSERT_GE(sender, 0);
  UnixSocket first;
  UnixSocket second;
  const auto before = std::chrono::steady_clock::now();
  ASSERT_EQ(server.AcceptClient(&first), kOk);
  ASSERT_EQ(server.AcceptClient(&second), kOk);
  IncomingWindowMessage idleClient(std::move(first));
  IncomingWindowMessage client(std::move(second));
  PendingWindowMessage pending;
  EXPECT_EQ(idleClient.ReadAvailable(&pending), kWmNothingPending);
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(200));

  const WindowMessageRequestBytes request = EncodeWindowMessage(WindowMessage{5120, 1, 77});
  ASSERT_EQ(write(sender, request.data(), 5), 5);
  pollfd wait{client.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&wait, 1, kGenerousMs), 1);
  EXPECT_EQ(client.ReadAvailable(&pending), kWmNothingPending);
  EXPECT_FALSE(pending.pending());
  ASSERT_EQ(write(sender, request.data() + 5, request.size() - 5),
            static_cast<ssize_t>(request.size() - 5));
  ASSERT_EQ(poll(&wait, 1, kGenerousMs), 1);
  ASSERT_EQ(client.ReadAvailable(&pending), kOk);
  ASSERT_TRUE(pending.pending());
  EXPECT_EQ(pending.message().message, 5120u);
  EXPECT_EQ(pending.message().wParam, 1u);
  EXPECT_EQ(pending.message().lParam, 77);
  EXPECT_EQ(client.fd(), -1);
  ASSERT_EQ(pending.Reply(0), kOk);

  WindowMessageReplyBytes reply{};
  ASSERT_EQ(read(sender, reply.data(), reply.size()), static_cast<ssize_t>(reply.size()));
  std::int64_t result = -1;
  EXPECT_EQ(DecodeWindowMessageReply(reply.data(), reply.size(), &result), kOk);
  EXPECT_EQ(result, 0);
  close(idle);
  close(sender);
}

TEST_F(WindowMessageIncoming, ClosedAndMalformedClientsAreDropped) {
  WindowMessageServer server;
  ASSERT_EQ(server.Listen(kClass), kOk);
  const int quitter = testing::ConnectRaw(SocketPath());
  const int garbler = testing::ConnectRaw(SocketPath());
  ASSERT_GE(quitter, 0);
  ASSERT_GE(garbler, 0);
  UnixSocket a;
  UnixSocket b;
  ASSERT_EQ(server.AcceptClient(&a), kOk);
  ASSERT_EQ(server.AcceptClient(&b), kOk);
  IncomingWindowMessage quitting(std::move(a));
  IncomingWindowMessage garbled(std::move(b));

  ASSERT_EQ(write(quitter, "TW", 2), 2);
  close(quitter);
  PendingWindowMessage pending;
  pollfd wait{quitting.fd(), POLLIN, 0};
  ASSERT_EQ(poll(&wait, 1, kGenerousMs), 1);
  Result read = quitting.ReadAvailable(&pending);
  if (read == kWmNothingPending) read = quitting.ReadAvailable(&pending);  // the close after the bytes
  EXPECT_EQ(read, kWmPeerClosed);

  WindowMessageRequestBytes junk{};
  junk.fill(0x5a);
  ASSERT_EQ(write(garbler, junk.data(), junk.size()), static_cast<ssize_t>(junk.size()));
  wait.fd = garbled.fd();
  ASSERT_EQ(poll(&wait, 1, kGenerousMs), 1);
  EXPECT_EQ(garbled.ReadAvailable(&pending), kWmMalformed);
  EXPECT_FALSE(pending.pending());
  close(garbler);
}

}  // namespace
}  // namespace tallimor
