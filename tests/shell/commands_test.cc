#include "shell/commands.h"

#include <gtest/gtest.h>

#include "capture/capture_device.h"
#include "server/server_controller.h"
#include "tests/support/fake_message_box.h"
#include "tests/support/fake_program.h"
#include "tests/support/server_fixture.h"

namespace {

using Lines = std::vector<std::string>;

// The main window as the commands see it: it records what they ask of it.
class RecordingWindow : public shell::CommandWindow {
 public:
  void FitWindowToVideo() override { calls.push_back("fit"); }
  void RunSetupDialog() override { calls.push_back("setup"); }
  void RunDriverDialog() override { calls.push_back("driver"); }
  void RunAboutDialog() override { calls.push_back("about"); }
  void RunWizard() override { calls.push_back("wizard"); }
  void RunShareDialog() override { calls.push_back("share"); }
  void RunAccessDialog() override { calls.push_back("access"); }
  void TogglePassThrough() override { calls.push_back("passthrough"); }
  void SavePicture() override { calls.push_back("save picture"); }
  void RunIntervalDialog() override { calls.push_back("interval"); }
  void ToggleRecording() override { calls.push_back("record"); }
  void StopKeeping() override { calls.push_back("stop keeping"); }
  void CloseWindow() override { calls.push_back("close"); }
  Lines Take() { return std::exchange(calls, {}); }
  Lines calls;
};

class CommandsTest : public ::testing::Test {
 protected:
  void Make(int driver = 0) {
    settings.portnum = static_cast<uint32_t>(FreePort());
    EXPECT_EQ(device.Create(driver, 50), capture::DeviceResult::kOk);
    controller = std::make_unique<server::ServerController>(settings, device);
    commands = std::make_unique<shell::Commands>(window, device, *controller);
  }
  // "caption|text" of every box shown since the last call.
  Lines Boxes() {
    Lines lines;
    auto shown = boxes.Boxes();
    for (size_t i = seen_; i < shown.size(); ++i)
      lines.push_back(shown[i].caption + "|" + shown[i].text);
    seen_ = shown.size();
    return lines;
  }
  void TearDown() override {
    commands.reset();
    controller.reset();
  }

  TempFolder folder;
  FakeMessageBox boxes;
  settings::ServerSettings settings;
  capture::CaptureDevice device;
  RecordingWindow window;
  std::unique_ptr<server::ServerController> controller;
  std::unique_ptr<shell::Commands> commands;

