// SPDX-FileCopyrightText: The Tallimor authors
// SPDX-License-Identifier: GPL-3.0-or-later
// Clients are kept in arrival order in a list, so that pointers to them stay valid for
// their notifiers' callbacks and the oldest is at the front when one must make room.
#include "desktop/WindowMessageListener.h"

#include <QSocketNotifier>
#include <algorithm>

#include "notifier/UnixSocket.h"
#include "notifier/WindowMessageResult.h"

namespace tallimor {
namespace {

// How often the clients' deadlines are looked at while any wait.
constexpr int kLateCheckMs = 200;

}  // namespace

void WindowMessageListener::LaterDeleter::operator()(QSocketNotifier* notifier) const {
  notifier->setEnabled(false);
  notifier->deleteLater();
}

WindowMessageListener::WindowMessageListener(Handler handler, QObject* parent)
    : QObject(parent), handler_(std::move(handler)) {
  lateTimer_.setInterval(kLateCheckMs);
  connect(&lateTimer_, &QTimer::timeout, this, &WindowMessageListener::DropLateClients);
}

WindowMessageListener::~WindowMessageListener() { Close(); }

Result WindowMessageListener::Listen(const char* className) {
  const Result result = server_.Listen(className);
  if (result != kOk) return result;
  listening_ = std::make_unique<QSocketNotifier>(server_.fd(), QSocketNotifier::Read);
  connect(listening_.get(), &QSocketNotifier::activated, this,
          &WindowMessageListener::OnListenerReady);
  return kOk;
}

void WindowMessageListener::Close() {
  lateTimer_.stop();
  clients_.clear();
  queued_.clear();
  listening_.reset();
  server_.Close();
}

void WindowMessageListener::OnListenerReady() {
  for (;;) {
    UnixSocket connection;
    const Result accepted = server_.AcceptClient(&connection);
    if (accepted == kWmNothingPending || accepted == kWmSystemError || accepted == kWmNotListening)
      return;
    if (accepted != kOk) continue;  // a foreign or vanished client: dropped, serve on
    if (clients_.size() >= kMaxClients) clients_.pop_front();  // the longest waiting
    clients_.push_back(Client{IncomingWindowMessage(std::move(connection)), nullptr,
                              UnixSocket::NowMs() + kRequestTimeoutMs});
    Client* client = &clients_.back();
    client->readable.reset(new QSocketNotifier(client->incoming.fd(), QSocketNotifier::Read, this));
    connect(client->readable.get(), &QSocketNotifier::activated, this,
            [this, client] { OnClientReady(client); });
    if (!lateTimer_.isActive()) lateTimer_.start();
  }
}

void WindowMessageListener::OnClientReady(Client* client) {
  PendingWindowMessage pending;
  const Result read = client->incoming.ReadAvailable(&pending);
  if (read == kWmNothingPending) return;
  Remove(client);
  if (read == kOk) Dispatch(std::move(pending));
}

void WindowMessageListener::DropLateClients() {
  const std::int64_t now = UnixSocket::NowMs();
  clients_.remove_if([now](const Client& client) { return client.deadlineMs <= now; });
  if (clients_.empty()) lateTimer_.stop();
}

void WindowMessageListener::Remove(Client* client) {
  clients_.remove_if([client](const Client& each) { return &each == client; });
  if (clients_.empty()) lateTimer_.stop();
}

void WindowMessageListener::Dispatch(PendingWindowMessage pending) {
  queued_.push_back(std::move(pending));
  if (dispatching_) return;  // the running handler's loop takes it next
  dispatching_ = true;
  while (!queued_.empty()) {
    PendingWindowMessage next = std::move(queued_.front());
    queued_.pop_front();
    const std::int64_t result = handler_(next.message());
    next.Reply(result);
  }
  dispatching_ = false;
}

}  // namespace tallimor
