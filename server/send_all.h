#pragma once

#include "platform/socket.h"

// Sends `length` bytes on a non-blocking connection. Result 1 when all were
// sent; 0 when a send failed or made no progress for 6 seconds.
int SendAll(const void* data, int length, platform::Socket& connection);

// Gives up after more than this many whole seconds without progress.
constexpr int kIdleLimitSeconds = 5;
