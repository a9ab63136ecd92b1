#include <sys/stat.h>

#include <atomic>
#include <memory>

#include "server/connection_log.h"
#include "server/server_controller.h"
#include "tests/support/command.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_parser.h"

namespace {

using namespace std::chrono;

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.portnum = static_cast<uint32_t>(FreePort());
    EXPECT_EQ(device.Create(0, 50), capture::DeviceResult::kOk);  // the test pattern
  }
  TempFolder folder;
  FakeMessageBox boxes;
  settings::ServerSettings settings;
  capture::CaptureDevice device;
};

TEST_F(ControllerTest, StartStopAndSetters) {
  server::ServerController controller(settings, device);
  controller.StopServer();  // stopped: returns at once
  ASSERT_EQ(controller.StartServer(), server::StartResult::kStarted);
  EXPECT_EQ(controller.StartServer(), server::StartResult::kStarted)
      << "running: no second listener";
  EXPECT_TRUE(device.IsGrabbing());
  const int port = static_cast<int>(settings.portnum);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }));

  controller.SetClientLimit(1);
  // A stream asked for before the first image ends at once.
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() > 0; }));
  // Until the probe's thread is reaped, a client is refused; the first one
  // served holds the only place.
  std::unique_ptr<TestClient> client;
  std::string received;
  ASSERT_TRUE(Eventually(
      [&] {
        client.reset();  // a client that was not served must not hold the place
        client = std::make_unique<TestClient>(port);
        client->Send("GET /video HTTP/1.0\r\n\r\n");
        received = client->ReadExactly(3000, 5000);  // a first part is on its way
        return received.rfind("HTTP/1.0 200 OK", 0) == 0 && received.size() == 3000;
      },
      15000));
  TestClient& first = *client;
  ASSERT_TRUE(Eventually([&] { return controller.ConnectedCount() == 1; }));
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), "HTTP/1.0 503 Service Unavailable\r\n\r\n");
  controller.SetClientLimit(0);  // ignored, and so is 100: still 1
  controller.SetClientLimit(100);
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), "HTTP/1.0 503 Service Unavailable\r\n\r\n");

  auto stop = steady_clock::now();
  controller.StopServer();
  EXPECT_LT(steady_clock::now() - stop, milliseconds(1000));
  EXPECT_EQ(controller.ConnectedCount(), 0);
  EXPECT_FALSE(controller.IsRunning());
  EXPECT_FALSE(device.IsGrabbing());
  bool closed = false;
  ParsedStream stream = ParseStream(received + first.ReadAll(2000, &closed));
  EXPECT_TRUE(closed);
  EXPECT_TRUE(stream.whole);
  EXPECT_GE(stream.images.size(), 1u);
}

TEST_F(ControllerTest, APortInUseFailsTheStartAndALaterStartServes) {
  auto holder = std::make_unique<platform::Socket>();
  ASSERT_EQ(holder->Listen(static_cast<int>(settings.portnum), 5), 0);
  server::ServerController controller(settings, device);
  EXPECT_EQ(controller.StartServer(), server::StartResult::kPortUnavailable);
  ASSERT_EQ(boxes.Boxes().size(), 1u) << "shown before StartServer returned";
  EXPECT_NE(boxes.Boxes()[0].text.find("The port chosen may be in use"), std::string::npos);
  EXPECT_FALSE(controller.IsRunning());
  EXPECT_FALSE(device.IsGrabbing());

  holder.reset();
  ASSERT_EQ(controller.StartServer(), server::StartResult::kStarted);
  EXPECT_EQ(Exchange(static_cast<int>(settings.portnum), "POST / HTTP/1.0\r\n\r\n"),
            "HTTP/1.0 501 Not Implemented\r\n\r\n")
      << "bound before StartServer returned";
  controller.StopServer();
}

TEST_F(ControllerTest, StartFailsWithoutACamera) {
  capture::CaptureDevice none;
  ASSERT_EQ(none.Create(9, 50), capture::DeviceResult::kOk);
  server::ServerController controller(settings, none);
  EXPECT_EQ(controller.StartServer(), server::StartResult::kCameraNotStarted);
  EXPECT_FALSE(controller.IsRunning());
}

