#include <sys/socket.h>

#include <cerrno>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/socket.h"
#include "server/connection_log.h"
#include "tests/support/accept_faults.h"
#include "tests/support/server_fixture.h"
#include "tests/support/thread_faults.h"

namespace {

constexpr char k501[] = "HTTP/1.0 501 Not Implemented\r\n\r\n";

using ListenerTest = ServerFixture;

TEST_F(ListenerTest, RefusesBeyondClientLimitAndAdmitsAfterReaping) {
  StartListener(/*clientLimit=*/1, /*logConnections=*/1);
  TestClient first(Port());
  ASSERT_TRUE(Eventually([&] { return control.connectedCount == 1; }));
  std::string log;  // the probe's two lines and the first client's
  ASSERT_TRUE(Eventually(
      [&] { return std::ranges::count(log = folder.Read(server::kLogFileName), '\n') == 3; }));

  bool closed = false;
  TestClient second(Port());
  EXPECT_EQ(second.ReadAll(3000, &closed), server::kServiceUnavailableResponse.Text());
  EXPECT_TRUE(closed);
  EXPECT_EQ(control.connectedCount, 1);
  EXPECT_EQ(folder.Read(server::kLogFileName), log) << "a refused connection is not logged";

  first.Close();
  ASSERT_TRUE(Eventually([&] { return control.connectedCount == 0; }));
  EXPECT_EQ(Exchange(Port(), "POST / HTTP/1.0\r\n\r\n"), k501);
}

TEST_F(ListenerTest, AClientThatLeftFreesItsPlaceWhileOthersKeepKnocking) {
  StartListener(/*clientLimit=*/1);
  // Each round a client holds the only place and leaves; newcomers knock
  // without pause, so the listener never has an idle moment in which to
  // notice that the place is free.
  for (int round = 0; round < 20; ++round) {
    {
      TestClient holder(Port());
      ASSERT_TRUE(Eventually([&] { return control.connectedCount == 1; }));
    }
    ASSERT_TRUE(
        Eventually([&] { return Exchange(Port(), "POST / HTTP/1.0\r\n\r\n") == k501; }, 1000))
        << "round " << round << ": refused long after the holder left";
    ASSERT_TRUE(Eventually([&] { return control.connectedCount == 0; }));
  }
}

TEST_F(ListenerTest, StopEndsEveryClientThread) {
  StartListener();
  std::vector<TestClient> clients;
  for (int i = 0; i < 3; ++i) clients.emplace_back(Port());
  ASSERT_TRUE(Eventually([&] { return control.connectedCount == 3; }));
  // Silent clients give up on their own after 6 s without a request.
  ASSERT_TRUE(StopListener(9000));
  EXPECT_EQ(control.connectedCount, 0);
  for (auto& client : clients) {
    bool closed = false;
    client.ReadAll(1000, &closed);
    EXPECT_TRUE(closed);
  }
}

TEST_F(ListenerTest, StopIsSeenPromptlyWithoutClients) {
  StartListener();
  auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(StopListener());
  // The listener waits in poll for at most 300 ms at a time.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(ListenerTest, PortInUseShowsMessageAndEnds) {
  platform::Socket holder;
  int port = FreePort();
  ASSERT_EQ(holder.Listen(port, 5), 0);
  control.port = port;
  server::ListenThread busy(control);
  ASSERT_TRUE(busy.Thread().Create());
  busy.Thread().Resume();
  ASSERT_TRUE(busy.Thread().WaitForEnd(5000));
  auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text,
            "An error occurred starting network communications.\nThe port chosen may be in use, "
            "shut down the server and change the port number.");
  EXPECT_EQ(shown[0].caption, platform::ApplicationName());
  EXPECT_EQ(shown[0].style, 0x30);
}

TEST_F(ListenerTest, RestartOnTheSamePortRightAfterStop) {
  StartListener();
  Exchange(Port(), "POST / HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(StopListener());
  control.stopRequested = 0;
  listener = std::make_unique<server::ListenThread>(control);
  ASSERT_TRUE(listener->Thread().Create());
  listener->Thread().Resume();
  ASSERT_TRUE(Eventually([&] { return Exchange(Port(), "POST / HTTP/1.0\r\n\r\n") == k501; }));
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ListenerTest, AcceptErrorsOfOnePendingConnectionKeepItServing) {
  StartListener();
  FailNextAccepts({ENETDOWN, ENOPROTOOPT, EHOSTDOWN, ENONET, EHOSTUNREACH, EOPNOTSUPP, ENETUNREACH,
                   EMFILE, ENFILE});
  EXPECT_EQ(Exchange(Port(), "POST / HTTP/1.0\r\n\r\n"), k501);
  EXPECT_EQ(listener->Thread().ExitCode(), platform::kStillActive);

  FailNextAccepts({EBADF});  // the listener's own failure still ends it
  TestClient client(Port());
  EXPECT_TRUE(listener->Thread().WaitForEnd(3000));
}

TEST_F(ListenerTest, AThreadTheSystemRefusesCostsOneClientNotTheServer) {
  StartListener();
  FailNextThreadStarts(1);
  // A pool thread left waiting would take the client without a new start:
  // end those until a start is needed and refused.
  ASSERT_TRUE(Eventually([&] {
    platform::EndIdleThreads();
    return Exchange(Port(), "POST / HTTP/1.0\r\n\r\n") ==
           server::kServiceUnavailableResponse.Text();
  }));
  FailNextThreadStarts(0);
  EXPECT_EQ(Exchange(Port(), "POST / HTTP/1.0\r\n\r\n"), k501) << "the next one is served";
  EXPECT_EQ(listener->Thread().ExitCode(), platform::kStillActive);
  EXPECT_EQ(control.notices.Take(), std::vector<std::string>{server::kThreadRefusedMessage});
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ListenerTest, TheRefusalArrivesWholeWithALargeRequestBehindIt) {
  StartListener(/*clientLimit=*/1);
  TestClient first(Port());
  ASSERT_TRUE(Eventually([&] { return control.connectedCount == 1; }));
  for (int i = 0; i < 10; ++i) {
    TestClient refused(Port());
    // Sent at once, or after the answer: either way the answer arrives
    // whole, and ends cleanly, not with a reset.
    if (i % 2) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    refused.Send("GET / HTTP/1.0\r\nCookie: " + std::string(20000, 'c') + "\r\n\r\n");
    bool closed = false, reset = false;
    EXPECT_EQ(refused.ReadAll(3000, &closed, &reset), server::kServiceUnavailableResponse.Text())
        << i;
    EXPECT_TRUE(closed) << i;
    EXPECT_FALSE(reset) << i;
  }
}

}  // namespace
