#include "tests/support/stream_parser.h"

#include <cstdlib>

#include "server/mjpeg_stream.h"

ParsedStream ParseStream(const std::string& bytes) {
  ParsedStream result;
  std::string start = std::string(server::kStreamHead.Text()) + server::kDelimiter;
  if (bytes.compare(0, start.size(), start) != 0) return result;
  result.headOk = true;
  size_t pos = start.size();
  const std::string type = "Content-Type: image/jpeg\r\nContent-Length: ";
  while (pos < bytes.size()) {
    if (bytes.compare(pos, type.size(), type) != 0) return result;
    size_t numberEnd = bytes.find("\r\n\r\n", pos);
    if (numberEnd == std::string::npos) return result;
    size_t length = std::strtoul(bytes.c_str() + pos + type.size(), nullptr, 10);
    size_t image = numberEnd + 4;
    std::string end = std::string("\r\n") + server::kDelimiter;
    if (bytes.size() < image + length + end.size() ||
        bytes.compare(image + length, end.size(), end) != 0)
      return result;
    result.images.push_back(bytes.substr(image, length));
    pos = image + length + end.size();
  }
  result.whole = true;
  return result;
}
