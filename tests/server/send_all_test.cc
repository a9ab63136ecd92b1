#include "server/send_all.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "tests/support/socket_pair.h"

namespace {

using namespace std::chrono;

TEST(SendAll, ZeroLengthSucceedsAtOnce) {
  SocketPair pair;
  EXPECT_EQ(server::SendAll("", 0, pair.server), server::SendResult::kSent);
}

TEST(SendAll, PeerThatVanishesMidSendFailsWithoutSignal) {
  SocketPair pair;
  std::vector<char> big(32 << 20, 'x');
  pair.client.ReadExactly(1000, 100);
  pair.client.Close();  // the peer resets; a SIGPIPE would kill this test
  EXPECT_EQ(server::SendAll(big.data(), static_cast<int>(big.size()), pair.server),
            server::SendResult::kNotSent);
}

TEST(SendAll, PeerThatStopsReadingFailsAfterSixSeconds) {
  SocketPair pair;
  std::vector<char> big(64 << 20, 'x');
  auto start = steady_clock::now();
  EXPECT_EQ(server::SendAll(big.data(), static_cast<int>(big.size()), pair.server),
            server::SendResult::kNotSent);
  auto took = steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(5900));
  EXPECT_LT(took, milliseconds(7500));
}

}  // namespace
