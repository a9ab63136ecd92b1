#pragma once

#include <string>
#include <string_view>

#include "server/response_head.h"

namespace server {

// Where a plain-HTTP request goes when a password may cross the network
// only over TLS: "https://", the host the client named in its Host header
// (else `localAddress`, the address it reached), the server's `port` (the
// same for both), and the request's own target.
std::string SecureLocation(std::string_view hostHeader, std::string_view localAddress, int port,
                           std::string_view target);

// The whole answer that sends the client there: 308, so that any method
// is asked again as it was.
std::string SecureRedirect(std::string_view location, Framing framing);

}  // namespace server
