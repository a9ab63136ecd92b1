#pragma once

#include "platform/socket.h"
#include "server/server_control.h"

namespace server {

// The request is what has arrived by its first CR LF, or its first 1024
// bytes; it must arrive within 6 seconds of the connection's acceptance.
constexpr int kRequestBufferSize = 1024;
// Room for a request's header lines, read only to learn If-Modified-Since.
constexpr int kHeadBufferSize = 8192;

// Serves one connection from start to end; runs on its client thread.
void RunSession(ClientTicket& ticket);

}  // namespace server
