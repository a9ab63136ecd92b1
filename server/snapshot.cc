#include "server/snapshot.h"

#include <cstring>

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "server/response_head.h"
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
        ResponseHead head("200 OK");
        head.Field("Content-Type", "image/jpeg")
            .Field("Content-Length", image.Length())
            .Field("Cache-Control", "no-store")
            .End();
        const auto headLength = static_cast<size_t>(head.Size());
        size = headLength + (headOnly ? 0 : static_cast<size_t>(image.Length()));
        if (size > buffer.size()) buffer.resize(size);
        std::memcpy(buffer.data(), head.Data(), headLength);
        if (!headOnly) image.CopyTo(buffer.data() + headLength);
      }
    }
    if (size > 0) {
      SendLast(buffer.data(), static_cast<int>(size), connection, ticket.stopFlag);
      return;
    }
    if (platform::SteadyMillis() - start >= kIdleLimitMs) {
      SendLast(kServiceUnavailableResponse.Data(), kServiceUnavailableResponse.Size(), connection,
               ticket.stopFlag);
      return;
    }
    store.WaitForNewFrame(published, kStopCheckMs);
  }
}

}  // namespace server
