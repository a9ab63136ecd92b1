#pragma once

#include <vector>

#include "platform/socket.h"
#include "server/response_head.h"
#include "server/server_control.h"

namespace server {

// The boundary the head declares; every delimiter line on the wire is
// "--Owlglance\r\n", as RFC 2046 has it.
inline constexpr ResponseHead kStreamHead =
    ResponseHead("200 OK")
        .Field("Content-type", "multipart/x-mixed-replace;boundary=Owlglance")
        .End();
constexpr char kDelimiter[] = "--Owlglance\r\n";

// Answers the stream URL with the endless motion-JPEG response, one part per
// new camera image (the current one again after a second without a new
// one), until the server stops, no image at all has come for six seconds or
// the client stops taking data; for HEAD, the head alone. A slow viewer
// gets the newest image whenever it can take one. `partBuffer` is the
// session's, reused from part to part.
void ServeStream(platform::Socket& connection, ClientTicket& ticket, bool headOnly,
                 std::vector<char>& partBuffer);

}  // namespace server
