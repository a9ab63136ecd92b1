#include "share/address_discovery.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(IsPrivateAddress, BlocksAndHowTextIsRead) {
  const std::pair<const char*, bool> cases[] = {
      {"10.0.0.1", true},
      {"10.255.255.255", true},
      {"11.0.0.0", false},
      {"9.255.255.255", false},
      {"172.16.0.0", true},
      {"172.31.255.255", true},
      {"172.15.255.255", false},
      {"172.32.0.0", false},
      {"192.168.0.0", true},
      {"192.168.255.255", true},
      {"192.169.0.0", false},
      {"169.254.0.1", true},
      {"169.253.255.255", false},
      {"169.255.0.0", false},
      {"127.0.0.1", false},
      {"192.168..7", true},
      {"10.0.0.300", true},
      {"9.255.255.256", true},
      {"", false},
      {"..10...0.0.1..", true},
      {"x.y", false},
      {" 10.1.2.3.99", true},
  };
  for (auto [text, expected] : cases)
    EXPECT_EQ(share::IsPrivateAddress(text), expected) << '"' << text << '"';
}

TEST(DiscoverLocalAddress, GivesDottedText) {
  std::string address;
  ASSERT_TRUE(share::DiscoverLocalAddress(address));  // loopback at least is up
  EXPECT_EQ(std::count(address.begin(), address.end(), '.'), 3) << address;
}

}  // namespace
