#pragma once

namespace server {

// The server's fixed answers, each a whole response.
constexpr char kNotImplementedResponse[] = "HTTP/1.0 501 Not Implemented\r\n\r\n";
constexpr char kServiceUnavailableResponse[] = "HTTP/1.0 503 Service Unavailable\r\n\r\n";

}  // namespace server
