#include "server/send_all.h"

#include <cerrno>
#include <cstdlib>

#include "platform/clock.h"

int SendAll(const void* data, int length, platform::Socket& connection) {
  const char* bytes = static_cast<const char*>(data);
  int sent = 0;
  int64_t mark = platform::SteadyMillis();
  while (sent < length) {
    if (std::llabs(platform::SecondsSince(mark)) > kIdleLimitSeconds) return 0;
    long k = connection.Send(bytes + sent, static_cast<size_t>(length - sent));
    if (k > 0) {
      sent += static_cast<int>(k);
      mark = platform::SteadyMillis();
    } else if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (connection.WaitWritable(100) < 0) return 0;
    } else if (k < 0 && errno == EINTR) {
      continue;
    } else {
      return 0;
    }
  }
  return 1;
}
