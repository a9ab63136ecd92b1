#include "server/client_session.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "server/connection_log.h"
#include "server/http_date.h"
#include "server/mjpeg_stream.h"
#include "server/request_route.h"
#include "server/response_head.h"
#include "server/send_all.h"
#include "server/snapshot.h"
#include "server/state_page.h"
#include "server/static_files.h"

namespace server {

namespace {

constexpr int kDrainMs = 2000;  // how long a closing session reads off what the client sends

// The request line has ended (CR LF, or a bare LF as some clients send).
bool LineComplete(std::string_view text) { return text.find('\n') != std::string_view::npos; }
bool HeadComplete(std::string_view text) { return HeadEnd(text) != std::string_view::npos; }

// Logs `message` and the peer's address when logging is on.
void LogPeer(const ClientTicket& ticket, const char* message, std::string& peer) {
  if (ticket.logConnections) LogPeer(ticket.socket, message, peer, ticket.notices);
}

// Receives behind the `n` bytes in `buffer` until `ended` says they are
// enough or `capacity` bytes are in. False when that has not happened within 6
// seconds of `start`, on a receive error, the peer closing, or `stop`.
bool ReceiveUntil(platform::Socket& connection, char* buffer, int& n, int capacity,
                  bool (*ended)(std::string_view), int64_t start,
                  const std::atomic<int32_t>* stop) {
  while (!ended(std::string_view(buffer, static_cast<size_t>(n))) && n < capacity) {
    // What has arrived is taken at once; only an empty socket is waited on.
    long k = connection.Receive(buffer + n, static_cast<size_t>(capacity - n));
    if (k > 0) {
      n += static_cast<int>(k);
      continue;
    }
    if (k == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) return false;
    int64_t left = kIdleLimitMs - (platform::SteadyMillis() - start);
    if (left <= 0 || (stop && stop->load() == 1)) return false;
    if (connection.WaitReadable(static_cast<int>(std::min<int64_t>(left, kStopCheckMs))) < 0)
      return false;
  }
  return true;
}

// What a file request asks besides its path, from the rest of its head:
// the date of the client's copy (If-Modified-Since; -1 without one) and the
// range it wants. Reads the rest of the head for it, within the request's
// time: a head split over several packets still counts. `headAlone` tells
// whether the head has ended and nothing came after it.
FileRequest ReadFileRequest(platform::Socket& connection, char* head, int n, int64_t start,
                            const ClientTicket& ticket, bool headOnly, bool& headAlone) {
  ReceiveUntil(connection, head, n, kHeadBufferSize, HeadComplete, start, ticket.stopFlag);
  const std::string_view text(head, static_cast<size_t>(n));
  headAlone = HeadEnd(text) == text.size();
  FileRequest request;
  request.headOnly = headOnly;
  request.stop = ticket.stopFlag;
  std::string_view value = HeaderValue(text, "If-Modified-Since");
  if (!value.empty() && !ParseHttpDate(value, request.ifModifiedSince))
    request.ifModifiedSince = -1;
  // A date still to come says nothing of the client's copy.
  if (request.ifModifiedSince > static_cast<int64_t>(std::time(nullptr)))
    request.ifModifiedSince = -1;
  request.range = HeaderValue(text, "Range");
  request.ifRange = HeaderValue(text, "If-Range");
  return request;
}

// Lets a request through when the rules of who may watch do; answers 401
// (no password, or a wrong one) or 429 (an address locked out) otherwise.
// Reads the rest of the head for the password, into `head` behind its `n`
// bytes.
bool PassesGate(ClientTicket& ticket, char* head, int& n, int64_t start) {
  if (!ticket.gate) return true;
  ticket.admitted = ticket.gate->Generation();
  if (!ticket.gate->AsksPassword()) return true;
  platform::Socket& connection = ticket.socket;
  ReceiveUntil(connection, head, n, kHeadBufferSize, HeadComplete, start, ticket.stopFlag);
  const std::string_view authorization =
      HeaderValue(std::string_view(head, static_cast<size_t>(n)), "Authorization");
  switch (ticket.gate->Check(ticket.peer, authorization)) {
    case Gatekeeper::Verdict::kPass:
      return true;
    case Gatekeeper::Verdict::kAskPassword:
      SendLast(kUnauthorizedResponse.Data(), kUnauthorizedResponse.Size(), connection,
               ticket.stopFlag);
      return false;
    case Gatekeeper::Verdict::kLockedOut: {
      ResponseHead answer("429 Too Many Requests");
      answer.Field("Retry-After", ticket.gate->RetryAfterSeconds(ticket.peer))
          .Field("Content-Type", "text/html")
          .Field("Content-Length", static_cast<int64_t>(kTooManyBody.size()))
          .End()
          .Body(kTooManyBody);
      SendLast(answer.Data(), answer.Size(), connection, ticket.stopFlag);
      std::string peer;
      if (ticket.logConnections && connection.PeerAddress(peer) && ticket.notices)
        ticket.notices->LogWrite(AppendLog("Too many wrong passwords from: " + peer));
      return false;
    }
  }
  return false;
}

// How a request was answered.
enum class Answered {
  kWithMoreToRead,  // the client may have sent more than its head
  kHeadAlone,       // the client has sent its whole head and nothing after it
  kHandedOver,      // a stream, now the sender's
};

// Answers a request whose first `n` bytes are in `request`.
Answered AnswerRequest(ClientTicket& ticket, char* request, int n, int64_t start,
                       const std::string& peer) {
  bool headAlone = false;
  platform::Socket& connection = ticket.socket;
  const Route route = RouteRequest(SplitRequest(request, n), ticket.streamUrl);
  std::vector<char> buffer;  // the snapshot's
  switch (route.answer) {
    case Answer::kNone:
      break;
    case Answer::kNotImplemented:
      SendLast(kNotImplementedResponse.Data(), kNotImplementedResponse.Size(), connection,
               ticket.stopFlag);
      break;
    case Answer::kStream:
      if (ServeStream(ticket, route.headOnly, peer)) return Answered::kHandedOver;
      break;
    case Answer::kSnapshot:
      ServeSnapshot(connection, ticket, route.headOnly, buffer);
      break;
    case Answer::kState:
      ServeState(connection, ticket, route.headOnly);
      break;
    case Answer::kFile: {
      const FileRequest file =
          ReadFileRequest(connection, request, n, start, ticket, route.headOnly, headAlone);
      ServeStaticFile(route.path.c_str(), file, connection);
      break;
    }
  }
  return headAlone ? Answered::kHeadAlone : Answered::kWithMoreToRead;
}

}  // namespace

void RunSession(ClientTicket& ticket) {
  platform::Socket& connection = ticket.socket;
  Answered answered = Answered::kWithMoreToRead;
  bool placed = false;
  if (connection.SetNonBlocking()) {
    std::string peer;
    LogPeer(ticket, "Connection received from: ", peer);
    // The request: until its first CR LF, or 1024 bytes, within 6 s.
    const int64_t start = platform::SteadyMillis();
    char request[kHeadBufferSize];
    int n = 0;
    const bool received = ReceiveUntil(connection, request, n, kRequestBufferSize, LineComplete,
                                       start, ticket.stopFlag);
    // Only now does the client take a place, and leaves the connections
    // that hold none: one still sending its request keeps no viewer out.
    placed = received && ticket.places && ticket.places->TakePlace();
    if (placed) ticket.places->arrivingCount.fetch_sub(1);
    if (received && ticket.places && !placed) {
      SendLast(kServiceUnavailableResponse.Data(), kServiceUnavailableResponse.Size(), connection,
               ticket.stopFlag);
    } else if (received && PassesGate(ticket, request, n, start)) {
      answered = AnswerRequest(ticket, request, n, start, peer);
    }
    if (answered == Answered::kHandedOver) {
      ticket.reapFlag->store(1);
      return;
    }
    LogPeer(ticket, "Connection closed: ", peer);
  }
  // Answered: the place is a viewer's again at once; the close that
  // follows counts among the connections that hold none.
  if (placed) {
    ticket.places->arrivingCount.fetch_add(1);
    ticket.places->LeavePlace();
  }
  // A client that has sent its whole head has nothing left to read off:
  // the close alone ends the connection cleanly, after every byte is sent.
  if (answered == Answered::kHeadAlone) {
    connection.Close();
  } else {
    connection.CloseGracefully(kDrainMs, [&] { return ticket.stopFlag->load() == 1; });
  }
  if (ticket.places) ticket.places->arrivingCount.fetch_sub(1);
  ticket.reapFlag->store(1);
}

}  // namespace server
