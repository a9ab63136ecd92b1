#pragma once

#include <cstdint>
#include <string>

// The persisted settings, each named after its registry value. Owned by the
// main window (or the headless server) and used on its thread only.
struct ServerSettings {
  int32_t connections = 0;    // 1: log connections
  uint32_t driver = 0;        // capture driver index
  uint32_t compression = 35;  // JPEG quality
  uint32_t maxclients = 5;
  uint32_t portnum = 80;
  std::string camurl = "/video";
};