 private:
  size_t seen_ = 0;
};

TEST_F(CommandsTest, WhileTheServerRunsTheVideoCommandsRefuseAndTheRestWork) {
  Make();
  commands->Run(shell::kCmdPreview);
  ASSERT_TRUE(device.IsPreviewing());
  commands->Run(shell::kCmdStartServer);
  ASSERT_EQ(commands->ServerRunning(), 1);
  EXPECT_TRUE(Eventually([&] { return TestClient().Connect(static_cast<int>(settings.portnum)); }));
  struct Case {
    int id;
    Lines boxes, calls;
  };
  const std::string refused = "Server Message|Please shut down the server before ";
  const Case cases[] = {
      {shell::kCmdPreview, {refused + "changing preview mode."}, {}},
      {shell::kCmdSelectDriver, {refused + "changing video drivers."}, {}},
      {shell::kCmdFormat, {refused + "making changes to the Video Format."}, {}},
      {shell::kCmdSource, {}, {"fit"}},
      {shell::kCmdWizard, {refused + "using the wizard."}, {}},
      {shell::kCmdSetup, {}, {"setup"}},
      {shell::kCmdShare, {}, {"share"}},
      {shell::kCmdAccess, {}, {"access"}},
      {shell::kCmdPassThrough, {}, {"passthrough"}},
      {shell::kCmdSavePicture, {}, {"save picture"}},
      {shell::kCmdPicturesEvery, {}, {"interval"}},
      {shell::kCmdRecord, {}, {"record"}},
      {shell::kCmdAbout, {}, {"about"}},
      {shell::kCmdStartServer, {}, {}},  // a second start does nothing
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(commands->Run(c.id));
    EXPECT_EQ(Boxes(), c.boxes) << c.id;
    EXPECT_EQ(window.Take(), c.calls) << c.id;
  }
  EXPECT_TRUE(device.IsPreviewing()) << "the refused Preview changed nothing";
  EXPECT_TRUE(device.IsGrabbing());

  commands->Run(shell::kCmdStopServer);
  EXPECT_EQ(commands->ServerRunning(), 0);
  EXPECT_FALSE(device.IsGrabbing());
  commands->Run(shell::kCmdStopServer);  // stopped: nothing
  const Case stopped[] = {
      {shell::kCmdSelectDriver, {}, {"driver"}},
      {shell::kCmdWizard, {}, {"wizard"}},
      {shell::kCmdFormat, {}, {"fit"}},
      {shell::kCmdSource, {}, {"fit"}},
      {shell::kCmdPreview, {}, {}},
      {shell::kCmdShare, {}, {"share"}},
      {shell::kCmdAccess, {}, {"access"}},
      {shell::kCmdSavePicture, {}, {"save picture"}},
      {shell::kCmdPicturesEvery, {}, {"interval"}},
      {shell::kCmdRecord, {}, {"record"}},
  };
  for (const Case& c : stopped) {
    commands->Run(c.id);
    EXPECT_EQ(Boxes(), c.boxes) << c.id;
    EXPECT_EQ(window.Take(), c.calls) << c.id;
  }
  EXPECT_FALSE(device.IsPreviewing()) << "Preview toggles";
  EXPECT_FALSE(commands->Run(999));
}

TEST_F(CommandsTest, WithoutACameraStartFailsAndVideoCommandsDoNothing) {
  Make(/*driver=*/9);
  commands->Run(shell::kCmdStartServer);
  EXPECT_EQ(Boxes(), Lines{std::string("Error|") + shell::kStartFailedMessage});
  EXPECT_EQ(commands->ServerRunning(), 0);
  for (int id : {shell::kCmdPreview, shell::kCmdFormat, shell::kCmdSource}) commands->Run(id);
  EXPECT_EQ(Boxes(), Lines{});
  EXPECT_EQ(window.Take(), Lines{});
  EXPECT_FALSE(device.IsPreviewing());
}

TEST_F(CommandsTest, ViewLogAndReadmeOpenTheirFilesOrSaySoWhenMissing) {
  Make();
  FakePrograms programs;
  programs.Add("xdg-open");
  commands->Run(shell::kCmdViewLog);
  commands->Run(shell::kCmdReadme);
  EXPECT_EQ(Boxes(), (Lines{"ERROR|No log file exists!", "ERROR|Readme file missing!"}));
  folder.Write("Owlglance.log", "");
  commands->Run(shell::kCmdViewLog);
  EXPECT_EQ(programs.Recorded("xdg-open"), "./Owlglance.log\n");
  EXPECT_EQ(Boxes(), Lines{});

  // The readme opens only where a program opens PDF files; elsewhere the
  // box says where it is, at once.
  folder.Write("readme.pdf", "%PDF-1.4");
  const std::string data = (folder.Path() / "data").string();
  ::setenv("XDG_DATA_HOME", data.c_str(), 1);
  ::setenv("XDG_DATA_DIRS", data.c_str(), 1);
  ::setenv("XDG_CONFIG_DIRS", data.c_str(), 1);
  commands->Run(shell::kCmdReadme);
  EXPECT_EQ(Boxes(), Lines{"Readme|" + std::string(shell::kNoPdfViewerMessage) +
                           (folder.Path() / "readme.pdf").string()});
  folder.Write("data/applications/viewer.desktop", "[Desktop Entry]\nExec=viewer %f\n");
  folder.Write("data/applications/mimeinfo.cache",
               "[MIME Cache]\napplication/pdf=viewer.desktop;\n");
  commands->Run(shell::kCmdReadme);
  EXPECT_EQ(Boxes(), Lines{});
  EXPECT_TRUE(Eventually(
      [&] { return programs.Recorded("xdg-open").find("readme.pdf") != std::string::npos; }));
  for (const char* name : {"XDG_DATA_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"}) ::unsetenv(name);
}

TEST_F(CommandsTest, ExitAsksAndOnOkStopsTheServerBeforeClosing) {
  Make();
  boxes.Script(platform::kIdCancel);
  commands->Run(shell::kCmdExit);
  EXPECT_EQ(Boxes(), Lines{"Quit?|Are you sure you want to quit?"});
  EXPECT_EQ(window.Take(), Lines{}) << "Cancel changes nothing";

  commands->Run(shell::kCmdStartServer);
  ASSERT_EQ(commands->ServerRunning(), 1);
  commands->Run(shell::kCmdExit);  // answered OK
  EXPECT_EQ(Boxes(), Lines{"Quit?|Are you sure you want to quit?"});
  EXPECT_EQ(commands->ServerRunning(), 0);
  EXPECT_FALSE(controller->IsRunning());
  EXPECT_FALSE(device.IsGrabbing());
  EXPECT_EQ(window.Take(), (Lines{"stop keeping", "close"}));
}

}  // namespace
