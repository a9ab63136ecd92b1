#pragma once

#include <memory>

#include "platform/thread.h"
#include "server/server_control.h"

namespace server {

// One admitted connection, served on a thread of its own. Created and
// deleted by the listener thread; the session runs on the worker.
class ClientThread {
 public:
  explicit ClientThread(std::unique_ptr<ClientTicket> ticket);
  platform::WorkerThread& Thread() { return thread_; }
  // The connection, for an answer when no thread could be had for it.
  platform::Socket& Connection() { return ticket_->socket; }

 private:
  std::unique_ptr<ClientTicket> ticket_;
  platform::WorkerThread thread_;
};

}  // namespace server
