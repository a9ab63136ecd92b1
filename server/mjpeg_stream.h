#pragma once

#include <cstdint>

#include "capture/frame_store.h"
#include "server/link.h"
#include "server/outgoing.h"
#include "server/response_head.h"

namespace server {

// The boundary the head declares; every delimiter line on the wire is
// "--Owlglance\r\n", as RFC 2046 has it.
inline constexpr ResponseHead kStreamHead =
    ResponseHead("200 OK")
        .Field("Content-type", "multipart/x-mixed-replace;boundary=Owlglance")
        .End();
constexpr char kDelimiter[] = "--Owlglance\r\n";

// A viewer whose stream head and first delimiter have gone out: one part
// per new camera picture, paced by the camera, straight from the store's
// buffer. A viewer on a slow link gets the newest picture whenever it can
// take one; what it could not take is skipped, never queued. Used by the
// event loop's thread.
class MjpegStream {
 public:
  explicit MjpegStream(int64_t now = 0) { Begin(now); }
  // From `now`, the first part due at once.
  void Begin(int64_t now);

  // One look at the stream: goes on with its part, or starts the next one
  // when there is a new picture (or a second has passed) and the viewer has
  // taken all but about one part. False when the stream ends: it failed,
  // or made no progress (no picture, or a viewer that takes nothing) for
  // the idle limit.
  bool Service(const capture::FrameStore::Reader& latest, Link& link, Outgoing& out, int64_t now);
  // Sends more of the part in flight when the socket has room; false when
  // the connection failed.
  bool SendMore(Link& link, Outgoing& out, int64_t now);
  // When the next part is due at the latest (a resend), while none is in
  // flight.
  int64_t ResendAt() const;

 private:
  uint64_t published_ = 0;  // the store's count for the last part's picture
  size_t lastPartSize_ = 0;
  int queued_ = 0;  // what the socket held at the last look, for which picture, when
  uint64_t queuedFor_ = 0;
  int64_t queuedAt_ = 0;
  int64_t sentAt_ = 0;     // when the last part started, for the resend
  int64_t lastImage_ = 0;  // when there last was a picture to send
  int64_t progressAt_ = 0;
};

}  // namespace server
