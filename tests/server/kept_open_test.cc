// HTTP/1.1 connections kept open between requests, and pools that wait
// without holding the loop.
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "server/connection_log.h"
#include "tests/support/command.h"
#include "tests/support/frame_publish.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_gaps.h"

namespace {

using namespace std::chrono;

class KeptOpenTest : public ServerFixture {
 protected:
  void SetUp() override {
    folder.Write("www/a.txt", "alpha\n");
    folder.Write("www/b.txt", "bravo!\n");
  }
  size_t LogLines() { return std::ranges::count(folder.Read(server::kLogFileName), '\n'); }
};

// What each request gets, by its version and what it says of the
// connection: HTTP/1.0 as ever, then the close; HTTP/1.1 its length and the
// connection open, unless it asks for the close or the answer ends it.
TEST_F(KeptOpenTest, EachVersionGetsItsOwnFramingAndClose) {
  StartListener();
  struct Case {
    const char* request;
    const char* answer;  // up to its body
    bool staysOpen;
  };
  const Case cases[] = {
      {"GET /a.txt HTTP/1.0\r\n\r\n", "HTTP/1.0 200 OK\r\n", false},
      {"GET /a.txt HTTP/1.0\r\nConnection: keep-alive\r\n\r\n", "HTTP/1.0 200 OK\r\n", false},
      {"GET /a.txt HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK\r\n", true},
      {"GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 404 File Not Found\r\n", true},
      {"HEAD /state HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 200 OK\r\n", true},
      {"GET /a.txt HTTP/1.1\r\nConnection: close\r\n\r\n",
       "HTTP/1.1 200 OK\r\nConnection: close\r\n", false},
      {"DELETE / HTTP/1.1\r\n\r\n", "HTTP/1.1 501 Not Implemented\r\nConnection: close\r\n", false},
  };
  for (const Case& c : cases) {
    TestClient client(Port());
    client.Send(c.request);
    bool closed = false;
    const std::string answer = client.ReadAll(500, &closed);
    EXPECT_EQ(answer.rfind(c.answer, 0), 0u) << c.request << answer;
    EXPECT_NE(answer.find("Content-Length: "), std::string::npos) << c.request << answer;
    EXPECT_EQ(closed, !c.staysOpen) << c.request;
  }
  EXPECT_EQ(control.connectedCount, 0) << "a connection kept open holds no place";
}

TEST_F(KeptOpenTest, PipelinedRequestsAreAnsweredInOrderOnOneConnection) {
  StartListener(/*clientLimit=*/1, /*logConnections=*/1);
  TestClient client(Port());
  client.Send(
      "GET /b.txt HTTP/1.1\r\nHost: x\r\n\r\nGET /a.txt HTTP/1.1\r\nHost: x\r\n\r\n"
      "GET /b.txt HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n");
  bool closed = false;
  const std::string answers = client.ReadAll(3000, &closed);
  EXPECT_TRUE(closed);
  const size_t bravo = answers.find("bravo!\n"), alpha = answers.find("alpha\n");
  ASSERT_NE(bravo, std::string::npos) << answers;
  ASSERT_NE(alpha, std::string::npos) << answers;
  EXPECT_LT(bravo, alpha);
  EXPECT_NE(answers.find("bravo!\n", alpha), std::string::npos) << answers;
  // One connection: one line at each end, whatever it carried.
  ASSERT_TRUE(Eventually([&] { return LogLines() == 4; })) << folder.Read(server::kLogFileName);
}

TEST_F(KeptOpenTest, CurlFetchesTenFilesOverOneConnection) {
  StartListener(5, /*logConnections=*/1);
  std::string urls;
  for (int i = 0; i < 10; ++i)
    urls += " http://127.0.0.1:" + std::to_string(Port()) + (i % 2 ? "/a.txt" : "/b.txt");
  EXPECT_EQ(RunCommand("curl -s --keepalive --max-time 5" + urls),
            "bravo!\nalpha\nbravo!\nalpha\nbravo!\nalpha\nbravo!\nalpha\nbravo!\nalpha\n");
  ASSERT_TRUE(Eventually([&] { return LogLines() == 4; }));  // the probe's and curl's
}

TEST_F(KeptOpenTest, AnIdleConnectionIsClosedAfterFifteenSeconds) {
  StartListener();
  TestClient client(Port());
  client.Send("GET /a.txt HTTP/1.1\r\nHost: x\r\n\r\n");
  const auto answered = steady_clock::now();
  bool closed = false;
  EXPECT_NE(client.ReadAll(14000, &closed).find("alpha\n"), std::string::npos);
  EXPECT_FALSE(closed) << "still open after 14 s";
  client.ReadAll(2000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_LT(steady_clock::now() - answered, milliseconds(16500));
}

// Requests that wait for a pool (FIFOs and files in www/, wrong passwords
// being verified) hold up no stream.
TEST_F(KeptOpenTest, WaitingRequestsHoldUpNoViewer) {
  device.frameStore.Reallocate(1 << 16);
  std::atomic<bool> done{false};
  std::thread camera([&] {
    while (!done) {
      Publish(device.frameStore, std::string(2000, 'c'));
      std::this_thread::sleep_for(milliseconds(33));
    }
  });
  StartListener(/*clientLimit=*/50);
  for (int i = 0; i < 20; ++i)
    ASSERT_EQ(::mkfifo(("www/fifo" + std::to_string(i)).c_str(), 0644), 0);
  std::vector<TestClient> viewers(1);
  viewers[0].Connect(Port());
  viewers[0].Send("GET /video HTTP/1.0\r\n\r\n");
  std::vector<TestClient> waiting;
  for (int i = 0; i < 20; ++i) {
    waiting.emplace_back(Port());
    waiting.back().Send("GET /fifo" + std::to_string(i) + " HTTP/1.0\r\n\r\n");
    waiting.emplace_back(Port());
    waiting.back().Send("GET /a.txt HTTP/1.0\r\n");  // the head never ends
  }
  const milliseconds worst = WorstGapWhileAVisitorComesAndGoes(viewers, Port(), 3);
  EXPECT_GT(worst, milliseconds(0)) << "the viewer's stream ended";
  EXPECT_LT(worst, kWorstGapOnABusyMachine);
  for (int i = 0; i < 40; i += 2)
    EXPECT_EQ(waiting[static_cast<size_t>(i)].ReadAll(1000).rfind("HTTP/1.0 404", 0), 0u);
  done = true;
  camera.join();
}

}  // namespace
