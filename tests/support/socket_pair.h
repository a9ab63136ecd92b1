#pragma once

#include <gtest/gtest.h>

#include "platform/socket.h"
#include "tests/support/test_client.h"

// A loopback connection: the accepted, non-blocking server side and a client.
struct SocketPair {
  platform::Socket listener, server;
  TestClient client;
  SocketPair() {
    int port = FreePort();
    EXPECT_EQ(listener.Listen(port, 5), platform::kListening);
    EXPECT_TRUE(client.Connect(port));
    EXPECT_EQ(listener.WaitReadable(2000), 1);
    EXPECT_EQ(listener.Accept(server), 0);
    EXPECT_TRUE(server.SetNonBlocking());
  }
};
