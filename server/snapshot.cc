#include "server/snapshot.h"

#include <cstdio>
#include <cstring>

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "server/fixed_answers.h"
#include "server/send_all.h"

void ServeSnapshot(platform::Socket& connection, const ClientTicket& ticket, bool headOnly,
                   std::vector<char>& buffer) {
  FrameStore& store = ticket.frameSource->frameStore;
  const int64_t start = platform::SteadyMillis();
  while (ticket.stopFlag->load() != 1) {
    int32_t length = store.LockAndGetLength();
    const uint64_t published = store.PublishedCount();
    if (length >= 1) {
      char head[160];
      int headLength = std::snprintf(head, sizeof head,
                                     "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\n"
                                     "Content-Length: %d\r\nCache-Control: no-store\r\n\r\n",
                                     static_cast<int>(length));
      size_t size = static_cast<size_t>(headLength) + (headOnly ? 0 : static_cast<size_t>(length));
      if (size > buffer.size()) buffer.resize(size);
      std::memcpy(buffer.data(), head, static_cast<size_t>(headLength));
      if (headOnly) {
        store.Unlock();
      } else {
        store.CopyAndUnlock(buffer.data() + headLength);
      }
      SendAll(buffer.data(), static_cast<int>(size), connection, ticket.stopFlag);
      return;
    }
    store.Unlock();
    if (platform::SecondsSince(start) > kIdleLimitSeconds) {
      SendAll(kServiceUnavailable, sizeof kServiceUnavailable - 1, connection, ticket.stopFlag);
      return;
    }
    store.WaitForNewFrame(published, kStopCheckMs);
  }
}
