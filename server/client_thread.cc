#include "server/client_thread.h"

#include "server/client_session.h"

namespace server {

ClientThread::ClientThread(std::unique_ptr<ClientTicket> ticket)
    : ticket_(std::move(ticket)), thread_([this] {
        RunSession(*ticket_);
        ticket_.reset();
        return 0;
      }) {}

}  // namespace server
