#include "server/listen_thread.h"

#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <thread>

#include "capture/capture_device.h"
#include "platform/clock.h"
#include "platform/interfaces.h"
#include "platform/message_box.h"
#include "server/connection_log.h"
#include "server/http_date.h"
#include "server/mjpeg_stream.h"
#include "server/request_route.h"
#include "server/secure_redirect.h"
#include "server/snapshot.h"
#include "server/state_page.h"
#include "server/whep.h"

namespace server {

namespace {

constexpr int kBacklog = SOMAXCONN;
constexpr int kIdleWaitMs = 300;    // how soon a stop is seen without connections
constexpr int64_t kDrainMs = 2000;  // how long a closing connection reads off what the client sends
// Descriptors kept free of connections: files being sent, the log, the pools.
constexpr int kSpareDescriptors = 64;
constexpr size_t kFileJobsMost = 1024;  // opens waiting for the disk
constexpr size_t kVerificationsWaiting = 8;
constexpr size_t kOffersWaiting = 8;   // past it, an offer is answered 503 at once
constexpr size_t kEndingsMost = 4096;  // never full: a viewer per place at most

void ShowListenerMessage(const char* text) {
  platform::ShowMessageBox(text, {}, platform::kMbOk | platform::kMbIconExclamation);
}

// Password verifications at once: one a core, leaving a core to the loop
// and the camera where there are several.
int VerifiersMost() {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return std::max(1, cores - 1);
}

// Answers a connection that can't be served at all, right after accept
// (403 for a peer outside the scope, 503 when it can't be watched), and
// lets it go.
void Refuse(platform::Socket& socket, std::string_view answer) {
  // A new connection's send buffer takes the short answer whole, or the
  // client is gone.
  const iovec piece{const_cast<char*>(answer.data()), answer.size()};
  static_cast<void>(socket.Write(&piece, 1));
  // The end goes right behind the answer, and what the client sent is read
  // off without waiting, so the client reads a clean end even when its
  // request comes late.
  socket.ShutdownSending();
  socket.DiscardPending();
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if ((a[i] | 0x20) != (b[i] | 0x20)) return false;
  return true;
}

// The request's version token names HTTP/1.1 (the token runs on to the
// next space: "HTTP/1.1\r\nHost:").
bool SaysHttp11(const RequestTokens& tokens) {
  if (tokens.count < 3) return false;
  const std::string_view version = tokens.token[2];
  return version.substr(0, 8) == "HTTP/1.1" &&
         (version.size() == 8 || version[8] == '\r' || version[8] == '\n');
}

// An HTTP/1.1 head that lets its connection stay open: no "Connection:
// close", and no body that would have to be read past.
bool MayStayOpen(std::string_view head) {
  const std::string_view connection = HeaderValue(head, "Connection");
  if (EqualNoCase(connection, "close")) return false;
  const std::string_view length = HeaderValue(head, "Content-Length");
  if (!length.empty() && length != "0") return false;
  return HeaderValue(head, "Transfer-Encoding").empty();
}

// A Content-Length's value; npos when it is absent or not a number.
size_t ContentLength(std::string_view head) {
  const std::string_view value = HeaderValue(head, "Content-Length");
  if (value.empty() || value.size() > 12) return std::string_view::npos;
  size_t length = 0;
  for (char c : value) {
    if (c < '0' || c > '9') return std::string_view::npos;
    length = length * 10 + static_cast<size_t>(c - '0');
  }
  return length;
}

// Whether a Content-Type names SDP ("application/sdp", parameters aside).
bool IsSdp(std::string_view type) {
  return EqualNoCase(type.substr(0, std::min(type.find(';'), type.size())), "application/sdp");
}

// What a file request asks besides its path, from its head.
FileRequest ReadFileRequest(std::string_view head, bool headOnly) {
  FileRequest request;
  request.headOnly = headOnly;
  std::string_view value = HeaderValue(head, "If-Modified-Since");
  if (!value.empty() && !ParseHttpDate(value, request.ifModifiedSince))
    request.ifModifiedSince = -1;
  // A date still to come says nothing of the client's copy.
  if (request.ifModifiedSince > static_cast<int64_t>(std::time(nullptr)))
    request.ifModifiedSince = -1;
  request.range = HeaderValue(head, "Range");
  request.ifRange = HeaderValue(head, "If-Range");
  return request;
}

}  // namespace

ListenThread::ListenThread(ServerControl& control)
    : control_(control),
      files_(2, kFileJobsMost),
      verifications_(VerifiersMost(), kVerificationsWaiting),
      offers_(2, kOffersWaiting),
      endings_(1, kEndingsMost),
      thread_([this] { return Run(); }) {}

ListenThread::~ListenThread() {
  files_.Stop();
  verifications_.Stop();
  offers_.Stop();
  endings_.Stop();
}

bool ListenThread::Open() {
  const int port = port_ = control_.port.load();
  switch (listening_.Listen(port, kBacklog)) {
    case platform::kListening:
      return true;
    case platform::kBindNotPermitted: {
      char text[sizeof kPortNotPermittedMessage + 16];
      std::snprintf(text, sizeof text, kPortNotPermittedMessage, port);
      ShowListenerMessage(text);
      return false;
    }
    case platform::kListenFailed:
      ShowListenerMessage(kListenFailedMessage);
      return false;
    default:
      ShowListenerMessage(kPortInUseMessage);
      return false;
  }
}

int ListenThread::Run() {
  if (listening_.IsOpen() || Open()) {
    connectionsMost_ =
        static_cast<size_t>(std::max(platform::RaiseDescriptorLimit() - kSpareDescriptors, 16));
    for (const ServedCamera& camera : control_.cameras)
      cameras_.emplace_back().store = camera.store;
    tls_ = control_.tls;
    control_.loopWakeup.store(&wakeup_);
    if (poller_.IsOpen() && wakeup_.IsOpen() &&
        poller_.Add(listening_.Fd(), platform::Poller::kReadable, &listening_) &&
        poller_.Add(wakeup_.Fd(), platform::Poller::kReadable, &wakeup_))
      Serve();
  }
  control_.loopWakeup.store(nullptr);  // the object lives on until the listener goes
  Shutdown();
  listening_.Close();
  return 0;
}

void ListenThread::Serve() {
  std::array<platform::Poller::Event, 64> events;
  AcceptAll(platform::SteadyMillis());
  while (control_.stopRequested.load() != 1 && !listenerFailed_) {
    const int n = poller_.Wait(events.data(), static_cast<int>(events.size()),
                               Timeout(platform::SteadyMillis()));
    const int64_t now = platform::SteadyMillis();
    control_.CopyStreamUrl(streamUrl_);
    bool accept = acceptHeld_;
    for (int i = 0; i < n; ++i) {
      const auto& event = events[static_cast<size_t>(i)];
      if (event.tag == &listening_) {
        accept = true;
      } else if (event.tag == &wakeup_) {
        wakeup_.Clear();
      } else {
        OnEvent(*static_cast<Connection*>(event.tag), event.what, now);
      }
    }
    TakeDone(now);
    ServiceWatchers(now);
    FeedEncoders();
    if (now - lastSweep_ >= kStopCheckMs) Sweep(now);
    if (accept) AcceptAll(now);
    Reap();
  }
}

// Ends every connection at once: a stream's part in flight still goes out
// whole when the socket takes it, then each closes without waiting.
void ListenThread::Shutdown() {
  const int64_t now = platform::SteadyMillis();
  for (auto& [id, c] : connections_) {
    if (c->phase == Phase::kStream && c->out.InFlight()) c->stream.SendMore(c->link, c->out, now);
    if (c->phase != Phase::kClosed) Finish(*c);
  }
  for (Watched& camera : cameras_) {
    camera.store->SetWakeup(nullptr);
    camera.watchers.clear();
  }
  Reap();
  files_.Stop();
  verifications_.Stop();
  offers_.Stop();
  endings_.Stop();
  TakeDone(now);
  // The WebRTC viewers go with their encoders.
  sessions_.clear();
  for (Watched& camera : cameras_) {
    camera.sender.reset();
    camera.viewers = 0;
    camera.offers = 0;
    camera.store->SetWakeup(nullptr);
  }
  control_.connectedCount.store(0);
  control_.arrivingCount.store(0);
  control_.sessionThreads.store(0);
}

void ListenThread::AcceptAll(int64_t now) {
  acceptHeld_ = false;
  for (;;) {
    // At the descriptors' bound, the longest waiting arrival makes room.
    if (connections_.size() - closed_.size() >= connectionsMost_ && !CloseOldestArriving(nullptr)) {
      acceptHeld_ = true;
      return;
    }
    platform::Socket socket;
    switch (listening_.AcceptNonBlocking(socket)) {
      case platform::AcceptStatus::kAccepted:
        Admit(std::move(socket), now);
        break;
      case platform::AcceptStatus::kTryAgain:
        break;
      case platform::AcceptStatus::kNonePending:
        return;
      case platform::AcceptStatus::kOutOfDescriptors:
        if (CloseOldestArriving(nullptr)) break;
        acceptHeld_ = true;  // the connection waits in the backlog meanwhile
        return;
      case platform::AcceptStatus::kFailed:
        listenerFailed_ = true;
        return;
    }
  }
}

void ListenThread::Admit(platform::Socket socket, int64_t now) {
  // Who may watch is decided before a byte of the request is read. With
  // TLS on the port, the refusal waits for the client's first byte, to be
  // said in the language the client speaks.
  platform::IpAddress peer;
  const bool known = socket.PeerIp(peer);
  const bool allowed = known && control_.gate.MayConnect(peer);
  std::string address;
  if (!allowed && control_.logConnections.load() && socket.PeerAddress(address))
    control_.notices.LogWrite(AppendLog("Connection refused from: " + address));
  if (!allowed && (!tls_ || !known)) {
    Refuse(socket, kForbiddenResponse.Text());
    return;
  }
  auto c = std::make_unique<Connection>();
  c->id = nextId_++;
  c->peer = peer;
  c->since = now;
  c->refused = !allowed;
  c->sniffed = !tls_;
  if (allowed && control_.logConnections.load() && socket.PeerAddress(c->peerText))
    control_.notices.LogWrite(AppendLog("Connection received from: " + c->peerText));
  c->link.socket = std::move(socket);
  if (!poller_.Add(c->link.socket.Fd(), platform::Poller::kReadable | platform::Poller::kWritable,
                   c.get())) {
    Refuse(c->link.socket, kServiceUnavailableResponse.Text());
    LogClosed(*c);
    return;
  }
  Connection& added = *c;
  connections_.emplace(c->id, std::move(c));
  BecomeArriving(added, now);
}

void ListenThread::OnEvent(Connection& c, uint32_t what, int64_t now) {
  if (c.phase == Phase::kClosed) return;
  if (what & platform::Poller::kHangUp) {
    Finish(c);
    return;
  }
  if (c.phase == Phase::kHandshake) {
    Handshake(c, now);
    return;
  }
  if (what & platform::Poller::kReadable) {
    switch (c.phase) {
      case Phase::kRequest:
      case Phase::kKeptOpen:
        ReadRequest(c, now);
        break;
      case Phase::kStream:
      case Phase::kClosing:
        // A viewer has nothing more to say, and a closing connection only
        // waits for the client's end: what they send is read off.
        if (!ReadOff(c)) return;
        break;
      default:
        c.unread = true;  // read once the answer has gone
    }
  }
  if ((what & platform::Poller::kWritable) && c.out.InFlight()) {
    if (c.phase == Phase::kAnswer) {
      SendMore(c, now);
    } else if (c.phase == Phase::kStream && !c.stream.SendMore(c.link, c.out, now)) {
      Finish(c);
    }
  }
  // A TLS read may have waited for room to send (a session ticket).
  if ((what & platform::Poller::kWritable) && c.link.tls &&
      (c.phase == Phase::kRequest || c.phase == Phase::kKeptOpen))
    ReadRequest(c, now);
}

// The first byte tells TLS (a handshake record) from plain HTTP; false
// when the request is not to be read as plain HTTP now.
bool ListenThread::Sniff(Connection& c, int64_t now) {
  uint8_t first = 0;
  const platform::IoResult peeked = c.link.socket.Peek(&first, 1);
  if (peeked.status == platform::IoStatus::kWouldBlock) return false;
  c.sniffed = true;
  if (peeked.status == platform::IoStatus::kDone && first == platform::kTlsHandshakeByte) {
    c.link.tls = std::make_unique<platform::TlsSession>(*tls_, c.link.socket.Fd());
    c.phase = Phase::kHandshake;
    Handshake(c, now);
    return false;
  }
  if (c.refused) {
    Forbid(c, now);
    return false;
  }
  return true;
}

// The handshake's deadline is the request's: both within kIdleLimitMs of
// the accept.
void ListenThread::Handshake(Connection& c, int64_t now) {
  switch (c.link.tls->Handshake()) {
    case platform::IoStatus::kDone:
      c.phase = Phase::kRequest;
      if (c.refused) {
        Forbid(c, now);
      } else {
        ReadRequest(c, now);
      }
      return;
    case platform::IoStatus::kWouldBlock:
      return;
    default:
      Finish(c);  // not TLS after all, or nothing both sides speak
  }
}

void ListenThread::Forbid(Connection& c, int64_t now) {
  LeaveArriving(c);
  c.framing = {};
  c.afterAnswer = Phase::kClosing;
  Answer(c, kForbiddenResponse.Text(), now);
}

bool ListenThread::ReadOff(Connection& c) {
  char scratch[4096];
  platform::IoResult result;
  // Raw bytes: what a client sends now, TLS or not, is dropped unread.
  do result = c.link.socket.Read(scratch, sizeof scratch);
  while (result.status == platform::IoStatus::kDone);
  c.unread = false;
  if (result.status == platform::IoStatus::kWouldBlock) return true;
  Finish(c);  // the client's end, or a reset
  return false;
}

void ListenThread::ReadRequest(Connection& c, int64_t now) {
  if (!c.sniffed && !Sniff(c, now)) return;
  char scratch[kHeadBufferSize];
  c.unread = false;
  while (c.in.size() < c.readMost) {
    const platform::IoResult result =
        c.link.Read(scratch, std::min(kHeadBufferSize, c.readMost - c.in.size()));
    if (result.status == platform::IoStatus::kDone) {
      c.in.append(scratch, result.bytes);
      continue;
    }
    if (result.status == platform::IoStatus::kFailed) {
      Finish(c);
      return;
    }
    if (result.status == platform::IoStatus::kClosed) c.peerClosed = true;
    break;
  }
  if (c.in.size() >= c.readMost) c.unread = true;  // what lies beyond is not known
  if (c.phase == Phase::kKeptOpen) {
    if (c.in.empty()) {
      if (c.peerClosed) Finish(c);  // the client is done with it
      return;
    }
    c.phase = Phase::kRequest;
    c.since = now;
  }
  TryRequest(c, now, false);
}

void ListenThread::TryRequest(Connection& c, int64_t now, bool timeUp) {
  const std::string_view in(c.in);
  // The request line: up to its first LF, or its first 1024 bytes.
  const std::string_view line = in.substr(0, kRequestBufferSize);
  if (line.find('\n') == std::string_view::npos && line.size() < kRequestBufferSize) {
    if (timeUp || c.peerClosed) StartClosing(c, now);  // no request: no answer
    return;
  }
  const RequestTokens tokens = SplitRequest(line.data(), static_cast<int>(line.size()));
  c.route = RouteRequest(tokens, streamUrl_);
  const bool http11 = SaysHttp11(tokens);
  const size_t headEnd = HeadEnd(in);
  // The header lines matter to a file's answer, to the password and to
  // whether an HTTP/1.1 connection stays open; otherwise the request line
  // is answered at once. A stream, and a request the server can't do,
  // close their connection whatever the head says.
  const bool ends = c.route.answer == Answer::kStream || c.route.answer == Answer::kNone ||
                    c.route.answer == Answer::kNotImplemented;
  const bool offer = c.route.answer == Answer::kWhepOffer;
  const bool needHead =
      (http11 && !ends) || c.route.answer == Answer::kFile || offer || control_.gate.AsksPassword();
  const bool headIn =
      headEnd != std::string_view::npos || in.size() >= kHeadBufferSize || c.peerClosed || timeUp;
  if (needHead && !headIn) return;
  // An offer's body is waited for like its head; one too long, or without
  // its length, is answered without it.
  c.bodyLength = 0;
  if (offer && headEnd != std::string_view::npos) {
    const size_t length = ContentLength(in.substr(0, headEnd));
    if (length <= kOfferMost && in.size() < headEnd + length && !timeUp && !c.peerClosed) {
      c.readMost = headEnd + length;
      if (c.unread) ReadRequest(c, now);  // the head filled the buffer: more is there
      return;
    }
    if (length <= kOfferMost && in.size() >= headEnd + length) c.bodyLength = length;
  }
  LeaveArriving(c);
  c.headComplete = headEnd != std::string_view::npos;
  c.headLength = c.headComplete ? headEnd : in.size();
  const std::string_view head = in.substr(0, c.headLength);
  const bool stayOpen = http11 && !ends && headEnd != std::string_view::npos && MayStayOpen(head);
  c.framing = {http11, !stayOpen};
  c.afterAnswer = stayOpen ? Phase::kKeptOpen : Phase::kClosing;
  // While a password is asked, it crosses the network only over TLS: from
  // another computer, plain HTTP is sent there before it is asked for.
  if (tls_ && !c.link.tls && control_.gate.AsksPassword() && !c.peer.IsLoopback() &&
      c.route.answer != Answer::kNone) {
    std::string local;
    static_cast<void>(c.link.socket.LocalAddress(local));
    const std::string_view target = tokens.count > 1 ? tokens.token[1] : std::string_view();
    Answer(
        c,
        SecureRedirect(SecureLocation(HeaderValue(head, "Host"), local, port_, target), c.framing),
        now);
    return;
  }
  // Only now does the client take a place: one still sending its request
  // keeps no viewer out.
  c.place = Place::Take(control_);
  if (!c.place) {
    c.framing.close = true;
    c.afterAnswer = Phase::kClosing;
    Answer(c, ShortAnswer("503 Service Unavailable", "", c.framing).Text(), now);
    return;
  }
  if (c.route.answer == Answer::kFile) c.file = ReadFileRequest(head, c.route.headOnly);
  c.admitted = control_.gate.Generation();
  if (!control_.gate.AsksPassword()) {
    Respond(c, now);
    return;
  }
  PassGate(c, now);
}

// Lets a request through when the rules of who may watch do; answers 401
// (no password, or a wrong one) or 429 (an address locked out) otherwise.
// A header not verified before is verified by the pool.
void ListenThread::PassGate(Connection& c, int64_t now) {
  const std::string authorization(
      HeaderValue(std::string_view(c.in).substr(0, c.headLength), "Authorization"));
  const Gatekeeper::Verdict verdict = control_.gate.Screen(c.peer, authorization);
  if (verdict != Gatekeeper::Verdict::kVerify) {
    Settle(c, verdict, now);
    return;
  }
  const platform::IpAddress peer = c.peer;
  Submit(
      c, verifications_,
      [this, peer, authorization](Done& done) {
        done.verified = true;
        done.verdict = control_.gate.Verify(peer, authorization);
        if (done.verdict != Gatekeeper::Verdict::kPass)
          control_.notices.Guessing(control_.gate.Guessing());
      },
      now);
}

void ListenThread::Respond(Connection& c, int64_t now) {
  switch (c.route.answer) {
    case Answer::kNone:  // no answer: the connection closes
      c.place.Leave();
      StartClosing(c, now);
      return;
    case Answer::kNotImplemented:
      Answer(c, ShortAnswer("501 Not Implemented", "", c.framing).Text(), now);
      return;
    case Answer::kStream:
      if (cameras_.empty()) break;
      if (static_cast<size_t>(c.route.camera) >= cameras_.size()) return AnswerNoCamera(c, now);
      c.out.Reset().assign(kStreamHead.Text());
      if (!c.route.headOnly) {
        c.out.SetTail(kDelimiter);
        c.afterAnswer = Phase::kStream;
      }
      StartAnswer(c, now);
      return;
    case Answer::kSnapshot:
      if (cameras_.empty()) break;
      if (static_cast<size_t>(c.route.camera) >= cameras_.size()) return AnswerNoCamera(c, now);
      if (AnswerSnapshot(*cameras_[static_cast<size_t>(c.route.camera)].store, c.route.headOnly,
                         c.framing, c.out)) {
        StartAnswer(c, now);
      } else {
        // Before the camera's first picture: the next one will do.
        c.phase = Phase::kPicture;
        c.since = now;
        Watch(c);
      }
      return;
    case Answer::kState: {
      std::vector<WebRtcState> webrtc;
      for (const Watched& camera : cameras_)
        webrtc.push_back(
            {static_cast<int32_t>(camera.viewers), camera.sender && camera.sender->Encoding()});
      AnswerState(control_, streamUrl_, webrtc, c.route.headOnly, c.framing, c.out);
      StartAnswer(c, now);
      return;
    }
    case Answer::kFile:
      RespondWithFile(c, now);
      return;
    case Answer::kWhepOffer:
      if (cameras_.empty()) break;
      RespondToOffer(c, now);
      return;
    case Answer::kWhepEnd:
      RespondToEnd(c, now);
      return;
    case Answer::kMethodNotAllowed: {
      ResponseHead answer("405 Method Not Allowed", c.framing);
      Answer(c, answer.Field("Allow", c.route.allow).Field("Content-Length", 0).End().Text(), now);
      return;
    }
  }
  // A stream, a snapshot or an offer without a camera.
  AnswerStatus(c, "503 Service Unavailable", now);
}

// A short answer that ends the connection (what the client sent past it is
// not read).
void ListenThread::AnswerStatus(Connection& c, std::string_view status, int64_t now) {
  c.framing.close = true;
  c.afterAnswer = Phase::kClosing;
  Answer(c, ShortAnswer(status, "", c.framing).Text(), now);
}

// A camera number past the cameras served: 404, with www/404.html.
void ListenThread::AnswerNoCamera(Connection& c, int64_t now) {
  Submit(
      c, files_, [](Done& done) { done.page = OpenWebFile("www/404.html"); }, now);
}

void ListenThread::RespondWithFile(Connection& c, int64_t now) {
  if (!ResolvePath(c.route.path.c_str(), c.path)) {
    c.place.Leave();
    StartClosing(c, now);  // a rejected URL gets no answer
    return;
  }
  if (c.path == "www/") c.path = "www/index.html";
  WebFile known = cache_.Find(c.path);
  if (known.found) {
    AnswerFile(c.path, std::move(known), c.file, c.framing, c.out);
    StartAnswer(c, now);
    return;
  }
  Submit(
      c, files_,
      [path = c.path](Done& done) {
        done.file = OpenWebFile(path);
        if (!done.file.found) done.page = OpenWebFile("www/404.html");
      },
      now);
}

// Hands `work` for `c` to `pool`; its result comes back to TakeDone. A full
// pool, or one that can't have a thread, costs this request a 503.
void ListenThread::Submit(Connection& c, JobPool& pool, std::function<void(Done&)> work,
                          int64_t now) {
  c.phase = Phase::kJob;
  ++control_.sessionThreads;
  const JobPool::Submitted submitted = pool.Submit([this, id = c.id, work = std::move(work)] {
    Done done;
    done.id = id;
    work(done);
    Post(std::move(done));
  });
  if (&pool == &files_) control_.notices.ThreadCreate(submitted != JobPool::Submitted::kNoThread);
  if (submitted == JobPool::Submitted::kQueued) return;
  --control_.sessionThreads;
  c.framing.close = true;
  c.afterAnswer = Phase::kClosing;
  Answer(c, ShortAnswer("503 Service Unavailable", "", c.framing).Text(), now);
}

void ListenThread::Post(Done done) {
  {
    platform::MutexLock lock(doneLock_);
    done_.push_back(std::move(done));
  }
  wakeup_.Signal();
}

void ListenThread::TakeDone(int64_t now) {
  std::vector<Done> taken;
  {
    platform::MutexLock lock(doneLock_);
    taken.swap(done_);
  }
  for (Done& done : taken) {
    --control_.sessionThreads;
    if (done.answered) --cameras_[done.camera].offers;
    auto found = connections_.find(done.id);
    if (found == connections_.end() || found->second->phase != Phase::kJob) {
      // A viewer gone before its answer: its peer goes too.
      if (done.answer.peer != 0) {
        platform::H264Sender* sender = cameras_[done.camera].sender.get();
        static_cast<void>(
            endings_.Submit([sender, peer = done.answer.peer] { sender->RemovePeer(peer); }));
      }
      if (done.answered) WantPictures(done.camera);
      continue;
    }
    Connection& c = *found->second;
    if (done.answered) {
      TakeAnswer(c, done, now);
      continue;
    }
    if (!done.verified) {
      if (done.file.found) {
        cache_.Keep(c.path, done.file);
        AnswerFile(c.path, std::move(done.file), c.file, c.framing, c.out);
      } else {
        AnswerNotFound(std::move(done.page), c.file, c.framing, c.out);
      }
      StartAnswer(c, now);
      continue;
    }
    Settle(c, done.verdict, now);
  }
}

void ListenThread::Settle(Connection& c, Gatekeeper::Verdict verdict, int64_t now) {
  switch (verdict) {
    case Gatekeeper::Verdict::kPass:
      Respond(c, now);
      return;
    case Gatekeeper::Verdict::kLockedOut: {
      const std::string_view body = kTooManyBody;
      ResponseHead answer("429 Too Many Requests", c.framing);
      answer.Field("Retry-After", control_.gate.RetryAfterSeconds(c.peer))
          .Field("Content-Type", "text/html")
          .Field("Content-Length", static_cast<int64_t>(body.size()))
          .End()
          .Body(body);
      std::string peer;
      if (control_.logConnections.load() && c.link.socket.PeerAddress(peer))
        control_.notices.LogWrite(AppendLog("Too many wrong passwords from: " + peer));
      Answer(c, answer.Text(), now);
      return;
    }
    default:
      Answer(c, UnauthorizedAnswer(c.framing).Text(), now);
  }
}

void ListenThread::Answer(Connection& c, std::string_view bytes, int64_t now) {
  c.out.Reset().assign(bytes);
  StartAnswer(c, now);
}

void ListenThread::StartAnswer(Connection& c, int64_t now) {
  c.phase = Phase::kAnswer;
  c.since = now;
  SendMore(c, now);
}

void ListenThread::SendMore(Connection& c, int64_t now) {
  bool moved = false;
  switch (c.out.Send(c.link, moved)) {
    case Outgoing::Progress::kDone:
      Answered(c, now);
      break;
    case Outgoing::Progress::kWaiting:
      if (moved) c.since = now;
      break;
    case Outgoing::Progress::kFailed:
      Finish(c);
      break;
  }
}

void ListenThread::Answered(Connection& c, int64_t now) {
  if (c.afterAnswer == Phase::kStream) {
    c.phase = Phase::kStream;
    c.stream.Begin(now);
    Watch(c);
    return;
  }
  // The place is a viewer's again at once.
  c.place.Leave();
  if (c.afterAnswer != Phase::kKeptOpen) {
    CloseAfterAnswer(c, now);
    return;
  }
  // The next request may already be here, whole or in part.
  c.in.erase(0, c.headLength);
  c.headLength = 0;
  c.headComplete = false;
  c.phase = Phase::kKeptOpen;
  c.since = now;
  BecomeArriving(c, now);
  if (c.phase != Phase::kKeptOpen) return;  // closed to make room
  if (!c.in.empty()) {
    c.phase = Phase::kRequest;
    TryRequest(c, now, false);
  } else if (c.unread) {
    ReadRequest(c, now);
  } else if (c.peerClosed) {
    Finish(c);
  }
}

// A WebRTC offer for camera c.route.camera, its body checked: the camera's
// encoder answers it on the offers' pool.
void ListenThread::RespondToOffer(Connection& c, int64_t now) {
  const size_t index = static_cast<size_t>(c.route.camera);
  if (index >= cameras_.size()) return AnswerNoCamera(c, now);
  const std::string_view head = std::string_view(c.in).substr(0, c.headLength);
  const std::string_view body = std::string_view(c.in).substr(c.headLength, c.bodyLength);
  const int payloadType = IsSdp(HeaderValue(head, "Content-Type")) ? ChooseH264(body) : -1;
  if (payloadType < 0) return AnswerStatus(c, "400 Bad Request", now);
  Watched& camera = cameras_[index];
  if (!camera.sender) {
    const std::vector<CameraFacts> facts = control_.Cameras();
    const CameraFacts shape = index < facts.size() ? facts[index] : CameraFacts{};
    const double rate = camera.store->PictureRate(now);
    platform::H264Sender::Options options;
    options.kbps =
        H264Kbps(static_cast<uint32_t>(control_.h264Kbps.load()), shape.width, shape.height);
    options.fps = rate >= 1 ? static_cast<int>(rate + 0.5) : 30;
    options.profileLevelId = H264ProfileLevelId(shape.width, shape.height, options.fps);
    options.addresses = platform::InterfaceAddressTexts();
    camera.sender = std::make_unique<platform::H264Sender>(std::move(options));
  }
  ++camera.offers;
  WantPictures(index);
  Submit(
      c, offers_,
      [sender = camera.sender.get(), offer = std::string(body), payloadType, index](Done& done) {
        done.answered = true;
        done.camera = index;
        // GStreamer's first start reads its plugins: here, not on the loop.
        done.unavailable = !platform::H264Sender::Available();
        if (!done.unavailable) done.answer = sender->AddPeer(offer, payloadType);
      },
      now);
  if (c.phase == Phase::kJob) return;
  --camera.offers;  // refused: the pool is full
  WantPictures(index);
}

// The offer's answer: a session of its own, holding the request's place,
// at the address the answer names.
void ListenThread::TakeAnswer(Connection& c, Done& done, int64_t now) {
  WantPictures(done.camera);
  if (done.unavailable) return AnswerStatus(c, "503 Service Unavailable", now);
  if (done.answer.peer == 0) return AnswerStatus(c, "400 Bad Request", now);
  const std::string token = NewSessionToken();
  Watched& camera = cameras_[done.camera];
  WhepSession& session = sessions_[token];
  session.camera = done.camera;
  session.peer = done.answer.peer;
  session.from = c.peer;
  session.admitted = c.admitted;
  session.created = now;
  session.place = std::move(c.place);
  ++camera.viewers;
  camera.idleSince = 0;
  WantPictures(done.camera);
  ResponseHead head("201 Created", c.framing);
  head.Field("Content-Type", "application/sdp")
      .Field("Location", kWhepSessionPrefix + token)
      .Field("Content-Length", static_cast<int64_t>(done.answer.sdp.size()))
      .End();
  c.out.Reset().assign(head.Text()).append(done.answer.sdp);
  StartAnswer(c, now);
}

void ListenThread::RespondToEnd(Connection& c, int64_t now) {
  if (sessions_.find(c.route.path) == sessions_.end())
    return AnswerStatus(c, "404 File Not Found", now);
  EndSession(c.route.path, now);
  Answer(c, ShortAnswer("200 OK", "", c.framing).Text(), now);
}

// Lets a WebRTC viewer go: its place at once, its peer on the endings' pool.
void ListenThread::EndSession(const std::string& token, int64_t now) {
  auto found = sessions_.find(token);
  if (found == sessions_.end()) return;
  const size_t index = found->second.camera;
  Watched& camera = cameras_[index];
  static_cast<void>(endings_.Submit(
      [sender = camera.sender.get(), peer = found->second.peer] { sender->RemovePeer(peer); }));
  sessions_.erase(found);
  if (--camera.viewers == 0) camera.idleSince = now;
  WantPictures(index);
}

// Every kStopCheckMs: WebRTC viewers that never connected, or lost their
// connection, or that who may watch leaves out now, go; an encoder without
// viewers stops once it has waited kEncoderLingerMs for one.
void ListenThread::SweepSessions(int64_t now) {
  const uint64_t generation = control_.gate.Generation();
  std::vector<std::string> ending;
  for (auto& [token, session] : sessions_) {
    const platform::H264Sender::PeerStatus status =
        cameras_[session.camera].sender->StatusOf(session.peer);
    bool end = false;
    switch (status.state) {
      case platform::H264Sender::PeerState::kConnecting:
        end = now - session.created >= kWhepConnectMs;
        break;
      case platform::H264Sender::PeerState::kLost:
        end = now - status.sinceMs >= kWhepConnectMs;
        break;
      case platform::H264Sender::PeerState::kGone:
        end = true;
        break;
      case platform::H264Sender::PeerState::kConnected:
        break;
    }
    if (!end && session.admitted != generation) {
      end = !control_.gate.StillAllowed(session.from, session.admitted);
      session.admitted = generation;
    }
    if (end) ending.push_back(token);
  }
  for (const std::string& token : ending) EndSession(token, now);
  for (Watched& camera : cameras_) {
    if (!camera.sender || camera.viewers > 0 || camera.offers > 0 || camera.idleSince == 0 ||
        now - camera.idleSince < kEncoderLingerMs)
      continue;
    camera.idleSince = 0;
    static_cast<void>(endings_.Submit([sender = camera.sender.get()] { sender->StopIfIdle(); }));
  }
}

// The newest picture of each camera whose encoder has viewers (or offers
// being answered), once.
void ListenThread::FeedEncoders() {
  for (Watched& camera : cameras_) {
    if (!camera.sender || (camera.viewers == 0 && camera.offers == 0)) continue;
    const uint64_t published = camera.store->PublishedCount();
    if (published == camera.fed || !camera.sender->Encoding()) continue;
    const capture::FrameStore::Reader latest(*camera.store);
    camera.fed = latest.Published();
    if (latest.Length() < 1) continue;
    // The encoder holds the picture, without a copy, until it has decoded it.
    auto* held = new capture::FrameRef(latest.Image());
    camera.sender->Push(
        held->Data(), static_cast<size_t>(held->Length()),
        [](void* token) { delete static_cast<capture::FrameRef*>(token); }, held);
  }
}

// A camera's store wakes the loop at each picture while it has streams,
// waiting snapshots, or an encoder to feed.
void ListenThread::WantPictures(size_t index) {
  Watched& camera = cameras_[index];
  const bool wanted = !camera.watchers.empty() || camera.viewers > 0 || camera.offers > 0;
  camera.store->SetWakeup(wanted ? &wakeup_ : nullptr);
}

void ListenThread::Watch(Connection& c) {
  Watched& camera = cameras_[static_cast<size_t>(c.route.camera)];
  if (camera.watchers.empty()) camera.store->SetWakeup(&wakeup_);
  camera.watchers.push_back(&c);
}

// Streams and waiting snapshots, at every turn: a new picture, a resend due,
// a viewer that has taken its part.
void ListenThread::ServiceWatchers(int64_t now) {
  const uint64_t generation = control_.gate.Generation();
  for (Watched& camera : cameras_) {
    if (camera.watchers.empty()) continue;
    const capture::FrameStore::Reader latest(*camera.store);
    for (Connection* c : camera.watchers) {
      if (c->phase == Phase::kPicture) {
        if (AnswerSnapshot(*camera.store, c->route.headOnly, c->framing, c->out))
          StartAnswer(*c, now);
      } else if (c->phase == Phase::kStream) {
        // A change of who may watch that leaves this viewer out (a narrower
        // scope, a password set or changed) ends its stream.
        if (c->admitted != generation) {
          if (!control_.gate.StillAllowed(c->peer, c->admitted)) {
            StartClosing(*c, now);
            continue;
          }
          c->admitted = generation;
        }
        if (!c->stream.Service(latest, c->link, c->out, now)) StartClosing(*c, now);
      }
    }
  }
}

// The answer has gone: a client that has sent its whole head and nothing
// after it has nothing left to read off, and the close alone ends the
// connection cleanly after every byte is sent.
void ListenThread::CloseAfterAnswer(Connection& c, int64_t now) {
  const bool headAlone = c.headComplete && c.in.size() == c.headLength && !c.unread;
  if (headAlone) {
    Finish(c);
  } else {
    StartClosing(c, now);
  }
}

// The sending side is shut down, and what the client still sends is read
// off until it closes, for a clean end (Linux resets a connection closed
// with unread input, and drops what it had not sent yet).
void ListenThread::StartClosing(Connection& c, int64_t now) {
  LeaveArriving(c);
  LogClosed(c);
  c.place.Leave();
  c.out.Clear();
  if (c.peerClosed && !c.unread) {
    Finish(c);
    return;
  }
  c.link.ShutdownSending();
  c.phase = Phase::kClosing;
  c.since = now + kDrainMs;
  // What arrived before has raised no event of its own.
  if (c.unread) ReadOff(c);
}

void ListenThread::Finish(Connection& c) {
  if (c.phase == Phase::kClosed) return;
  LeaveArriving(c);
  LogClosed(c);
  c.place.Leave();
  c.out.Clear();
  poller_.Remove(c.link.socket.Fd());
  c.link.tls.reset();
  c.link.socket.DiscardPending();  // so that the close is not a reset
  c.link.socket.Close();
  c.phase = Phase::kClosed;
  closed_.push_back(c.id);
}

void ListenThread::LogClosed(Connection& c) {
  if (c.peerText.empty()) return;
  control_.notices.LogWrite(AppendLog("Connection closed: " + c.peerText));
  c.peerText.clear();
}

// Every kStopCheckMs: the time limits of requests, answers, waiting
// snapshots, kept-open connections and closing ones.
void ListenThread::Sweep(int64_t now) {
  lastSweep_ = now;
  SweepSessions(now);
  for (auto& [id, entry] : connections_) {
    Connection& c = *entry;
    switch (c.phase) {
      case Phase::kHandshake:
        if (now - c.since >= kIdleLimitMs) Finish(c);
        break;
      case Phase::kRequest:
        // What has come of the request in time is answered, if anything.
        if (now - c.since < kIdleLimitMs) break;
        if (c.refused) {
          Forbid(c, now);  // a client outside that never said a word
        } else {
          TryRequest(c, now, true);
        }
        break;
      case Phase::kKeptOpen:
        if (now - c.since >= kKeptOpenMs) StartClosing(c, now);
        break;
      case Phase::kAnswer:
        if (now - c.since >= kIdleLimitMs) Finish(c);
        break;
      case Phase::kPicture:
        if (now - c.since >= kIdleLimitMs) {
          c.framing.close = true;
          c.afterAnswer = Phase::kClosing;
          Answer(c, ShortAnswer("503 Service Unavailable", "", c.framing).Text(), now);
        }
        break;
      case Phase::kClosing:
        if (now >= c.since) Finish(c);
        break;
      default:
        break;
    }
  }
}

// Connections leave only here, never while events may still name them.
void ListenThread::Reap() {
  for (Watched& camera : cameras_) {
    if (camera.watchers.empty()) continue;
    std::erase_if(camera.watchers, [](const Connection* c) {
      return c->phase != Phase::kStream && c->phase != Phase::kPicture;
    });
  }
  for (size_t i = 0; i < cameras_.size(); ++i) WantPictures(i);
  for (uint64_t id : closed_) connections_.erase(id);
  closed_.clear();
}

// How long the loop may sleep: until the next resend is due, and never so
// long that a stop or a time limit goes unseen.
int ListenThread::Timeout(int64_t now) const {
  if (connections_.empty() && !acceptHeld_) return kIdleWaitMs;
  int64_t wait = kStopCheckMs - std::min<int64_t>(now - lastSweep_, kStopCheckMs);
  for (const Watched& camera : cameras_)
    for (const Connection* c : camera.watchers) {
      if (c->phase == Phase::kStream && !c->out.InFlight())
        wait = std::min(wait, c->stream.ResendAt() - now);
    }
  return static_cast<int>(std::max<int64_t>(wait, 0));
}

void ListenThread::BecomeArriving(Connection& c, int64_t now) {
  static_cast<void>(now);
  if (c.arriving) return;
  const AddressKey key = KeyOf(c.peer);
  if (arrivingFrom_[key] >= kArrivingPerAddress) CloseOldestArriving(&key);
  c.arrivingAt = arriving_.insert(arriving_.end(), &c);
  c.arriving = true;
  ++arrivingFrom_[key];
  ++control_.arrivingCount;
}

void ListenThread::LeaveArriving(Connection& c) {
  if (!c.arriving) return;
  arriving_.erase(c.arrivingAt);
  c.arriving = false;
  auto from = arrivingFrom_.find(KeyOf(c.peer));
  if (from != arrivingFrom_.end() && --from->second == 0) arrivingFrom_.erase(from);
  --control_.arrivingCount;
}

// Closes the connection that has waited longest without a whole request
// (from `from` alone, when given); false when there is none.
bool ListenThread::CloseOldestArriving(const AddressKey* from) {
  for (Connection* c : arriving_) {
    if (from && KeyOf(c->peer) != *from) continue;
    Finish(*c);
    return true;
  }
  return false;
}

ListenThread::AddressKey ListenThread::KeyOf(const platform::IpAddress& peer) {
  AddressKey key = peer.bytes;
  // An IPv6 address counts as its /64: one host holds a whole one.
  if (!peer.IsV4()) std::fill(key.begin() + 8, key.end(), 0);
  return key;
}

}  // namespace server