TEST_F(ControllerTest, SettersReachConnectionsAcceptedAfterwards) {
  server::ServerController controller(settings, device);
  ASSERT_EQ(controller.StartServer(), server::StartResult::kStarted);
  const int port = static_cast<int>(settings.portnum);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }));
  controller.SetStreamUrl("/live");
  controller.SetLogConnections(1);
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() > 0; }));
  TestClient client(port);
  client.Send("GET /live HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(ParseStream(client.ReadExactly(300, 3000)).headOk);
  ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(server::kLogFileName); }));
  controller.StopServer();
}

// /state tells tools how the camera and the server are doing, as JSON, and
// wins over a file of that name.
TEST_F(ControllerTest, StateTellsHowTheCameraAndTheServerAreDoing) {
  folder.Write("www/state", "a file of that name");
  device.SetPassThrough(true);
  server::ServerController controller(settings, device);
  ASSERT_EQ(controller.StartServer(), server::StartResult::kStarted);
  const int port = static_cast<int>(settings.portnum);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }));
  TestClient viewer(port);
  viewer.Send("GET /video HTTP/1.0\r\n\r\n");
  ASSERT_EQ(viewer.ReadExactly(2000, 3000).size(), 2000u);
  // Two seconds of the pattern's 30 frames (fewer on a machine that CI loads).
  std::this_thread::sleep_for(milliseconds(2100));

  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/state";
  EXPECT_EQ(
      RunCommand("curl -s " + url +
                 " | /usr/bin/python3 -c 'import json, sys; d = json.load(sys.stdin); "
                 "c, s = d[\"camera\"], d[\"server\"]; print(c[\"name\"], c[\"width\"], "
                 "c[\"height\"], c[\"format\"], 10 <= c[\"fps\"] <= 36, c[\"online\"], "
                 "c[\"passthrough\"], s[\"clients\"], s[\"maxclients\"], s[\"uptime_s\"] >= 2, "
                 "d[\"stream\"])'"),
      // Passthrough is on, but a YUY2 camera has no JPEG of its own to send.
      "Owlglance Test Pattern 640 480 YUY2 True True False 1 5 True "
      "{'url': '/video', 'snapshot': '/snapshot'}\n");
  EXPECT_EQ(RunCommand("curl -s -o /dev/null -w '%{content_type}' " + url), "application/json");
  EXPECT_NE(RunCommand("curl -sI " + url).find("Cache-Control: no-store\r\n"), std::string::npos);
  controller.StopServer();
}

// A log that fails while the server stops holds nothing up: no worker
// waits for a box, and the user hears of it once, afterwards.
TEST(StopServer, AFailingLogDuringTheStopHoldsNothing) {
  TempFolder folder;
  FakeMessageBox boxes;
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 50), capture::DeviceResult::kOk);
  settings::ServerSettings settings;
  settings.portnum = static_cast<uint32_t>(FreePort());
  settings.connections = 1;
  server::ServerController controller(settings, device);
  ASSERT_EQ(controller.StartServer(), server::StartResult::kStarted);
  ASSERT_TRUE(Eventually([&] {
    return device.frameStore.PublishedCount() > 0 && TestClient().Connect(settings.portnum);
  }));
  ASSERT_TRUE(Eventually([&] { return controller.ConnectedCount() == 0; }));  // the probe is gone
  std::filesystem::remove(server::kLogFileName);
  ASSERT_EQ(::mkdir(server::kLogFileName, 0755), 0);  // from now on every log write fails

  TestClient client(static_cast<int>(settings.portnum));
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  ASSERT_EQ(client.ReadExactly(1000, 3000).size(), 1000u);
  const auto stop = steady_clock::now();
  controller.StopServer();
  EXPECT_LT(steady_clock::now() - stop, milliseconds(1000));
  EXPECT_TRUE(boxes.Boxes().empty()) << "no worker showed a box";
  EXPECT_EQ(controller.TakeNotices(), std::vector<std::string>{server::kLogWriteFailedMessage});
}

}  // namespace
