#pragma once

#include <atomic>
#include <cstdint>

#include "platform/socket.h"

// Sends `length` bytes on a non-blocking connection. Result 1 when all were
// sent; 0 when a send failed, made no progress for 6 seconds, or `stop`
// (the server's stopRequested) became 1 while it waited.
int SendAll(const void* data, int length, platform::Socket& connection,
            const std::atomic<int32_t>* stop = nullptr);

// Sends `count` bytes of the file `fileFd` from its start the same way,
// straight from the file (sendfile), with the same result.
int SendFileBytes(int fileFd, int64_t count, platform::Socket& connection,
                  const std::atomic<int32_t>* stop = nullptr);

// Gives up after more than this many whole seconds without progress.
constexpr int kIdleLimitSeconds = 5;
// How soon a send that waits for the client sees the stop flag.
constexpr int kStopCheckMs = 100;
