#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace server {

// An HTTP date in the RFC 1123 form, "Sun, 06 Nov 1994 08:49:37 GMT", for
// `seconds` since 1970 (UTC). Locale-free.
std::string FormatHttpDate(int64_t seconds);

// Reads an HTTP date in any of the three forms HTTP/1.0 names (RFC 1123,
// RFC 850, asctime). False when `text` is none of them.
bool ParseHttpDate(std::string_view text, int64_t& seconds);

}  // namespace server
