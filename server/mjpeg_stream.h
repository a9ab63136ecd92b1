#pragma once

#include <vector>

#include "platform/socket.h"
#include "server/server_control.h"

// Answers the stream URL with the endless motion-JPEG response.
// `partBuffer` is the session's, reused from part to part.
void ServeStream(platform::Socket& connection, const ClientTicket& ticket,
                 std::vector<char>& partBuffer);
