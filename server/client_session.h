#pragma once

#include <string_view>

#include "platform/socket.h"
#include "server/server_control.h"

constexpr int kRequestBufferSize = 1024;

// Reads the request: until the first CR LF, or 1024 bytes, have arrived.
// Result: the byte count, or -1 after a time-out (more than 5 whole seconds
// without progress), a receive error or the peer closing.
int ReadRequest(platform::Socket& connection, char* buffer);

// The request's first three tokens, split at spaces alone (runs of spaces
// count as one; CR, LF and tab are ordinary characters). A NUL byte ends the
// request text.
struct RequestTokens {
  std::string_view token[3];
  int count = 0;
};
RequestTokens SplitRequest(const char* data, int length);

// Serves one connection from start to end; runs on its client thread.
void RunSession(ClientTicket& ticket);
