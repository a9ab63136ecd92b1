#include "platform/socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <chrono>
#include <vector>

#include "server/send_all.h"
#include "tests/support/test_client.h"

namespace {

using namespace std::chrono;

// An accepted, non-blocking server side of a loopback connection.
struct Pair {
  platform::Socket listener, server;
  TestClient client;
  Pair() {
    int port = FreePort();
    EXPECT_EQ(listener.Listen(port, 5), 0);
    EXPECT_TRUE(client.Connect(port));
    EXPECT_EQ(listener.WaitReadable(2000), 1);
    EXPECT_EQ(listener.Accept(server), 0);
    EXPECT_TRUE(server.SetNonBlocking());
  }
};

TEST(Socket, AcceptWithNothingPendingWouldBlock) {
  platform::Socket listener, connection;
  ASSERT_EQ(listener.Listen(FreePort(), 5), 0);
  EXPECT_EQ(listener.Accept(connection), EAGAIN);
  EXPECT_FALSE(connection.IsOpen());
}

TEST(Socket, PeerAddressIsDottedLoopback) {
  Pair pair;
  std::string peer;
  ASSERT_TRUE(pair.server.PeerAddress(peer));
  EXPECT_EQ(peer, "127.0.0.1");
  pair.client.Send("abc");
  ASSERT_EQ(pair.server.WaitReadable(2000), 1);
  EXPECT_EQ(pair.server.BytesAvailable(), 3);
}

TEST(SendAll, ZeroLengthSucceedsAtOnce) {
  Pair pair;
  EXPECT_EQ(SendAll("", 0, pair.server), 1);
}

TEST(SendAll, PeerThatVanishesMidSendFailsWithoutSignal) {
  Pair pair;
  std::vector<char> big(32 << 20, 'x');
  pair.client.ReadExactly(1000, 100);
  pair.client.Close();  // the peer resets; a SIGPIPE would kill this test
  EXPECT_EQ(SendAll(big.data(), static_cast<int>(big.size()), pair.server), 0);
}

TEST(SendAll, PeerThatStopsReadingFailsAfterSixSeconds) {
  Pair pair;
  std::vector<char> big(64 << 20, 'x');
  auto start = steady_clock::now();
  EXPECT_EQ(SendAll(big.data(), static_cast<int>(big.size()), pair.server), 0);
  auto took = steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(5900));
  EXPECT_LT(took, milliseconds(7500));
}

}  // namespace
