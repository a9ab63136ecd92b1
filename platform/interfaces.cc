#include "platform/interfaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cstdlib>
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

}  // namespace platform
