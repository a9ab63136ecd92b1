#include "server/secure_redirect.h"

#include <algorithm>

namespace server {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsNameChar(char c) {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-';
}

// A Host header as a Location may repeat it: a name or an IPv4 address, or
// an IPv6 address in brackets, with or without ":port". Its port, when
// there is one, is at `*portAt`; npos otherwise.
bool IsHost(std::string_view host, size_t* portAt) {
  size_t end = 0;
  if (!host.empty() && host[0] == '[') {
    end = host.find(']');
    if (end == std::string_view::npos || end < 3) return false;
    const std::string_view inside = host.substr(1, end - 1);
    if (!std::all_of(inside.begin(), inside.end(), [](char c) {
          return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == ':' ||
                 c == '.';
        }))
      return false;
    ++end;
  } else {
    end = std::min(host.find(':'), host.size());
    if (end == 0 || !std::all_of(host.begin(), host.begin() + static_cast<long>(end), IsNameChar))
      return false;
  }
  *portAt = std::string_view::npos;
  if (end == host.size()) return true;
  const std::string_view port = host.substr(end + 1);
  if (host[end] != ':' || port.empty() || port.size() > 5 ||
      !std::all_of(port.begin(), port.end(), IsDigit))
    return false;
  *portAt = end;
  return true;
}

}  // namespace

std::string SecureLocation(std::string_view hostHeader, std::string_view localAddress, int port,
                           std::string_view target) {
  std::string location = "https://";
  size_t portAt = std::string_view::npos;
  if (IsHost(hostHeader, &portAt)) {
    // The port the client reached is this one whatever it wrote.
    location.append(hostHeader.substr(0, portAt));
  } else if (localAddress.find(':') != std::string_view::npos) {
    location.append("[").append(localAddress).append("]");
  } else {
    location.append(localAddress);
  }
  location.append(":").append(std::to_string(port));
  // An absolute-form target ("http://host/path") keeps its path alone.
  if (target.substr(0, 7) == "http://") {
    const size_t path = target.find('/', 7);
    target = path == std::string_view::npos ? std::string_view() : target.substr(path);
  }
  if (target.empty() || target[0] != '/') target = "/";
  for (char c : target)
    if (static_cast<unsigned char>(c) > 0x20 && c != 0x7f) location += c;
  return location;
}

std::string SecureRedirect(std::string_view location, Framing framing) {
  ResponseHead head("308 Permanent Redirect", framing);
  head.Field("Content-Length", int64_t{0});
  std::string answer(head.Text());
  answer.append("Location: ").append(location).append("\r\n\r\n");
  return answer;
}

}  // namespace server
