// The station: every camera found, numbered as the server serves them,
// each camera's served choice kept under its name, and its files named by it.
#include "station/station.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <thread>

#include "keep/picture_names.h"
#include "platform/installed_drivers.h"
#include "platform/test_pattern.h"
#include "settings/settings_store.h"
#include "tests/support/fake_v4l2.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/registry_seed.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_gaps.h"
#include "tests/support/stream_parser.h"
#include "tests/support/temp_folder.h"

namespace {

class StationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv(platform::kDriverListVariable, "pattern@640x480,pattern@320x240,pattern@1280x720", 1);
    SeedRegistry(folder.Path(), nullptr);
    settings.driver = 1;  // the 320x240 pattern is the chosen camera
  }
  void TearDown() override { ::setenv(platform::kDriverListVariable, "pattern", 1); }

  static int32_t Width(station::Camera& camera) {
    int32_t width = 0, height = 0;
    static_cast<void>(camera.device.GetImageSize(width, height));
    return width;
  }

  TempFolder folder;
  settings::ServerSettings settings;
};

TEST_F(StationTest, TheChosenCameraComesFirstAndEachServedChoiceIsKept) {
  {
    station::Station station(settings);
    ASSERT_TRUE(station.OpenChosen());
    station.OpenOthers();
    ASSERT_EQ(station.Count(), 3u);
    const struct {
      int32_t width;
      const char* name;
      int number;
    } cameras[] = {{320, "Owlglance Test Pattern 320x240", 0},
                   {640, "Owlglance Test Pattern 640x480", 1},
                   {1280, "Owlglance Test Pattern 1280x720", 2}};
    for (size_t n = 0; n < 3; ++n) {
      EXPECT_EQ(Width(station.At(n)), cameras[n].width) << n;
      EXPECT_EQ(station.At(n).name, cameras[n].name) << n;
      EXPECT_EQ(station.ServedNumber(n), cameras[n].number) << n;
    }
    station.SetServed(1, false);
    station.SetServed(0, false);  // the chosen camera is always served
    EXPECT_EQ(station.ServedNumber(0), 0);
    EXPECT_EQ(station.ServedNumber(1), -1);
    EXPECT_EQ(station.ServedNumber(2), 1);
  }
  // The next start: the choice follows the camera, not its place.
  settings.driver = 2;
  station::Station station(settings);
  ASSERT_TRUE(station.OpenChosen());
  station.OpenOthers();
  ASSERT_EQ(station.Count(), 3u);
  EXPECT_EQ(Width(station.At(0)), 1280);
  EXPECT_EQ(Width(station.At(1)), 640);
  EXPECT_EQ(station.ServedNumber(1), -1);
  EXPECT_EQ(station.ServedNumber(2), 1);
}

// Each camera keeps its own interval pictures, named by it, served or not.
TEST_F(StationTest, EachCameraKeepsPicturesUnderItsName) {
  settings.intervalon = 1;
  settings.interval = 1;
  settings.intervaldir = (folder.Path() / "pictures").string();
  settings::SaveCameraSwitch("Owlglance Test Pattern 1280x720", "served", false);
  station::Station station(settings);
  ASSERT_TRUE(station.OpenChosen());
  station.OpenOthers();
  auto count = [&](const std::string& camera) {
    size_t n = 0;
    if (std::filesystem::is_directory(settings.intervaldir))
      for (const auto& entry : std::filesystem::directory_iterator(settings.intervaldir))
        n += keep::IsIntervalPicture(entry.path().filename().string(), camera) ? 1 : 0;
    return n;
  };
  EXPECT_TRUE(Eventually(
      [&] {
        return count("Owlglance Test Pattern 320x240") > 0 &&
               count("Owlglance Test Pattern 640x480") > 0 &&
               count("Owlglance Test Pattern 1280x720") > 0;
      },
      8000));
  station.Close();
  EXPECT_EQ(count(""), 0u);  // no picture without its camera's name
  EXPECT_FALSE(station.Records(1));
  EXPECT_FALSE(station.At(1).keeper.Recording());
}

