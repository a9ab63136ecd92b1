#include "server/send_all.h"

#include <algorithm>
#include <cerrno>

#include "platform/clock.h"

namespace server {

namespace {

// Runs `send` (bytes sent, or -1 with errno) until `length` bytes have gone,
// waiting while the connection is full. SendAll's result.
template <typename SendSome>
SendResult SendUntilDone(int64_t length, platform::Socket& connection,
                         const std::atomic<int32_t>* stop, SendSome send) {
  int64_t sent = 0;
  int64_t mark = platform::SteadyMillis();
  while (sent < length) {
    if (platform::SteadyMillis() - mark >= kIdleLimitMs) return SendResult::kNotSent;
    long k = send(sent);
    if (k > 0) {
      sent += k;
      mark = platform::SteadyMillis();
    } else if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (connection.WaitWritable(kStopCheckMs) < 0) return SendResult::kNotSent;
      if (stop && stop->load() == 1) return SendResult::kNotSent;
    } else if (k < 0 && errno == EINTR) {
      continue;
    } else {
      return SendResult::kNotSent;
    }
  }
  return SendResult::kSent;
}

}  // namespace

SendResult SendAll(const void* data, int length, platform::Socket& connection,
                   const std::atomic<int32_t>* stop) {
  const char* bytes = static_cast<const char*>(data);
  return SendUntilDone(length, connection, stop, [&](int64_t sent) {
    return connection.Send(bytes + sent, static_cast<size_t>(length - sent));
  });
}

SendResult SendFileBytes(int fileFd, int64_t offset, int64_t count, platform::Socket& connection,
                         const std::atomic<int32_t>* stop) {
  constexpr int64_t kMaxPiece = 1 << 30;
  long long at = offset;
  return SendUntilDone(count, connection, stop, [&](int64_t sent) {
    long k =
        connection.SendFile(fileFd, at, static_cast<size_t>(std::min(count - sent, kMaxPiece)));
    // The file ended early (it shrank since its size was read): a failure,
    // the client has been promised more.
    if (k == 0) errno = EIO;
    return k == 0 ? -1L : k;
  });
}

}  // namespace server
