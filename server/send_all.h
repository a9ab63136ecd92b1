#pragma once

#include <atomic>
#include <cstdint>

#include "platform/socket.h"

namespace server {

// SendAll's and SendFileBytes's results.
constexpr int kSent = 1;
constexpr int kNotSent = 0;

// Sends `length` bytes on a non-blocking connection: kSent when all were
// sent; kNotSent when a send failed, made no progress for 6 seconds, or
// `stop` (the server's stopRequested) became 1 while it waited.
[[nodiscard]] int SendAll(const void* data, int length, platform::Socket& connection,
            const std::atomic<int32_t>* stop = nullptr);

// Sends `count` bytes of the file `fileFd` from its start the same way,
// straight from the file (sendfile), with the same result.
[[nodiscard]] int SendFileBytes(int fileFd, int64_t count, platform::Socket& connection,
                  const std::atomic<int32_t>* stop = nullptr);

// Sends a connection's last bytes, which close it: whether they arrived
// changes nothing that follows.
inline void SendLast(const void* data, int length, platform::Socket& connection,
                     const std::atomic<int32_t>* stop) {
  static_cast<void>(SendAll(data, length, connection, stop));
}

// Gives up after more than this many whole seconds without progress.
constexpr int kIdleLimitSeconds = 5;
// How soon a send that waits for the client sees the stop flag.
constexpr int kStopCheckMs = 100;

}  // namespace server
