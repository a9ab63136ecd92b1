// The desktop program as a person uses it, on a private X display, driven
// through its test driver; message boxes are answered by the driver.
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "settings/settings_store.h"
#include "shell/commands.h"
#include "tests/support/gui_fixture.h"
#include "tests/support/registry_seed.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_parser.h"

namespace {

using MainWindowTest = GuiTest;

TEST_F(MainWindowTest, ShowsTheMovingPreviewAndItsStatus) {
  Start();
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
  session->Send("size");
  EXPECT_EQ(session->WaitForLine("client "), "client 640x480");
  EXPECT_EQ(Ask("picture", "picture"), "picture 640x480");
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::string first = session->Screenshot();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  std::string second = session->Screenshot();
  ASSERT_EQ(first.size(), 1024u * 768 * 3);
  EXPECT_NE(first, second);
}

TEST_F(MainWindowTest, RunningServerStreamsAndRefusesAPreviewChange) {
  Start();
  EXPECT_TRUE(Menu(301).empty());
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Running|Previewing"));
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  ASSERT_TRUE(session->StatusBecomes("0 user(s) connected|Server Running|Previewing"));
  TestClient client(port);
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  ParsedStream stream = ParseStream(client.ReadExactly(4000, 5000));
  EXPECT_TRUE(stream.headOk);
  EXPECT_TRUE(session->StatusBecomes("1 user(s) connected|Server Running|Previewing"));

  EXPECT_EQ(Menu(203),
            std::vector<std::string>{
                "Server Message|Please shut down the server before changing preview mode."});
  // Video > Source opens while serving; the stream goes on.
  ASSERT_TRUE(OpenDialog(201, "Video Source"));
  Ask("press cancel", "pressed");
  ASSERT_TRUE(DialogCommandDone());
  EXPECT_EQ(client.ReadExactly(4000, 5000).size(), 4000u) << "the stream goes on";
  Menu(302);
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
}

// Two cameras: Video > Camera shows each one's preview with its check mark;
// both are served and their viewers counted together; whether one is
// served is kept with it across a restart.
TEST_F(MainWindowTest, VideoCameraSwitchesThePreviewAndEachCameraKeepsItsChoice) {
  using shell::kCmdCameraFirst, shell::kCmdServeCamera;
  auto checked = [&](const auto& id) {
    std::ostringstream line;
    line << "checked " << id;
    return Ask(line.str(), line.str() + " ").substr(line.str().size() + 1);
  };
  Start(0, "pattern@640x480,pattern@320x240");
  EXPECT_EQ(Ask("picture", "picture"), "picture 640x480");
  EXPECT_EQ(checked(kCmdCameraFirst), "1");
  EXPECT_EQ(checked(kCmdCameraFirst + 1), "0");
  EXPECT_EQ(checked(kCmdCameraFirst + 2), "none");
  // Chosen as a person does: the item's event reaches its command.
  Ask("click " + std::to_string(kCmdCameraFirst + 1), "done click");
  EXPECT_EQ(Ask("picture", "picture"), "picture 320x240");
  EXPECT_EQ(checked(kCmdCameraFirst), "0");
  EXPECT_EQ(checked(kCmdCameraFirst + 1), "1");
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));

  EXPECT_TRUE(Menu(301).empty());
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  TestClient first(port), second(port);
  first.Send("GET /video HTTP/1.0\r\n\r\n");
  second.Send("GET /?action=stream_1 HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(ParseStream(first.ReadExactly(4000, 5000)).headOk);
  EXPECT_TRUE(ParseStream(second.ReadExactly(4000, 5000)).headOk);
  EXPECT_TRUE(session->StatusBecomes("2 user(s) connected|Server Running|Previewing"));
  EXPECT_EQ(Menu(kCmdServeCamera),
            std::vector<std::string>{
                "Server Message|Please shut down the server before choosing the cameras served."});
  Menu(302);
  EXPECT_EQ(checked(kCmdServeCamera), "1");
  Ask("click " + std::to_string(kCmdServeCamera), "done click");
  EXPECT_EQ(checked(kCmdServeCamera), "0");
  // Record is the camera's own: on for camera 1, camera 0 stays off.
  EXPECT_EQ(checked("ID_VIDEO_RECORD"), "0");
  EXPECT_TRUE(Menu(shell::kCmdRecord).empty());
  EXPECT_EQ(checked("ID_VIDEO_RECORD"), "1");
  EXPECT_TRUE(
      session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing|Recording"));
  Menu(kCmdCameraFirst);
  EXPECT_EQ(checked("ID_VIDEO_RECORD"), "0");
  Menu(kCmdCameraFirst + 1);
  EXPECT_TRUE(Menu(shell::kCmdRecord).empty());
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));

  Restart();
  EXPECT_EQ(Ask("picture", "picture"), "picture 640x480");
  EXPECT_EQ(checked(kCmdServeCamera), "1");  // the chosen camera is always served
  Menu(kCmdCameraFirst + 1);
  EXPECT_EQ(checked(kCmdServeCamera), "0");
  EXPECT_TRUE(Menu(301).empty());
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  EXPECT_EQ(Exchange(port, "GET /cam/1/video HTTP/1.0\r\n\r\n").substr(0, 12), "HTTP/1.0 404");
  Menu(302);
}

