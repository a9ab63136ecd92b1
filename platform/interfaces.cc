#include "platform/interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

namespace platform {

bool InterfaceAddresses(std::vector<uint32_t>& addresses) {
  if (const char* listed = std::getenv(kInterfaceListVariable)) {
    std::istringstream entries(listed);
    for (std::string entry; std::getline(entries, entry, ',');) {
      in_addr address{};
      if (::inet_aton(entry.c_str(), &address)) addresses.push_back(address.s_addr);
    }
    return true;
  }
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return false;
  std::vector<uint32_t> loopback;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !(i->ifa_flags & IFF_UP)) continue;
    uint32_t address = reinterpret_cast<const sockaddr_in*>(i->ifa_addr)->sin_addr.s_addr;
    (i->ifa_flags & IFF_LOOPBACK ? loopback : addresses).push_back(address);
  }
  ::freeifaddrs(list);
  addresses.insert(addresses.end(), loopback.begin(), loopback.end());
  return true;
}

std::vector<std::string> InterfaceAddressTexts() {
  std::vector<uint32_t> addresses;
  std::vector<std::string> dotted;
  if (!InterfaceAddresses(addresses)) return dotted;
  for (uint32_t address : addresses) {
    char text[INET_ADDRSTRLEN];
    in_addr in{address};
    if (::inet_ntop(AF_INET, &in, text, sizeof text)) dotted.emplace_back(text);
  }
  return dotted;
}

namespace {

// The address in a sockaddr of either family; false for another family.
bool AddressOf(const sockaddr* address, IpAddress& out) {
  if (address->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(address);
    const auto* b = reinterpret_cast<const uint8_t*>(&in->sin_addr);
    out = IpAddress::V4(b[0], b[1], b[2], b[3]);
    return true;
  }
  if (address->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(address);
    std::memcpy(out.bytes.data(), &in6->sin6_addr, 16);
    return true;
  }
  return false;
}

// The leading one bits of a netmask, from byte `from` on.
int LeadingOnes(const IpAddress& mask, size_t from) {
  int bits = 0;
  for (size_t i = from; i < mask.bytes.size(); ++i) {
    for (int bit = 7; bit >= 0; --bit) {
      if (!(mask.bytes[i] >> bit & 1)) return bits;
      ++bits;
    }
  }
  return bits;
}

}  // namespace

std::vector<Subnet> InterfaceSubnets() {
  std::vector<Subnet> subnets;
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return subnets;
  for (ifaddrs* i = list; i; i = i->ifa_next) {
    Subnet subnet;
    IpAddress mask;
    if (!i->ifa_addr || !i->ifa_netmask || !(i->ifa_flags & IFF_UP) ||
        !AddressOf(i->ifa_addr, subnet.network) || !AddressOf(i->ifa_netmask, mask))
      continue;
    // An IPv4 address and mask sit in the last 4 of the 16 bytes.
    subnet.bits = subnet.network.IsV4() ? 96 + LeadingOnes(mask, 12) : LeadingOnes(mask, 0);
    subnets.push_back(subnet);
  }
  ::freeifaddrs(list);
  return subnets;
}

}  // namespace platform
