#pragma once

#include <cstdint>
#include <string_view>

namespace server {

// What a request's Range header asks of a file of a given size.
struct ByteRange {
  enum class Kind {
    kWhole,          // no Range, several ranges, or one it can't read: 200 and every byte
    kPart,           // one satisfiable range: 206 with bytes first to last
    kUnsatisfiable,  // one range that starts past the end: 416
  };
  Kind kind = Kind::kWhole;
  int64_t first = 0, last = 0;  // kPart: inclusive, within the file
};

// Reads `value` ("bytes=A-B", "bytes=A-" or "bytes=-N"; empty when the
// request has no Range) against a file of `size` bytes.
ByteRange ReadByteRange(std::string_view value, int64_t size);

}  // namespace server
