#include "server/snapshot.h"

#include <cstdio>
#include <cstring>

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "server/fixed_answers.h"
#include "server/send_all.h"

namespace server {

void ServeSnapshot(platform::Socket& connection, const ClientTicket& ticket, bool headOnly,
                   std::vector<char>& buffer) {
  capture::FrameStore& store = ticket.frameSource->frameStore;
  const int64_t start = platform::SteadyMillis();
  while (ticket.stopFlag->load() != 1) {
    uint64_t published = 0;
    size_t size = 0;
    {
      capture::FrameStore::Reader image(store);
      published = image.Published();
      if (image.Length() >= 1) {
        char head[160];
        int headLength = std::snprintf(head, sizeof head,
                                       "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n"
                                       "Content-Length: %d\r\nCache-Control: no-store\r\n\r\n",
                                       static_cast<int>(image.Length()));
        size = static_cast<size_t>(headLength) +
               (headOnly ? 0 : static_cast<size_t>(image.Length()));
        if (size > buffer.size()) buffer.resize(size);
        std::memcpy(buffer.data(), head, static_cast<size_t>(headLength));
        if (!headOnly) image.CopyTo(buffer.data() + headLength);
      }
    }
    if (size > 0) {
      SendLast(buffer.data(), static_cast<int>(size), connection, ticket.stopFlag);
      return;
    }
    if (platform::SteadyMillis() - start >= kIdleLimitMs) {
      SendLast(kServiceUnavailableResponse, sizeof kServiceUnavailableResponse - 1, connection,
               ticket.stopFlag);
      return;
    }
    store.WaitForNewFrame(published, kStopCheckMs);
  }
}

}  // namespace server
