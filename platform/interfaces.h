// Stands in for the socket layer's interface list (SIO_GET_INTERFACE_LIST).
// Promises the IPv4 addresses of the interfaces that are up, in the order
// Windows lists them: real adapters first, loopback last.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ip_address.h"

namespace platform {

// Addresses in network byte order; false when the list can't be had.
bool InterfaceAddresses(std::vector<uint32_t>& addresses);

// The same addresses in dotted form, in the same order; empty when the list
// can't be had.
std::vector<std::string> InterfaceAddressTexts();

// The networks of the interfaces that are up, IPv4 and IPv6, each from an
// interface's address and netmask; empty when the list can't be had.
std::vector<Subnet> InterfaceSubnets();

// Names the list instead, for tests: dotted addresses separated by commas,
// empty for a machine with none.
constexpr char kInterfaceListVariable[] = "OWLGLANCE_INTERFACES";

}  // namespace platform
