#include "server/mjpeg_stream.h"

#include "server/send_all.h"
#include "server/stream_sender.h"

namespace server {

bool ServeStream(ClientTicket& ticket, bool headOnly, const std::string& peer) {
  platform::Socket& connection = ticket.socket;
  const auto* stop = ticket.stopFlag;
  if (SendAll(kStreamHead.Data(), kStreamHead.Size(), connection, stop) != SendResult::kSent ||
      headOnly)
    return false;
  if (SendAll(kDelimiter, sizeof kDelimiter - 1, connection, stop) != SendResult::kSent ||
      !ticket.streams)
    return false;
  StreamViewer viewer{.socket = std::move(connection),
                      .peer = ticket.peer,
                      .admitted = ticket.admitted,
                      .logConnections = ticket.logConnections != 0,
                      .peerText = peer};
  if (ticket.streams->Adopt(viewer)) return true;
  connection = std::move(viewer.socket);
  return false;
}

}  // namespace server
