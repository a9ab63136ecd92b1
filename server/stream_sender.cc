#include "server/stream_sender.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "server/connection_log.h"
#include "server/send_all.h"

namespace server {

namespace {

constexpr char kPartEnd[] = "\r\n--Owlglance\r\n";
constexpr int kResendAfterMs = 1000;
constexpr int kDrainMs = 2000;  // how long a closing stream reads off what the viewer sends

bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

}  // namespace

struct StreamSender::Stream {
  StreamViewer viewer;
  // The part in flight: its head, the picture it carries, and how much of
  // the three (head, picture, delimiter) has gone.
  capture::FrameRef picture;
  std::array<char, 64> head{};
  size_t headLength = 0;
  size_t partSize = 0;
  size_t sent = 0;

  uint64_t published = 0;  // the store's count for the last part's picture
  size_t lastPartSize = 0;
  int queued = 0;  // what the socket held at the last look, for which picture, when
  uint64_t queuedFor = 0;
  int64_t queuedAt = 0;
  int64_t sentAt = 0;     // when the last part started, for the resend
  int64_t lastImage = 0;  // when there last was a picture to send
  int64_t progressAt = 0;
  int64_t closeBy = -1;  // once ended: when the drain gives up
  bool finished = false;

  bool InFlight() const { return sent < partSize; }
};

StreamSender::StreamSender(ServerControl& control)
    : control_(control), thread_([this] { return Run(); }) {}

StreamSender::~StreamSender() { Stop(); }

bool StreamSender::Start() {
  store_ = &control_.frameSource->frameStore;
  if (!poller_.IsOpen() || !wakeup_.IsOpen() ||
      !poller_.Add(wakeup_.Fd(), platform::Poller::kReadable, &wakeup_) || !thread_.Create())
    return false;
  {
    platform::MutexLock lock(arrivalsLock_);
    running_ = true;
  }
  thread_.Resume();
  return true;
}

void StreamSender::Stop() {
  {
    platform::MutexLock lock(arrivalsLock_);
    if (!running_) return;
    running_ = false;
  }
  wakeup_.Signal();
  while (!thread_.WaitForEnd(platform::kThreadEndStepMs)) {
  }
}

bool StreamSender::Adopt(StreamViewer& viewer) {
  platform::MutexLock lock(arrivalsLock_);
  if (!running_) return false;
  arrivals_.push_back(std::move(viewer));
  wakeup_.Signal();
  return true;
}

// Takes the viewers handed over since the last look; false once Stop has
// been asked (and every viewer handed over before it is taken).
bool StreamSender::TakeArrivals() {
  std::vector<StreamViewer> arrived;
  bool running;
  {
    platform::MutexLock lock(arrivalsLock_);
    arrived.swap(arrivals_);
    running = running_;
  }
  const int64_t now = platform::SteadyMillis();
  for (StreamViewer& viewer : arrived) {
    auto stream = std::make_unique<Stream>();
    stream->viewer = std::move(viewer);
    stream->lastImage = stream->progressAt = now;
    stream->sentAt = now - kResendAfterMs;  // due at once
    stream->published = store_->PublishedCount() - 1;
    if (streams_.empty()) store_->SetWakeup(&wakeup_);
    if (!poller_.Add(stream->viewer.socket.Fd(),
                     platform::Poller::kReadable | platform::Poller::kWritable, stream.get())) {
      End(*stream, now);
      Finish(*stream);
    }
    streams_.push_back(std::move(stream));
  }
  return running;
}

int StreamSender::Run() {
  std::array<platform::Poller::Event, 64> events;
  for (;;) {
    const int n = poller_.Wait(events.data(), static_cast<int>(events.size()),
                               Timeout(platform::SteadyMillis()));
    int64_t now = platform::SteadyMillis();
    for (int i = 0; i < n; ++i) {
      const auto& event = events[static_cast<size_t>(i)];
      if (event.tag == &wakeup_) {
        wakeup_.Clear();
      } else {
        OnEvent(*static_cast<Stream*>(event.tag), event.what, now);
      }
    }
    const bool running = TakeArrivals();
    const bool stopping = !running || control_.stopRequested.load() == 1;
    {
      const capture::FrameStore::Reader latest(*store_);
      for (auto& stream : streams_) {
        if (stream->finished) continue;
        if (stream->closeBy >= 0) {
          if (stopping || now >= stream->closeBy) Finish(*stream);
        } else if (stopping || !Service(*stream, latest, now)) {
          // A stop still lets a part in flight go out whole when the
          // socket takes it.
          if (stopping && stream->InFlight()) SendRest(*stream, now);
          End(*stream, now);
          if (stopping) Finish(*stream);
        }
      }
    }
    // Streams leave only here, never while events may still name them.
    std::erase_if(streams_, [](const auto& stream) { return stream->finished; });
    if (streams_.empty()) store_->SetWakeup(nullptr);
    if (!running) return 0;
  }
}

void StreamSender::OnEvent(Stream& stream, uint32_t what, int64_t now) {
  if (stream.finished) return;
  if (what & platform::Poller::kReadable) {
    // A viewer has nothing more to say; what it sends is read off, and its
    // end is its leaving.
    char scratch[4096];
    long k;
    while ((k = stream.viewer.socket.Receive(scratch, sizeof scratch)) > 0) {
    }
    if (k == 0 || !WouldBlock()) what |= platform::Poller::kHangUp;
  }
  if (stream.closeBy >= 0) {
    if (what & platform::Poller::kHangUp) Finish(stream);
    return;
  }
  if (what & platform::Poller::kHangUp) {
    End(stream, now);
    Finish(stream);
    return;
  }
  if ((what & platform::Poller::kWritable) && stream.InFlight() && !SendRest(stream, now)) {
    End(stream, now);
  }
}

// One look at a stream: goes on with its part, or starts the next one when
// there is a new picture (or a second has passed) and the viewer has taken
// all but about one part. False when the stream ends.
bool StreamSender::Service(Stream& stream, const capture::FrameStore::Reader& latest, int64_t now) {
  if (!StillAdmitted(stream)) return false;
  if (stream.InFlight()) return now - stream.progressAt < kIdleLimitMs;
  const bool due = latest.Published() != stream.published || now - stream.sentAt >= kResendAfterMs;
  if (!due) return true;
  // No picture yet, or a frame that failed: the next one may do, as long as
  // one comes within the idle limit.
  if (latest.Length() < 1) return now - stream.lastImage < kIdleLimitMs;
  // While more than one part is still queued for the viewer (Linux would
  // queue megabytes), it gets no new one: the next part it takes carries the
  // newest picture, and the ones it could not take are skipped.
  if (stream.lastPartSize > 0) {
    // Looked at again for a new picture, or after kStopCheckMs.
    if (stream.queued > 0 && latest.Published() == stream.queuedFor &&
        now - stream.queuedAt < kStopCheckMs)
      return true;
    const int queued = stream.viewer.socket.QueuedBytes();
    stream.queuedFor = latest.Published();
    stream.queuedAt = now;
    if (queued > 0 && static_cast<size_t>(queued) > stream.lastPartSize) {
      if (queued < stream.queued) stream.progressAt = now;
      stream.queued = queued;
      return now - stream.progressAt < kIdleLimitMs;
    }
  }
  const int headLength =
      std::snprintf(stream.head.data(), stream.head.size(),
                    "Content-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n", latest.Length());
  stream.picture = latest.Image();
  stream.headLength = static_cast<size_t>(headLength);
  stream.partSize = stream.headLength + static_cast<size_t>(latest.Length()) + sizeof kPartEnd - 1;
  stream.sent = 0;
  stream.published = latest.Published();
  stream.sentAt = stream.lastImage = stream.progressAt = now;
  stream.queued = 0;
  return SendRest(stream, now);
}

// Sends what the socket takes of the part in flight, in one call from the
// picture's own buffer. False when the connection failed.
bool StreamSender::SendRest(Stream& stream, int64_t now) {
  std::array<iovec, 3> pieces = {{
      {stream.head.data(), stream.headLength},
      {const_cast<uint8_t*>(stream.picture.Data()), static_cast<size_t>(stream.picture.Length())},
      {const_cast<char*>(kPartEnd), sizeof kPartEnd - 1},
  }};
  size_t skip = stream.sent, first = 0;
  while (skip >= pieces[first].iov_len) skip -= pieces[first++].iov_len;
  pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + skip;
  pieces[first].iov_len -= skip;
  const long k = stream.viewer.socket.SendPieces(pieces.data() + first, pieces.size() - first);
  if (k < 0) return WouldBlock();
  stream.sent += static_cast<size_t>(k);
  if (k > 0) stream.progressAt = now;
  if (!stream.InFlight()) {
    stream.lastPartSize = stream.partSize;
    stream.picture = capture::FrameRef();  // the buffer may go back to the store
  }
  return true;
}

// A change of who may watch that leaves this viewer out (a narrower scope,
// a password set or changed) ends its stream; looked into only when the
// rules change.
bool StreamSender::StillAdmitted(Stream& stream) {
  const uint64_t now = control_.gate.Generation();
  if (now == stream.viewer.admitted) return true;
  if (!control_.gate.StillAllowed(stream.viewer.peer, stream.viewer.admitted)) return false;
  stream.viewer.admitted = now;
  return true;
}

// The stream has ended: its place is a viewer's again at once, and the
// close that follows counts among the connections that hold none. The
// sending side is shut down and what the viewer still sends is read off
// until it closes, for a clean end.
void StreamSender::End(Stream& stream, int64_t now) {
  if (stream.closeBy >= 0) return;
  if (stream.viewer.logConnections)
    LogPeer(stream.viewer.socket, "Connection closed: ", stream.viewer.peerText, &control_.notices);
  control_.arrivingCount.fetch_add(1);
  control_.LeavePlace();
  stream.picture = capture::FrameRef();
  stream.viewer.socket.ShutdownSending();
  stream.closeBy = now + kDrainMs;
}

void StreamSender::Finish(Stream& stream) {
  poller_.Remove(stream.viewer.socket.Fd());
  stream.viewer.socket.DiscardPending();  // so that the close is not a reset
  stream.viewer.socket.Close();
  control_.arrivingCount.fetch_sub(1);
  stream.finished = true;
}

// How long the thread may sleep: until the next resend is due, and never
// so long that a stop or an idle limit goes unseen; without streams, until
// it is woken.
int StreamSender::Timeout(int64_t now) const {
  if (streams_.empty()) return -1;
  int64_t wait = kStopCheckMs;
  for (const auto& stream : streams_) {
    // A resend still to come; one that is due but held back (a full
    // viewer, no picture) is looked at again within kStopCheckMs.
    const int64_t resendIn = stream->sentAt + kResendAfterMs - now;
    if (stream->closeBy < 0 && !stream->InFlight() && resendIn > 0) wait = std::min(wait, resendIn);
  }
  return static_cast<int>(std::max<int64_t>(wait, 0));
}

}  // namespace server
