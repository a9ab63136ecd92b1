#include "share/address_discovery.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <vector>

#include "platform/interfaces.h"

namespace share {

bool DiscoverLocalAddress(std::string& address) {
  std::vector<uint32_t> addresses;
  if (!platform::InterfaceAddresses(addresses) || addresses.empty()) return false;
  in_addr first{addresses.front()};
  address = ::inet_ntoa(first);
  return true;
}

bool IsPrivateAddress(const std::string& text) {
  uint32_t parts[4] = {0, 0, 0, 0};
  int count = 0;
  size_t pos = 0;
  while (count < 4) {
    pos = text.find_first_not_of('.', pos);
    if (pos == std::string::npos) break;
    size_t end = text.find('.', pos);
    std::string token = text.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
    parts[count++] = static_cast<uint32_t>(std::atoi(token.c_str()));
    if (end == std::string::npos) break;
    pos = end;
  }
  // Added, not or-ed: a part above 255 carries into the next octet.
  uint32_t value = (parts[0] << 24) + (parts[1] << 16) + (parts[2] << 8) + parts[3];
  auto in = [value](uint32_t low, uint32_t high) { return value >= low && value <= high; };
  return in(0x0A000000, 0x0AFFFFFF) || in(0xAC100000, 0xAC1FFFFF) || in(0xC0A80000, 0xC0A8FFFF) ||
         in(0xA9FE0000, 0xA9FEFFFF);
}

}  // namespace share
