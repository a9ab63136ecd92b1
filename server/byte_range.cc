#include "server/byte_range.h"

#include <strings.h>

#include <algorithm>
#include <limits>

namespace server {

namespace {

// A run of decimal digits as a number; false for none, or one too large.
bool ReadNumber(std::string_view text, int64_t& number) {
  if (text.empty() || text.size() > 18) return false;
  number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  return true;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

ByteRange ReadByteRange(std::string_view value, int64_t size) {
  ByteRange whole;
  constexpr std::string_view kUnit = "bytes=";
  value = Trimmed(value);
  if (value.size() <= kUnit.size() || ::strncasecmp(value.data(), kUnit.data(), kUnit.size()) != 0)
    return whole;
  const std::string_view asked = Trimmed(value.substr(kUnit.size()));
  const size_t dash = asked.find('-');
  // Several ranges (one part each, multipart/byteranges) are answered whole.
  if (dash == std::string_view::npos || asked.find(',') != std::string_view::npos) return whole;
  const std::string_view from = Trimmed(asked.substr(0, dash)),
                         to = Trimmed(asked.substr(dash + 1));
  int64_t first = 0, last = 0;
  if (from.empty()) {  // the last N bytes
    if (!ReadNumber(to, last)) return whole;
    if (last == 0 || size == 0) return {ByteRange::Kind::kUnsatisfiable};
    return {ByteRange::Kind::kPart, std::max<int64_t>(0, size - last), size - 1};
  }
  if (!ReadNumber(from, first)) return whole;
  if (to.empty()) {
    last = std::numeric_limits<int64_t>::max();
  } else if (!ReadNumber(to, last) || last < first) {
    return whole;
  }
  if (first >= size) return {ByteRange::Kind::kUnsatisfiable};
  return {ByteRange::Kind::kPart, first, std::min(last, size - 1)};
}

}  // namespace server
