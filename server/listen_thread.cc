#include "server/listen_thread.h"

#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/message_box.h"
#include "server/connection_log.h"

namespace server {

namespace {

constexpr int kBacklog = SOMAXCONN;
constexpr int kIdleWaitMs = 300;  // how soon a stop or reap request is seen

void ShowListenerMessage(const char* text) {
  platform::ShowMessageBox(text, {}, platform::kMbOk | platform::kMbIconExclamation);
}

// Errors of accept(2) that concern one pending connection, not the
// listener: Linux reports a pending connection's network error through
// accept, to be treated like "no connection pending".
bool IsTransient(int error) {
  switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case ENETDOWN:
    case ENOPROTOOPT:
    case EHOSTDOWN:
    case ENONET:
    case EHOSTUNREACH:
    case EOPNOTSUPP:
    case ENETUNREACH:
      return true;
    default:
      return false;
  }
}

// Out of descriptors: the connection stays pending until one is free.
bool IsOutOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

// Answers a connection that can't be served (503, or 403 for a peer outside
// the scope) and lets it go.
void Refuse(platform::Socket& connection,
            const ResponseHead& answer = kServiceUnavailableResponse) {
  // A new connection's send buffer takes the short answer whole, or the
  // client is gone.
  static_cast<void>(connection.Send(answer.Data(), static_cast<size_t>(answer.Size())));
  // The end goes right behind the answer, and what the client sent is read
  // off without waiting, so the client reads a clean end even when its
  // request comes late.
  connection.ShutdownSending();
  connection.DiscardPending();
}

}  // namespace

ListenThread::ListenThread(ServerControl& control)
    : control_(control), sender_(control), thread_([this] { return Run(); }) {}

bool ListenThread::Open() {
  const int port = control_.port.load();
  switch (listening_.Listen(port, kBacklog)) {
    case platform::kListening:
      return true;
    case platform::kBindNotPermitted: {
      char text[sizeof kPortNotPermittedMessage + 16];
      std::snprintf(text, sizeof text, kPortNotPermittedMessage, port);
      ShowListenerMessage(text);
      return false;
    }
    case platform::kListenFailed:
      ShowListenerMessage(kListenFailedMessage);
      return false;
    default:
      ShowListenerMessage(kPortInUseMessage);
      return false;
  }
}

int ListenThread::Run() {
  ClientList clients;
  if (listening_.IsOpen() || Open()) {
    // Without the sender's thread a stream ends after its head; the rest
    // is served.
    sending_ = sender_.Start();
    if (!sending_) control_.notices.ThreadCreate(false);
    Serve(listening_, clients);
  }
  Shutdown(clients);
  listening_.Close();
  return 0;
}

void ListenThread::Serve(platform::Socket& listener, ClientList& clients) {
  // A client raises reapRequested just before its thread ends, so a pass may
  // still find it running. Every idle wake-up makes another pass, and so
  // does a connection that would be refused, so an ended thread never
  // keeps a newcomer out.
  bool idle = false;
  for (;;) {
    if (control_.stopRequested.load() == 1) return;
    if (control_.reapRequested.exchange(0) == 1 || idle) Reap(clients);
    control_.sessionThreads.store(static_cast<int32_t>(clients.size()));
    platform::Socket connection;
    int error = listener.Accept(connection);
    if (error == EAGAIN) {
      int ready = listener.WaitReadable(kIdleWaitMs);
      if (ready < 0) return;
      idle = ready == 0 && !clients.empty();
      continue;
    }
    idle = false;
    if (IsTransient(error)) continue;
    if (IsOutOfDescriptors(error)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kIdleWaitMs));
      continue;
    }
    if (error != 0) return;
    // Who may watch is decided before a byte of the request is read.
    platform::IpAddress peer;
    if (!connection.PeerIp(peer) || !control_.gate.MayConnect(peer)) {
      Refuse(connection, kForbiddenResponse);
      std::string address;
      if (control_.logConnections.load() && connection.PeerAddress(address))
        control_.notices.LogWrite(AppendLog("Connection refused from: " + address));
      continue;
    }
    // While connections keep coming there is no idle wake-up: ended
    // threads leave the list here too.
    Reap(clients);
    // Connections still sending their request have a bound of their own;
    // places are taken by the sessions once a request is in.
    if (control_.arrivingCount.load() >= kArrivingPerPlace * control_.clientLimit.load()) {
      Refuse(connection);
      continue;  // the connection closes as it goes out of scope
    }
    Admit(std::move(connection), peer, clients);
  }
}

void ListenThread::Admit(platform::Socket connection, const platform::IpAddress& peer,
                         ClientList& clients) {
  auto ticket = std::make_unique<ClientTicket>();
  ticket->logConnections = control_.logConnections.load();
  ticket->frameSource = control_.frameSource;
  ticket->stopFlag = &control_.stopRequested;
  ticket->reapFlag = &control_.reapRequested;
  ticket->notices = &control_.notices;
  ticket->places = &control_;
  ticket->gate = &control_.gate;
  if (sending_) ticket->streams = &sender_;
  ticket->peer = peer;
  ticket->socket = std::move(connection);
  control_.CopyStreamUrl(ticket->streamUrl, sizeof ticket->streamUrl);

  auto client = std::make_unique<ClientThread>(std::move(ticket));
  const bool created = client->Thread().Create();
  control_.notices.ThreadCreate(created);
  if (!created) {
    // The system refused a thread: this client is refused, the next served.
    Refuse(client->Connection());
    return;
  }
  client->Thread().SetLowestPriority();
  // Counted before it runs: the session counts itself out once its request
  // is in.
  control_.arrivingCount.fetch_add(1);
  clients.push_back(std::move(client));
  control_.sessionThreads.store(static_cast<int32_t>(clients.size()));
  clients.back()->Thread().Resume();
}

// Looks once at every listed thread: ended ones leave, running ones keep
// their order.
void ListenThread::Reap(ClientList& clients) {
  std::erase_if(clients, [](const std::unique_ptr<ClientThread>& client) {
    return client->Thread().ExitCode() != platform::kStillActive;
  });
}

// Waits for every client thread, oldest first.
void ListenThread::Shutdown(ClientList& clients) {
  for (auto& client : clients) {
    while (!client->Thread().WaitForEnd(platform::kThreadEndStepMs)) {
    }
    client.reset();
  }
  clients.clear();
  sender_.Stop();  // after the sessions: none hands a stream over any more
  control_.connectedCount.store(0);
  control_.arrivingCount.store(0);
  control_.sessionThreads.store(0);
}

}  // namespace server
