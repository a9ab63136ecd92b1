#pragma once

#include <vector>

#include "platform/socket.h"
#include "server/server_control.h"

namespace server {

// Answers a snapshot URL with the newest image: "HTTP/1.0 200 OK" with its
// type and length, not to be cached, then the JPEG bytes (none for HEAD).
// Before the camera's first image it waits for one, and answers 503 when
// none comes within the idle limit. `buffer` is the session's.
void ServeSnapshot(platform::Socket& connection, const ClientTicket& ticket, bool headOnly,
                   std::vector<char>& buffer);

}  // namespace server
