#include "server/mjpeg_stream.h"

#include <cstdio>

#include "server/time_limits.h"

namespace server {

namespace {

constexpr char kPartEnd[] = "\r\n--Owlglance\r\n";
constexpr int kResendAfterMs = 1000;

}  // namespace

void MjpegStream::Begin(int64_t now) {
  lastImage_ = progressAt_ = now;
  sentAt_ = now - kResendAfterMs;  // due at once
  published_ = 0;
  lastPartSize_ = 0;
  queued_ = 0;
}

int64_t MjpegStream::ResendAt() const { return sentAt_ + kResendAfterMs; }

bool MjpegStream::Service(const capture::FrameStore::Reader& latest, Link& link, Outgoing& out,
                          int64_t now) {
  if (out.InFlight()) return now - progressAt_ < kIdleLimitMs;
  const bool due = latest.Published() != published_ || now - sentAt_ >= kResendAfterMs;
  if (!due) return true;
  // No picture yet, or a frame that failed: the next one may do, as long as
  // one comes within the idle limit.
  if (latest.Length() < 1) return now - lastImage_ < kIdleLimitMs;
  // While more than one part is still queued for the viewer (Linux would
  // queue megabytes), it gets no new one: the next part it takes carries the
  // newest picture, and the ones it could not take are skipped.
  if (lastPartSize_ > 0) {
    // Looked at again for a new picture, or after kStopCheckMs.
    if (queued_ > 0 && latest.Published() == queuedFor_ && now - queuedAt_ < kStopCheckMs)
      return true;
    const int queued = link.socket.QueuedBytes();
    queuedFor_ = latest.Published();
    queuedAt_ = now;
    if (queued > 0 && static_cast<size_t>(queued) > lastPartSize_) {
      if (queued < queued_) progressAt_ = now;
      queued_ = queued;
      return now - progressAt_ < kIdleLimitMs;
    }
  }
  char head[64];
  const int headLength = std::snprintf(
      head, sizeof head, "Content-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n", latest.Length());
  // The text's room is kept from part to part: no allocation per picture.
  out.Reset().assign(head, static_cast<size_t>(headLength));
  out.SetPicture(latest.Image());
  out.SetTail(std::string_view(kPartEnd, sizeof kPartEnd - 1));
  lastPartSize_ = out.Size();
  published_ = latest.Published();
  sentAt_ = lastImage_ = progressAt_ = now;
  queued_ = 0;
  return SendMore(link, out, now);
}

bool MjpegStream::SendMore(Link& link, Outgoing& out, int64_t now) {
  bool moved = false;
  const Outgoing::Progress progress = out.Send(link, moved);
  if (moved) progressAt_ = now;
  return progress != Outgoing::Progress::kFailed;
}

}  // namespace server