FakeV4l2* fakeCamera = nullptr;

// The fake camera, then the test pattern, as a machine would list them.
std::vector<std::unique_ptr<platform::CaptureDriver>> FakeCameraAndPattern() {
  auto drivers = platform::ListV4l2Drivers(*fakeCamera);
  drivers.push_back(std::make_unique<platform::TestPatternDriver>());
  return drivers;
}

// The "no camera" picture is a dark blue; the fake camera's frames are grey.
bool ShowsNoCamera(const std::string& jpeg) {
  const DecodedJpeg picture = DecodeJpeg(jpeg);
  return picture.ok && picture.Pixel(0, 0)[2] > picture.Pixel(0, 0)[0] + 15;
}
bool ShowsGrey(const std::string& jpeg) {
  const DecodedJpeg picture = DecodeJpeg(jpeg);
  return picture.ok && std::abs(picture.Pixel(0, 0)[2] - picture.Pixel(0, 0)[0]) < 8;
}

// A stream's bytes as they come, and the last picture in them.
struct Watching {
  TestClient& viewer;
  std::string received;
  std::string LastPicture(int ms) {
    received += viewer.ReadAll(ms);
    const ParsedStream stream = ParseStream(received);
    return stream.images.empty() ? std::string() : stream.images.back();
  }
};

// A camera unplugged while served: its viewers see "no camera" while the
// pattern's stream on undisturbed, and it comes back at its own number.
TEST(StationAwayTest, OneCameraGoneLeavesTheOthersStreamingAndComesBackAtItsNumber) {
  TempFolder folder;
  SeedRegistry(folder.Path(), nullptr);
  FakeV4l2 camera;
  fakeCamera = &camera;
  platform::SetDriverListSource(FakeCameraAndPattern);
  settings::ServerSettings settings;
  settings.driver = 1;  // the pattern is camera 0, the fake camera camera 1
  settings.portnum = static_cast<uint32_t>(FreePort());
  {
    station::Station station(settings);
    ASSERT_TRUE(station.OpenChosen());
    station.OpenOthers();
    ASSERT_EQ(station.Count(), 2u);
    ASSERT_EQ(station.Server().StartServer(), server::StartResult::kStarted);
    const int port = static_cast<int>(settings.portnum);
    std::vector<TestClient> patternViewers;
    for (int i = 0; i < 3; ++i) {
      patternViewers.emplace_back(port);
      patternViewers.back().Send("GET /video HTTP/1.0\r\n\r\n");
      ASSERT_EQ(patternViewers.back().ReadExactly(2000, 3000).size(), 2000u);
    }
    TestClient cameraViewer(port);
    cameraViewer.Send("GET /cam/1/video HTTP/1.0\r\n\r\n");
    Watching watching{cameraViewer, {}};
    EXPECT_TRUE(ShowsGrey(watching.LastPicture(1000)));

    std::thread unplug([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
      camera.Unplug();
    });
    const auto worst = WorstGapWhileAVisitorComesAndGoes(patternViewers, port, 3);
    unplug.join();
    EXPECT_GT(worst.count(), 0) << "a pattern viewer's stream ended";
    EXPECT_LT(worst, kWorstGapOnABusyMachine) << "the loop waited on the camera gone";
    EXPECT_TRUE(ShowsNoCamera(watching.LastPicture(1500)));

    camera.Replug(2);
    EXPECT_TRUE(Eventually([&] { return ShowsGrey(watching.LastPicture(300)); }, 5000))
        << "live again on the same connection";
    TestClient again(port);
    again.Send("GET /cam/1/video HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(ShowsGrey(Watching{again, {}}.LastPicture(1000))) << "and at the same number";
  }
  platform::SetDriverListSource(nullptr);
}

}  // namespace
