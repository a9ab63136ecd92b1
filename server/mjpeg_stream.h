#pragma once

#include <string>

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

// Answers the stream URL: the head of the endless motion-JPEG response and
// its first delimiter, and then the connection goes to the stream sender,
// which sends one part per new camera image. For HEAD, the head alone. True
// when the sender has taken the connection over (and with it the client's
// place and its "Connection closed" line); `peer` is the address the
// session logged.
bool ServeStream(ClientTicket& ticket, bool headOnly, const std::string& peer);

}  // namespace server
