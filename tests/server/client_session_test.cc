#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "server/connection.h"
#include "server/connection_log.h"
#include "server/request_route.h"
#include "tests/support/frame_publish.h"
#include "tests/support/server_fixture.h"

namespace {

using namespace std::chrono;
constexpr char k501[] = "HTTP/1.0 501 Not Implemented\r\n\r\n";

TEST(SplitRequest, SplitsAtSpacesOnly) {
  struct Case {
    std::string request;
    std::vector<std::string> tokens;
  };
  const Case cases[] = {
      {"GET /video HTTP/1.0\r\n\r\n", {"GET", "/video", "HTTP/1.0\r\n\r\n"}},
      {"   GET    /  HTTP/1.0\r\n", {"GET", "/", "HTTP/1.0\r\n"}},
      {"GET /\r\n\r\n", {"GET", "/\r\n\r\n"}},
      {"GET\t/ x", {"GET\t/", "x"}},
      {"", {}},
      {" ", {}},
      {"\r\n", {"\r\n"}},
      {"a b c d e", {"a", "b", "c"}},
      {std::string("GET /a\0b HTTP/1.0", 17), {"GET", "/a"}},
  };
  for (const auto& c : cases) {
    server::RequestTokens got =
        server::SplitRequest(c.request.data(), static_cast<int>(c.request.size()));
    ASSERT_EQ(got.count, static_cast<int>(c.tokens.size())) << c.request;
    for (int i = 0; i < got.count; ++i) EXPECT_EQ(got.token[i], c.tokens[i]) << c.request;
  }
}

using RequestTest = ServerFixture;

TEST_F(RequestTest, AnswersOrClosesByRequestLine) {
  StartListener();
  struct Case {
    const char* request;
    const char* answer;
  };
  const Case cases[] = {
      {"POST / HTTP/1.0\r\n\r\n", k501},
      {"   post   /   HTTP/1.0\r\n", k501},
      // HTTP/1.1 is answered in its own version, and this connection closed.
      {"PUT /index.html HTTP/1.1\r\n",
       "HTTP/1.1 501 Not Implemented\r\nConnection: close\r\nContent-Length: 0\r\n\r\n"},
      {"GET /\r\n\r\n", ""},  // no version: no answer
      {"\r\n", k501},         // one token that is not GET
      {" \r\n", k501},
      {"GET\r\n", k501},  // the method token is "GET\r\n"
  };
  for (const auto& c : cases) EXPECT_EQ(Exchange(Port(), c.request), c.answer) << c.request;
}

TEST_F(RequestTest, EmptyAndBlankRequestsGetNoAnswer) {
  StartListener();
  for (const char* request : {"", " ", "     "}) {
    TestClient client(Port());
    client.Send(request);
    ::shutdown(client.Fd(), SHUT_WR);  // the peer closing ends the read
    bool closed = false;
    EXPECT_EQ(client.ReadAll(3000, &closed), "") << '"' << request << '"';
    EXPECT_TRUE(closed);
  }
}

TEST_F(RequestTest, ParsesTheFirst1024BytesOfALongLine) {
  StartListener();
  // Answered as soon as 1024 bytes are in, without waiting for a line end.
  TestClient client(Port());
  client.Send("POST /" + std::string(1100, 'a'));
  EXPECT_EQ(client.ReadAll(3000), k501);
}

TEST_F(RequestTest, SilentClientIsClosedAfterSixSecondsWithTwoLogLines) {
  StartListener(5, /*logConnections=*/1);
  auto start = steady_clock::now();
  TestClient client(Port());
  bool closed = false;
  EXPECT_EQ(client.ReadAll(9000, &closed), "");
  EXPECT_TRUE(closed);
  auto took = steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(5900));
  EXPECT_LT(took, milliseconds(7500));
  ASSERT_TRUE(Eventually([&] { return control.connectedCount == 0; }));
  std::string log = folder.Read(server::kLogFileName);
  EXPECT_NE(log.find(" Connection received from: 127.0.0.1\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(" Connection closed: 127.0.0.1\r\n"), std::string::npos) << log;
}

TEST_F(RequestTest, ATrickledRequestIsClosedSixSecondsAfterItConnected) {
  StartListener();
  TestClient client(Port());
  auto connected = steady_clock::now();
  bool closed = false;
  std::string answer;
  for (char byte : std::string("GET / HTTP/1.0")) {
    client.Send(std::string(1, byte));
    answer += client.ReadAll(1000, &closed);
    if (closed) break;
  }
  if (!closed) answer += client.ReadAll(9000, &closed);
  EXPECT_EQ(answer, "");
  EXPECT_TRUE(closed);
  auto took = steady_clock::now() - connected;
  EXPECT_GE(took, milliseconds(5900));
  EXPECT_LT(took, milliseconds(7500));
}

// A log that can't be written holds no connection: every request is
// answered, no client thread shows a box, and the user is told once, again
// only after a write has succeeded in between.
TEST_F(RequestTest, AnUnwritableLogHoldsNoConnectionAndIsToldOnce) {
  StartListener(3, /*logConnections=*/1);
  // A folder in the log's place: no open for appending succeeds, even for root.
  std::filesystem::remove(server::kLogFileName);  // the probe's lines
  ASSERT_EQ(::mkdir(server::kLogFileName, 0755), 0);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Exchange(Port(), "POST / HTTP/1.0\r\n\r\n"), k501) << i;
  const std::vector<std::string> once = {"Error writing to log file!"};
  EXPECT_EQ(control.notices.Take(), once);
  EXPECT_EQ(Exchange(Port(), "POST / HTTP/1.0\r\n\r\n"), k501);
  EXPECT_TRUE(control.notices.Take().empty()) << "still failing: told already";

  ASSERT_EQ(::rmdir(server::kLogFileName), 0);
  EXPECT_EQ(Exchange(Port(), "POST / HTTP/1.0\r\n\r\n"), k501);
  ASSERT_TRUE(Eventually([&] { return std::filesystem::is_regular_file(server::kLogFileName); }));
  std::filesystem::remove(server::kLogFileName);
  ASSERT_EQ(::mkdir(server::kLogFileName, 0755), 0);
  EXPECT_EQ(Exchange(Port(), "POST / HTTP/1.0\r\n\r\n"), k501);
  ASSERT_TRUE(Eventually([&] { return control.notices.Take() == once; }))
      << "failing again after a success: told again";
  EXPECT_TRUE(boxes.Boxes().empty()) << "no client thread shows a box";
}

TEST_F(RequestTest, LoggingOffWritesNothing) {
  StartListener(5, /*logConnections=*/0);
  EXPECT_EQ(Exchange(Port(), "POST / HTTP/1.0\r\n\r\n"), k501);
  ASSERT_TRUE(Eventually([&] { return control.connectedCount == 0; }));
  EXPECT_FALSE(std::filesystem::exists(server::kLogFileName));
  EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(RequestTest, AViewerThatResetsItsConnectionStillGetsAClosedLine) {
  device.frameStore.Reallocate(1 << 16);
  Publish(device.frameStore, std::string(5000, 'j'));
  StartListener(5, /*logConnections=*/1);
  for (int i = 0; i < 3; ++i) {
    TestClient viewer(Port());
    viewer.Send("GET /video HTTP/1.0\r\n\r\n");
    viewer.ReadExactly(3000, 3000);
    viewer.Reset();
  }
  ASSERT_TRUE(Eventually([&] { return control.connectedCount == 0; }, 5000));
  ASSERT_TRUE(Eventually([&] {
    std::string log = folder.Read(server::kLogFileName);
    return std::ranges::count(log, '\n') == 8;  // the probe's two lines and three pairs
  }));
  std::istringstream log(folder.Read(server::kLogFileName));
  int received = 0, closed = 0;
  for (std::string line; std::getline(log, line);) {
    received += line.find(" Connection received from: 127.0.0.1\r") != std::string::npos;
    closed += line.find(" Connection closed: 127.0.0.1\r") != std::string::npos;
  }
  EXPECT_EQ(received, 4);
  EXPECT_EQ(closed, 4);
}

}  // namespace
