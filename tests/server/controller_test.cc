#include <atomic>

#include "server/connection_log.h"
#include "server/server_controller.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_parser.h"

namespace {

using namespace std::chrono;

class ControllerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    settings.portnum = static_cast<uint32_t>(FreePort());
    device.Create(0, 50);  // the test pattern
  }
  TempFolder folder;
  FakeMessageBox boxes;
  ServerSettings settings;
  CaptureDevice device;
};

TEST_F(ControllerTest, StartStopAndSetters) {
  ServerController controller(settings, device);
  EXPECT_EQ(controller.StopServer(), 0) << "stopped: at once";
  ASSERT_EQ(controller.StartServer(), 0);
  EXPECT_EQ(controller.StartServer(), 0) << "running: no second listener";
  EXPECT_TRUE(device.IsGrabbing());
  const int port = static_cast<int>(settings.portnum);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }));

  controller.SetClientLimit(1);
  // A stream asked for before the first image ends at once.
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() > 0; }));
  std::this_thread::sleep_for(milliseconds(400));  // the probe's thread is reaped
  TestClient first(port);
  first.Send("GET /video HTTP/1.0\r\n\r\n");
  std::string received = first.ReadExactly(3000, 5000);  // a first part is on its way
  ASSERT_TRUE(Eventually([&] { return controller.ConnectedCount() == 1; }));
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), "HTTP/1.0 503 Service Unavailable\r\n\r\n");
  controller.SetClientLimit(0);  // ignored, and so is 100: still 1
  controller.SetClientLimit(100);
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), "HTTP/1.0 503 Service Unavailable\r\n\r\n");

  auto stop = steady_clock::now();
  EXPECT_EQ(controller.StopServer(), 0);
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

TEST_F(ControllerTest, PortInUseKeepsItRunningUntilStop) {
  platform::Socket holder;
  ASSERT_EQ(holder.Listen(static_cast<int>(settings.portnum), 5), 0);
  ServerController controller(settings, device);
  ASSERT_EQ(controller.StartServer(), 0);
  ASSERT_TRUE(boxes.WaitForBoxes(1, 3000));
  EXPECT_NE(boxes.Boxes()[0].text.find("The port chosen may be in use"), std::string::npos);
  ASSERT_TRUE(Eventually([&] { return controller.ListenerEnded(); }));
  EXPECT_TRUE(controller.IsRunning());
  EXPECT_EQ(controller.StopServer(), 0);
  EXPECT_FALSE(controller.IsRunning());
}

TEST_F(ControllerTest, StartFailsWithoutACamera) {
  CaptureDevice none;
  none.Create(9, 50);
  ServerController controller(settings, none);
  EXPECT_EQ(controller.StartServer(), -1);
  EXPECT_FALSE(controller.IsRunning());
}

TEST_F(ControllerTest, SettersReachConnectionsAcceptedAfterwards) {
  ServerController controller(settings, device);
  ASSERT_EQ(controller.StartServer(), 0);
  const int port = static_cast<int>(settings.portnum);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }));
  controller.SetStreamUrl("/live");
  controller.SetLogConnections(1);
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() > 0; }));
  TestClient client(port);
  client.Send("GET /live HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(ParseStream(client.ReadExactly(300, 3000)).headOk);
  ASSERT_TRUE(Eventually([&] { return std::filesystem::exists(kLogFileName); }));
  controller.StopServer();
}

}  // namespace
