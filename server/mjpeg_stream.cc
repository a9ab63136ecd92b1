#include "server/mjpeg_stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "server/send_all.h"

namespace server {

namespace {

constexpr char kPartType[] = "Content-Type: image/jpeg\r\n";
constexpr char kPartEnd[] = "\r\n--Owlglance\r\n";
constexpr int kResendAfterMs = 1000;

bool StopRequested(const ClientTicket& ticket) { return ticket.stopFlag->load() == 1; }

// A viewer that has gone, or a stop, ends the stream at once: its place is
// free within one wait, whatever is still queued for it.
// So does a change of who may watch that leaves this viewer out (a narrower
// scope, a password set or changed): looked into only when the rules change.
bool Ended(const platform::Socket& connection, ClientTicket& ticket) {
  if (StopRequested(ticket) || connection.PeerGone()) return true;
  if (!ticket.gate || ticket.gate->Generation() == ticket.admitted) return false;
  const uint64_t now = ticket.gate->Generation();
  if (!ticket.gate->StillAllowed(ticket.peer, ticket.admitted)) return true;
  ticket.admitted = now;
  return false;
}

// Waits until the store has published a frame other than `seen`, or `ms`
// have passed. False when the server stops or the viewer goes meanwhile.
bool WaitForFrameAfter(capture::FrameStore& store, uint64_t seen, int ms,
                       const platform::Socket& connection, ClientTicket& ticket) {
  int64_t start = platform::SteadyMillis();
  while (store.PublishedCount() == seen) {
    if (Ended(connection, ticket)) return false;
    int64_t left = ms - (platform::SteadyMillis() - start);
    if (left <= 0) break;
    store.WaitForNewFrame(seen, static_cast<int>(std::min<int64_t>(left, kStopCheckMs)));
  }
  return !Ended(connection, ticket);
}

// A viewer keeps about two parts in flight: while more than one part is
// still queued for it (Linux would queue megabytes), it gets no new one, so
// the next part it takes carries the newest image and the ones it could
// not take are skipped. False when it took nothing for the idle limit, or
// the server stops.
bool WaitForViewer(platform::Socket& connection, capture::FrameStore& store, size_t partSize,
                   ClientTicket& ticket) {
  int64_t mark = platform::SteadyMillis();
  int queued = connection.QueuedBytes();
  while (queued > 0 && static_cast<size_t>(queued) > partSize) {
    if (Ended(connection, ticket)) return false;
    if (platform::SteadyMillis() - mark >= kIdleLimitMs) return false;
    store.WaitForNewFrame(store.PublishedCount(), kStopCheckMs);
    int now = connection.QueuedBytes();
    if (now < queued) mark = platform::SteadyMillis();
    queued = now;
  }
  return true;
}

// Writes the image's part into `buffer`: its head, the image and the closing
// delimiter, which go out in one send so the client can show the image as
// soon as it arrives. Its size.
size_t WritePart(const capture::FrameStore::Reader& image, std::vector<char>& buffer) {
  char header[64];
  const int headerLength = std::snprintf(header, sizeof header, "%sContent-Length: %d\r\n\r\n",
                                         kPartType, static_cast<int>(image.Length()));
  const auto imageAt = static_cast<size_t>(headerLength);
  const size_t partSize = imageAt + static_cast<size_t>(image.Length()) + sizeof kPartEnd - 1;
  if (partSize > buffer.size()) buffer.resize(partSize);
  std::memcpy(buffer.data(), header, imageAt);
  image.CopyTo(buffer.data() + imageAt);
  std::memcpy(buffer.data() + imageAt + static_cast<size_t>(image.Length()), kPartEnd,
              sizeof kPartEnd - 1);
  return partSize;
}

}  // namespace

void ServeStream(platform::Socket& connection, ClientTicket& ticket, bool headOnly,
                 std::vector<char>& partBuffer) {
  const auto* stop = ticket.stopFlag;
  if (SendAll(kStreamHead.Data(), kStreamHead.Size(), connection, stop) != SendResult::kSent ||
      headOnly)
    return;
  if (SendAll(kDelimiter, sizeof kDelimiter - 1, connection, stop) != SendResult::kSent) return;

  capture::FrameStore& store = ticket.frameSource->frameStore;
  int64_t lastImage = platform::SteadyMillis();
  size_t lastPartSize = 0;
  for (;;) {
    if (StopRequested(ticket)) return;
    if (lastPartSize > 0 && !WaitForViewer(connection, store, lastPartSize, ticket)) return;
    uint64_t published = 0;
    size_t partSize = 0;
    {
      capture::FrameStore::Reader image(store);
      published = image.Published();
      if (image.Length() >= 1) partSize = WritePart(image, partBuffer);
    }
    if (partSize == 0) {
      // No image yet, or a frame that failed: wait for the next one, as
      // long as one comes within the idle limit.
      if (platform::SteadyMillis() - lastImage >= kIdleLimitMs) return;
      if (!WaitForFrameAfter(store, published, kStopCheckMs, connection, ticket)) return;
      continue;
    }
    lastImage = platform::SteadyMillis();
    if (SendAll(partBuffer.data(), static_cast<int>(partSize), connection, stop) !=
        SendResult::kSent)
      return;
    lastPartSize = partSize;
    // Paced by the camera: the next new image, or this one again after a second.
    if (!WaitForFrameAfter(store, published, kResendAfterMs, connection, ticket)) return;
  }
}

}  // namespace server
