#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <string>

#include "platform/ip_address.h"
#include "server/link.h"
#include "server/mjpeg_stream.h"
#include "server/outgoing.h"
#include "server/request_route.h"
#include "server/response_head.h"
#include "server/server_control.h"
#include "server/static_files.h"
#include "server/time_limits.h"

namespace server {

// How long an HTTP/1.1 connection stays open, idle, for its next request.
constexpr int64_t kKeptOpenMs = 15000;
// The request line is what has arrived by its first LF, or its first 1024
// bytes; the head, with its header lines, at most 8192 bytes.
constexpr size_t kRequestBufferSize = 1024;
constexpr size_t kHeadBufferSize = 8192;

// One of the clientLimit places, held by a request from its arrival to the
// end of its answer (a stream's, to its end) and given back by the
// destructor. Used by the event loop's thread.
class Place {
 public:
  Place() = default;
  // A place of `control`'s, or an empty token when all are taken.
  static Place Take(ServerControl& control);
  Place(Place&& other) noexcept : control_(other.control_) { other.control_ = nullptr; }
  Place& operator=(Place&& other) noexcept;
  ~Place() { Leave(); }
  explicit operator bool() const { return control_ != nullptr; }
  void Leave();

 private:
  explicit Place(ServerControl* control) : control_(control) {}
  ServerControl* control_ = nullptr;
};

// Where a connection is in its life.
enum class Phase {
  kHandshake,  // a TLS handshake under way: counted among the arriving
  kRequest,    // a request arriving: counted among the arriving
  kKeptOpen,   // answered, waiting for its next request (HTTP/1.1): arriving too
  kJob,        // a file being opened or a password verified by a pool
  kPicture,    // a snapshot waiting for the camera's next picture
  kAnswer,     // its answer going out
  kStream,     // streaming
  kClosing,    // its sending side shut, reading off what the client still sends
  kClosed,     // gone; leaves the loop at the end of its turn
};

// One client connection from accept to close: its socket, its place, what
// it asked and what goes out to it. Owned and used by the event loop's
// thread.
struct Connection {
  uint64_t id = 0;
  Link link;
  platform::IpAddress peer;
  std::string peerText;  // as logged at accept; empty when not logged
  Phase phase = Phase::kRequest;
  int64_t since = 0;        // when the phase's clock started
  bool unread = false;      // the client sent more than has been read
  bool peerClosed = false;  // the client has ended its sending side
  bool sniffed = false;     // plain HTTP or TLS: known from the first byte
  bool refused = false;     // outside who may watch: answered 403 whatever it asks

  // The request being answered.
  std::string in;  // received and not yet answered; at most readMost
  Route route;
  Framing framing;
  size_t headLength = 0;              // the request's head as answered
  size_t bodyLength = 0;              // and its body, behind it (a WebRTC offer)
  size_t readMost = kHeadBufferSize;  // what may wait in `in`: more while a body comes
  bool headComplete = false;          // it ended with its empty line
  FileRequest file;
  std::string path;       // the file asked for, below www/
  uint64_t admitted = 0;  // the rules' generation the request passed under
  Place place;

  Outgoing out;
  Phase afterAnswer = Phase::kClosing;  // kStream, kKeptOpen or kClosing
  MjpegStream stream;

  // Its entry among the arriving, oldest first, while it is one.
  bool arriving = false;
  std::list<Connection*>::iterator arrivingAt;
};

}  // namespace server
