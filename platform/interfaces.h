// Stands in for the socket layer's interface list (SIO_GET_INTERFACE_LIST).
// Promises the IPv4 addresses of the interfaces that are up, in the order
// Windows lists them: real adapters first, loopback last.
#pragma once

#include <cstdint>
#include <vector>

namespace platform {

// Addresses in network byte order; false when the list can't be had.
bool InterfaceAddresses(std::vector<uint32_t>& addresses);

// Names the list instead, for tests: dotted addresses separated by commas,
// empty for a machine with none.
constexpr char kInterfaceListVariable[] = "OWLGLANCE_INTERFACES";

}  // namespace platform
