#include "platform/atoi.h"

#include <algorithm>
#include <limits>

namespace platform {

int32_t Atoi(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // Counted past the int's range, a number stays at its end instead of
  // wrapping round to a small one.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = std::min(value * 10 + (text[i] - '0'), kLimit);
  if (negative) return static_cast<int32_t>(std::max(-value, -kLimit));
  return static_cast<int32_t>(std::min(value, kLimit - 1));
}

}  // namespace platform
