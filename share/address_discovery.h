#pragma once

#include <string>

namespace share {

constexpr char kDiscoveryFailedMessage[] =
    "Error determining your IP address, you will have to find it manually.\n"
    "See the readme for more information.";
constexpr char kPrivateAddressMessage[] =
    "Your IP address is a private address.\n"
    "You are most likely behind a firewall or disconnected from the internet.\n"
    "You must determine your external IP address manually.  See the readme for more information.";

// The first interface's IPv4 address in dotted form; false when the list
// can't be had or is empty.
bool DiscoverLocalAddress(std::string& address);

// True when the dotted text lies in 10/8, 172.16/12, 192.168/16 or
// 169.254/16, read as the C library's strtok and atoi would read it.
bool IsPrivateAddress(const std::string& text);

}  // namespace share
