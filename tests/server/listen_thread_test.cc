#include <sys/socket.h>

#include <cerrno>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "server/connection_log.h"
#include "tests/support/accept_faults.h"
#include "tests/support/frame_publish.h"
#include "tests/support/server_fixture.h"
#include "tests/support/thread_faults.h"

namespace {

constexpr char k501[] = "HTTP/1.0 501 Not Implemented\r\n\r\n";

using ListenerTest = ServerFixture;

// A viewer: a stream asked for, which holds its place while it waits
// for the camera's first picture.
void AskForTheStream(TestClient& client) { client.Send("GET /video HTTP/1.0\r\n\r\n"); }

TEST_F(ListenerTest, AClientWhoseRequestIsInHoldsThePlaceAndTheNextIsRefused) {
  StartListener(/*clientLimit=*/1, /*logConnections=*/1);
  TestClient first(Port());
  AskForTheStream(first);
  ASSERT_TRUE(Eventually([&] { return control.connectedCount == 1; }));

  bool closed = false;
  TestClient second(Port());
  second.Send("GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(second.ReadAll(3000, &closed), server::kServiceUnavailableResponse.Text());
  EXPECT_TRUE(closed);
  EXPECT_EQ(control.connectedCount, 1);

  first.Close();
  ASSERT_TRUE(Eventually([&] { return control.connectedCount == 0; }));
  EXPECT_EQ(Exchange(Port(), "POST / HTTP/1.0\r\n\r\n"), k501);
  // The probe's, the first's, the refused one's and the last one's.
  ASSERT_TRUE(
      Eventually([&] { return std::ranges::count(folder.Read(server::kLogFileName), '\n') == 8; }));
}

TEST_F(ListenerTest, AClientThatLeftFreesItsPlaceWhileOthersKeepKnocking) {
  StartListener(/*clientLimit=*/1);
  // Each round a client holds the only place and leaves; newcomers knock
  // without pause, so the listener never has an idle moment in which to
  // notice that the place is free.
  for (int round = 0; round < 20; ++round) {
    {
      TestClient holder(Port());
      AskForTheStream(holder);
      ASSERT_TRUE(Eventually([&] { return control.connectedCount == 1; }));
    }
    ASSERT_TRUE(
        Eventually([&] { return Exchange(Port(), "POST / HTTP/1.0\r\n\r\n") == k501; }, 1000))
        << "round " << round << ": refused long after the holder left";
    ASSERT_TRUE(Eventually([&] { return control.connectedCount == 0; }));
  }
}

// The threads this process runs now.
int Threads() {
  return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/task"),
                                        std::filesystem::directory_iterator()));
}

// A thousand connections from ten addresses that send nothing or trickle
// their request cost the server no thread and no viewer its place: a viewer
// gets its picture at once, and each of them is closed once its 6 s are up.
TEST_F(ListenerTest, AThousandSlowConnectionsLockNobodyOut) {
  device.frameStore.Reallocate(1 << 16);
  Publish(device.frameStore, std::string(3000, 'j'));
  StartListener(/*clientLimit=*/5);
  const int threads = Threads();
  std::vector<TestClient> slow(1000);
  const auto opened = std::chrono::steady_clock::now();
  // Their own ports lie below the range the kernel hands out, where the
  // ports of other tests' servers come from.
  int sourcePort = 20000;
  for (size_t i = 0; i < slow.size(); ++i) {
    const std::string from = "127.0.0." + std::to_string(2 + i % 10);
    while (!slow[i].ConnectFrom(from.c_str(), Port(), sourcePort++))
      ASSERT_LT(sourcePort, 30000) << i;
    if (i % 2) slow[i].Send("G");
  }
  ASSERT_TRUE(Eventually([&] { return control.arrivingCount == 1000; }));
  const auto start = std::chrono::steady_clock::now();
  TestClient viewer(Port());
  AskForTheStream(viewer);
  EXPECT_EQ(viewer.ReadExactly(200, 1000).size(), 200u);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(control.connectedCount, 1);
  EXPECT_LE(Threads(), threads);
  for (const char* more : {"E", "T"}) {
    std::this_thread::sleep_for(std::chrono::seconds(2));
    for (size_t i = 1; i < slow.size(); i += 2) slow[i].Send(more);
  }
  for (size_t i = 0; i < slow.size(); ++i) {
    bool closed = false;
    EXPECT_EQ(slow[i].ReadAll(7000, &closed), "") << i;
    ASSERT_TRUE(closed) << i;
  }
  EXPECT_LT(std::chrono::steady_clock::now() - opened, std::chrono::seconds(7));
  EXPECT_EQ(control.arrivingCount, 0);
  EXPECT_EQ(viewer.ReadExactly(200, 1000).size(), 200u) << "the viewer streams on";
}

// Every "Connection received" has its "Connection closed", however the
// clients leave: reset at once, half way through a request, or mid-stream.
TEST_F(ListenerTest, AStormOfResetsLeavesABalancedLog) {
  StartListener(5, /*logConnections=*/1);
  device.frameStore.Reallocate(1 << 16);
  Publish(device.frameStore, std::string(20000, 'j'));
  for (int i = 0; i < 200; ++i) {
    TestClient client(Port());
    if (i % 3 == 1) client.Send("GET /vid");
    if (i % 3 == 2) {
      client.Send("GET /video HTTP/1.0\r\n\r\n");
      client.ReadExactly(100, 1000);
    }
    client.Reset();
  }
  auto count = [&](const std::string& what) {
    const std::string log = folder.Read(server::kLogFileName);
    size_t n = 0;
    for (size_t at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  };
  // A client reset before its connection was taken leaves no line at all.
  ASSERT_TRUE(Eventually(
      [&] { return control.arrivingCount.load() == 0 && control.connectedCount.load() == 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));  // past a closing's drain
  EXPECT_EQ(count("Connection received"), count("Connection closed"));
  EXPECT_GT(count("Connection received"), 50u);
}

TEST_F(ListenerTest, StopEndsEveryConnectionAtOnce) {
  StartListener();
  std::vector<TestClient> clients;
  for (int i = 0; i < 3; ++i) clients.emplace_back(Port());
  ASSERT_TRUE(Eventually([&] { return control.arrivingCount == 3; }));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(StopListener());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
  EXPECT_EQ(control.connectedCount, 0);
  EXPECT_EQ(control.arrivingCount, 0);
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

// A file is opened by a pool thread: one the system refuses costs that
// request a 503, and the next is served.
TEST_F(ListenerTest, AThreadTheSystemRefusesCostsOneClientNotTheServer) {
  StartListener();
  constexpr char kFileRequest[] = "GET /missing.html HTTP/1.0\r\n\r\n";
  FailNextThreadStarts(1);
  // A system thread left waiting would take the job without a new start:
  // end those until a start is needed and refused.
  ASSERT_TRUE(Eventually([&] {
    platform::EndIdleThreads();
    return Exchange(Port(), kFileRequest) == server::kServiceUnavailableResponse.Text();
  }));
  FailNextThreadStarts(0);
  EXPECT_EQ(Exchange(Port(), kFileRequest).rfind("HTTP/1.0 404 File Not Found\r\n", 0), 0u)
      << "the next one is served";
  EXPECT_EQ(listener->Thread().ExitCode(), platform::kStillActive);
  EXPECT_EQ(control.notices.Take(), std::vector<std::string>{server::kThreadRefusedMessage});
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(ListenerTest, TheRefusalArrivesWholeWithALargeRequestBehindIt) {
  StartListener(/*clientLimit=*/1);
  TestClient first(Port());
  AskForTheStream(first);
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
