#pragma once

#include <atomic>
#include <cstdint>

#include "platform/socket.h"
#include "server/server_control.h"

constexpr int kRequestBufferSize = 1024;
// Room for a request's header lines, read only to learn If-Modified-Since.
constexpr int kHeadBufferSize = 8192;

// Reads the request: until the first CR LF, or 1024 bytes, have arrived.
// Result: the byte count, or -1 when it has not arrived whole within 6
// seconds of the start, on a receive error, the peer closing, or `stop`.
int ReadRequest(platform::Socket& connection, char* buffer,
                const std::atomic<int32_t>* stop = nullptr);

// Serves one connection from start to end; runs on its client thread.
void RunSession(ClientTicket& ticket);
