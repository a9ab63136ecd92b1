#pragma once

#include <memory>
#include <vector>

#include "platform/thread.h"
#include "server/client_thread.h"
#include "server/response_head.h"
#include "server/server_control.h"
#include "server/stream_sender.h"

namespace server {

constexpr char kPortInUseMessage[] =
    "An error occurred starting network communications.\n"
    "The port chosen may be in use, shut down the server and change the port number.";
// With the port number for %d.
constexpr char kPortNotPermittedMessage[] =
    "Port %d can't be used without permission.\nChoose a port from 1025 up in Server > Setup.";
constexpr char kListenFailedMessage[] =
    "An error occurred while trying to listen for connections.\n, Please restart the server.";

// The server's accepting thread, one per server run. Created and deleted by
// the server controller on the user-interface thread; the body runs on the
// worker and alone touches the client list.
class ListenThread {
 public:
  explicit ListenThread(ServerControl& control);
  platform::WorkerThread& Thread() { return thread_; }

  // Binds ServerControl.port and listens, showing the listener's message
  // when that fails. The controller calls it before the thread starts, so
  // that StartServer knows whether the server serves; a thread started
  // without it does it first.
  bool Open();

 private:
  using ClientList = std::vector<std::unique_ptr<ClientThread>>;  // oldest first

  int Run();
  void Serve(platform::Socket& listener, ClientList& clients);
  void Admit(platform::Socket connection, const platform::IpAddress& peer, ClientList& clients);
  static void Reap(ClientList& clients);
  void Shutdown(ClientList& clients);

  ServerControl& control_;
  StreamSender sender_;
  bool sending_ = false;  // the sender runs
  platform::Socket listening_;
  platform::WorkerThread thread_;
};

}  // namespace server