// A small picture leaves the status bar whole: the window is as wide as
// its panes, the picture in the middle.
TEST_F(MainWindowTest, ASmallPictureLeavesEveryPaneWhole) {
  Start(0, "pattern@320x240");
  EXPECT_EQ(Ask("picture", "picture"), "picture 320x240");
  const std::string panes = Ask("panes", "panes");
  std::istringstream in(panes.substr(6));
  int right = 0, width = 0, needs = 0, bar = 0;
  char colon = 0, slash = 0;
  std::string word;
  for (int pane = 0; pane < 4; ++pane) {
    ASSERT_TRUE(in >> right >> colon >> width >> slash >> needs) << panes;
    EXPECT_GT(width, needs) << "pane " << pane << ": " << panes;
  }
  ASSERT_TRUE(in >> word >> bar) << panes;
  EXPECT_LE(right, bar) << panes;
}

// A log that can't be written never holds a request: the window's thread
// shows the one box while every client is answered.
TEST_F(MainWindowTest, AnUnwritableLogHoldsNoRequestAndShowsOneBox) {
  Start(0, "pattern", "\"connections\"=" + RegistryHex32(1) + "\r\n");
  ASSERT_EQ(::mkdir((folder.Path() / "Owlglance.log").c_str(), 0755), 0);
  const size_t skip = session->LineCount();
  EXPECT_TRUE(Menu(301).empty());
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  for (int i = 0; i < 10; ++i)
    EXPECT_EQ(Exchange(port, "POST / HTTP/1.0\r\n\r\n"), "HTTP/1.0 501 Not Implemented\r\n\r\n")
        << i;
  ASSERT_TRUE(Eventually([&] { return !BoxesSince(skip).empty(); }, 5000));
  std::this_thread::sleep_for(std::chrono::seconds(1));
  EXPECT_EQ(BoxesSince(skip), std::vector<std::string>{"owlglance|Error writing to log file!"});
}

TEST_F(MainWindowTest, StartServerFromTheMenuWithTheKeyboard) {
  Start();
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
  // The pointer over the window gives it the keyboard; F10 opens the menu
  // bar at File, two to the right is Server, and its fourth item Start
  // Server (after Setup, Share and Access).
  session->Xdotool("mousemove 300 200");
  session->Xdotool("key F10");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  session->Xdotool("key Right Right");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  session->Xdotool("key Down Down Down Down Return");
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Running|Previewing"));
  EXPECT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
}

TEST_F(MainWindowTest, WithoutACameraStartServerFails) {
  Start(/*driver=*/9);  // no driver at that index
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Not Previewing"));
  session->Send("size");
  EXPECT_EQ(session->WaitForLine("client "), "client 640x480");
  EXPECT_EQ(Menu(301),
            std::vector<std::string>{std::string("Error|") + shell::kStartFailedMessage});
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Not Previewing"));
}

TEST_F(MainWindowTest, StartServerOnABusyPortSaysSoAndALaterStartServesWithoutAStop) {
  Start();
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
  auto holder = std::make_unique<platform::Socket>();
  ASSERT_EQ(holder->Listen(port, 5), 0);
  std::vector<std::string> shown = Menu(301);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("The port chosen may be in use"), std::string::npos) << shown[0];
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));

  holder.reset();
  EXPECT_TRUE(Menu(301).empty());
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Running|Previewing"));
  EXPECT_EQ(Exchange(port, "POST / HTTP/1.0\r\n\r\n"), "HTTP/1.0 501 Not Implemented\r\n\r\n");
}

TEST_F(MainWindowTest, StopServerWithStalledViewersIsQuick) {
  Start();
  EXPECT_TRUE(Menu(301).empty());
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  // Viewers with a small window that never read: their parts stay queued.
  std::vector<TestClient> viewers;
  for (int i = 0; i < 5; ++i) {  // the default client limit
    int fd = ::socket(AF_INET, SOCK_STREAM, 0), window = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    viewers.push_back(TestClient::Adopt(fd));
    viewers.back().Send("GET /video HTTP/1.0\r\n\r\n");
  }
  ASSERT_TRUE(session->StatusBecomes("5 user(s) connected|Server Running|Previewing"));
  std::this_thread::sleep_for(std::chrono::seconds(2));
  auto start = std::chrono::steady_clock::now();
  session->Send("menu 302");
  ASSERT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(MainWindowTest, CamerasOwnJpegIsACheckedMenuItemThatSavesItsSetting) {
  Start();
  for (uint32_t expected : {0u, 1u}) {
    EXPECT_TRUE(Menu(204).empty());
    EXPECT_EQ(Saved().passthrough, expected);
  }
}

TEST_F(MainWindowTest, ExitWithOkWhileStreamingStopsSavesAndEndsWithStatusOne) {
  Start();
  Menu(301);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  ASSERT_TRUE(session->StatusBecomes("0 user(s) connected|Server Running|Previewing"));
  TestClient client(port);
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  client.ReadExactly(1000, 5000);
  std::filesystem::remove(folder.Path() / "config" / "owlglance" / "user.reg");
  session->Send("menu 101");  // answered OK by the driver
  ExpectThankYouThenExit();
  bool closed = false;
  client.ReadAll(2000, &closed);
  EXPECT_TRUE(closed) << "the server stopped";
  EXPECT_EQ(Saved().portnum, static_cast<uint32_t>(port)) << "the settings were saved";
}

TEST_F(MainWindowTest, CloseBoxWhileRunningAsksNothingAndStops) {
  Start();
  Menu(301);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  std::filesystem::remove(folder.Path() / "config" / "owlglance" / "user.reg");
  session->Send("close");
  ExpectThankYouThenExit("dismiss");
  EXPECT_FALSE(TestClient().Connect(port));
  EXPECT_EQ(Saved().portnum, static_cast<uint32_t>(port));
  std::ifstream out(folder.Path() / "driver" / "out");
  for (std::string line; std::getline(out, line);) EXPECT_NE(line.rfind("box ", 0), 0u) << line;
}

}  // namespace
