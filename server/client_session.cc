#include "server/client_session.h"

#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/message_box.h"
#include "server/connection_log.h"
#include "server/mjpeg_stream.h"
#include "server/send_all.h"
#include "server/static_files.h"

namespace {

constexpr char kNotImplemented[] = "HTTP/1.0 501 Not Implemented\r\n\r\n";

bool HasLineEnd(const char* data, int n) { return ::memmem(data, n, "\r\n", 2) != nullptr; }

constexpr int kDrainMs = 2000;  // how long a closing session reads off what the client sends

// Logs `message` and the peer's address when logging is on and the address
// is known: asked for again, or else the one learned before (a client that
// reset its connection has no peer any more). A failed write is shown, and
// the session goes on afterwards.
void LogPeer(const ClientTicket& ticket, const char* message, std::string& peer) {
  if (!ticket.logConnections) return;
  std::string now;
  if (ticket.socket.PeerAddress(now)) peer = now;
  if (peer.empty()) return;
  if (!AppendLog(message + peer))
    platform::ShowMessageBox("Error writing to log file!", {},
                             platform::kMbOk | platform::kMbIconExclamation);
}

}  // namespace

int ReadRequest(platform::Socket& connection, char* buffer) {
  int n = 0;
  int64_t mark = platform::SteadyMillis();
  for (;;) {
    int64_t idle = platform::SteadyMillis() - mark;
    if (std::llabs(idle / 1000) > kIdleLimitSeconds) return -1;
    // Sleep in poll until data arrives or the idle limit would trip.
    int ready = connection.WaitReadable(static_cast<int>((kIdleLimitSeconds + 1) * 1000 - idle));
    if (ready < 0) return -1;
    if (ready == 0) continue;
    int waiting = connection.BytesAvailable();
    if (waiting < 0) return -1;
    // Nothing waiting on a readable socket: the receive tells a close apart.
    size_t want = waiting > 0 ? std::min(waiting, kRequestBufferSize - n) : kRequestBufferSize - n;
    long k = connection.Receive(buffer + n, want);
    if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
    if (k <= 0) return -1;
    mark = platform::SteadyMillis();
    n += static_cast<int>(k);
    if (HasLineEnd(buffer, n) || n >= kRequestBufferSize) return n;
  }
}

RequestTokens SplitRequest(const char* data, int length) {
  RequestTokens result;
  std::string_view text(data, ::strnlen(data, static_cast<size_t>(length)));
  size_t pos = 0;
  while (result.count < 3) {
    pos = text.find_first_not_of(' ', pos);
    if (pos == std::string_view::npos) break;
    size_t end = text.find(' ', pos);
    if (end == std::string_view::npos) end = text.size();
    result.token[result.count++] = text.substr(pos, end - pos);
    pos = end;
  }
  return result;
}

void RunSession(ClientTicket& ticket) {
  platform::Socket& connection = ticket.socket;
  if (connection.SetNonBlocking()) {
    std::string peer;
    LogPeer(ticket, "Connection received from: ", peer);
    char request[kRequestBufferSize];
    int n = ReadRequest(connection, request);
    RequestTokens tokens = n > 0 ? SplitRequest(request, n) : RequestTokens{};
    if (tokens.count >= 1) {
      std::string method(tokens.token[0]);
      if (::strcasecmp(method.c_str(), "get") != 0) {
        SendAll(kNotImplemented, sizeof kNotImplemented - 1, connection);
      } else if (tokens.count == 3) {
        std::string url(tokens.token[1]);
        if (::strcasecmp(url.c_str(), ticket.streamUrl) == 0) {
          std::vector<char> partBuffer;
          ServeStream(connection, ticket, partBuffer);
        } else {
          ServeStaticFile(url.c_str(), connection);
        }
      }
    }
    LogPeer(ticket, "Connection closed: ", peer);
  }
  connection.CloseGracefully(kDrainMs, [&] { return ticket.stopFlag->load() == 1; });
  ticket.reapFlag->store(1);
}
