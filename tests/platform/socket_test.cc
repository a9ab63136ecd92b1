#include "platform/socket.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include "tests/support/socket_pair.h"

namespace {

TEST(Socket, AcceptWithNothingPendingWouldBlock) {
  platform::Socket listener, connection;
  ASSERT_EQ(listener.Listen(FreePort(), 5), 0);
  EXPECT_EQ(listener.Accept(connection), EAGAIN);
  EXPECT_FALSE(connection.IsOpen());
}

TEST(Socket, PeerAddressIsDottedLoopback) {
  SocketPair pair;
  std::string peer;
  ASSERT_TRUE(pair.server.PeerAddress(peer));
  EXPECT_EQ(peer, "127.0.0.1");
  pair.client.Send("abc");
  ASSERT_EQ(pair.server.WaitReadable(2000), 1);
  EXPECT_EQ(pair.server.BytesAvailable(), 3);
}

}  // namespace
