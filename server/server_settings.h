#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The persisted settings, each named after its registry value. Owned by the
// main window (or the headless server) and used on its thread only.
struct ServerSettings {
  int32_t connections = 0;    // 1: log connections
  uint32_t driver = 0;        // capture driver index
  uint32_t compression = 35;  // JPEG quality
  uint32_t maxclients = 5;
  uint32_t portnum = 80;
  std::string camurl = "/video";
  uint32_t passthrough = 1;  // 1: a Motion-JPEG camera's own images go out as they come
};

// A stream path a request can name: 1 to 64 bytes, none of them a space or
// a control character (a request line is split at spaces).
inline bool IsStreamPath(std::string_view url) {
  if (url.empty() || url.size() > 64) return false;
  for (char c : url)
    if (static_cast<unsigned char>(c) < 0x21) return false;
  return true;
}

// The caption of Setup's and the wizard's messages about a value.
constexpr char kInvalidParameter[] = "Invalid Parameter";

// The ports Setup and the wizard accept, and what they say otherwise.
constexpr char kPortRangeMessage[] = "Port number must be between 1 and 65000!";
inline bool IsPortInRange(uint32_t port) { return port >= 1 && port <= 65000; }
