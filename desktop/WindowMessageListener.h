// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program's end of the message socket, driven by its event loop without
// ever waiting on a client: connections are taken as they come, each request is read
// in whatever pieces it arrives in, and only a whole request reaches the handler. A
// client that sends nothing is dropped after a second, and at most kMaxClients wait at
// a time (the longest waiting is dropped for a newcomer), so idle clients can neither
// stall the program nor crowd out the HotSync notifier.
#pragma once

#include <QObject>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>

#include "notifier/IncomingWindowMessage.h"
#include "notifier/PendingWindowMessage.h"
#include "notifier/WindowMessage.h"
#include "notifier/WindowMessageServer.h"
#include "store/ResultCodes.h"

class QSocketNotifier;

namespace tallimor {

class WindowMessageListener : public QObject {
  Q_OBJECT

 public:
  // Clients whose request is still arriving, at most.
  static constexpr std::size_t kMaxClients = 8;
  // How long a client may take to deliver its request.
  static constexpr int kRequestTimeoutMs = 1000;

  // The handler answers a message; its result is the reply. It must not wait for the
  // user (a message box): the sender is blocked until the reply.
  using Handler = std::function<std::int64_t(const WindowMessage&)>;

  explicit WindowMessageListener(Handler handler, QObject* parent = nullptr);
  ~WindowMessageListener() override;

  WindowMessageListener(const WindowMessageListener&) = delete;
  WindowMessageListener& operator=(const WindowMessageListener&) = delete;

  // Starts listening under className (WindowMessageServer::Listen).
  Result Listen(const char* className);
  // Stops listening and drops every client.
  void Close();

  // Clients whose request has not arrived whole yet.
  std::size_t WaitingClients() const { return clients_.size(); }

 private:
  // A client's notifier may be dropped from within its own signal: it goes later.
  struct LaterDeleter {
    void operator()(QSocketNotifier* notifier) const;
  };
  struct Client {
    IncomingWindowMessage incoming;                           // the request so far
    std::unique_ptr<QSocketNotifier, LaterDeleter> readable;  // fires when more has arrived
    std::int64_t deadlineMs = 0;                // dropped when still incomplete then
  };

  void OnListenerReady();
  void OnClientReady(Client* client);
  void DropLateClients();
  void Remove(Client* client);
  // Runs the handler on every whole request in order, replying to each; a request that
  // arrives while a handler runs waits its turn.
  void Dispatch(PendingWindowMessage pending);

  Handler handler_;                                 // answers the messages
  WindowMessageServer server_;                      // the listening socket
  std::unique_ptr<QSocketNotifier> listening_;      // fires when clients wait
  std::list<Client> clients_;                       // oldest first
  QTimer lateTimer_;                                // drops clients past their deadline
  std::deque<PendingWindowMessage> queued_;         // whole requests not yet handled
  bool dispatching_ = false;                        // a handler is running
};

}  // namespace tallimor
