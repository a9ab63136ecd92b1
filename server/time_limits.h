#pragma once

#include <cstdint>

namespace server {

// A connection that makes no progress for this long is given up: no send
// goes forward, no request arrives, no picture comes for a stream or a
// snapshot.
constexpr int64_t kIdleLimitMs = 6000;
// How soon a stop is seen while connections wait.
constexpr int kStopCheckMs = 100;

}  // namespace server
