// Stands in for the socket layer's address records (sockaddr_in,
// sockaddr_in6): an address of either family as 16 bytes, IPv4 ones in
// their IPv4-mapped IPv6 form (::ffff:a.b.c.d), so one rule serves both.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace platform {

struct IpAddress {
  std::array<uint8_t, 16> bytes{};

  static IpAddress V4(uint8_t a, uint8_t b, uint8_t c, uint8_t d) {
    return {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, a, b, c, d}};
  }
  bool IsV4() const {
    for (int i = 0; i < 10; ++i)
      if (bytes[static_cast<std::size_t>(i)] != 0) return false;
    return bytes[10] == 0xff && bytes[11] == 0xff;
  }
  // True when the first `bits` bits equal `network`'s (bits of the 16
  // bytes: an IPv4 /8 is 96 + 8).
  bool Within(const IpAddress& network, int bits) const {
    for (int i = 0; i < 16 && bits > 0; ++i, bits -= 8) {
      const int mask = bits >= 8 ? 0xff : (0xff << (8 - bits)) & 0xff;
      if ((bytes[static_cast<std::size_t>(i)] ^ network.bytes[static_cast<std::size_t>(i)]) & mask)
        return false;
    }
    return true;
  }
  // This computer's own: 127.0.0.0/8 or ::1.
  bool IsLoopback() const {
    static constexpr IpAddress kIpv6Loopback = {{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}};
    return (IsV4() && bytes[12] == 127) || *this == kIpv6Loopback;
  }
  bool operator==(const IpAddress&) const = default;
};

// A network: an address and how many of its leading bits name the network.
struct Subnet {
  IpAddress network;
  int bits = 128;
};

}  // namespace platform
