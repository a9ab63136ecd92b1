#pragma once

#include <atomic>
#include <cstdint>

#include "platform/socket.h"

namespace server {

// A connection that makes no progress for this long is given up: no send
// goes forward, no request arrives, no picture comes for a stream.
constexpr int64_t kIdleLimitMs = 6000;
// How soon a send that waits for the client sees the stop flag.
constexpr int kStopCheckMs = 100;

enum class SendResult { kSent, kNotSent };

// Sends `length` bytes on a non-blocking connection: kSent when all were
// sent; kNotSent when a send failed, made no progress for kIdleLimitMs, or
// `stop` (the server's stopRequested) became 1 while it waited.
[[nodiscard]] SendResult SendAll(const void* data, int length, platform::Socket& connection,
                                 const std::atomic<int32_t>* stop = nullptr);

// Sends `count` bytes of the file `fileFd` from byte `offset` the same way,
// straight from the file (sendfile), with the same result.
[[nodiscard]] SendResult SendFileBytes(int fileFd, int64_t offset, int64_t count,
                                       platform::Socket& connection,
                                       const std::atomic<int32_t>* stop = nullptr);

// Sends a connection's last bytes, which close it: whether they arrived
// changes nothing that follows.
inline void SendLast(const void* data, int length, platform::Socket& connection,
                     const std::atomic<int32_t>* stop) {
  static_cast<void>(SendAll(data, length, connection, stop));
}

}  // namespace server
