#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "capture/capture_device.h"
#include "capture/jpeg_passthrough.h"
#include "platform/installed_drivers.h"
#include "platform/test_pattern.h"
#include "platform/thread.h"
#include "tests/support/command.h"
#include "tests/support/fake_v4l2.h"
#include "tests/support/frame_publish.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/pictures.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_parser.h"

namespace {

FakeV4l2* fake = nullptr;

// The fake camera first, then the test pattern, as the real list would be.
std::vector<std::unique_ptr<platform::CaptureDriver>> FakeList() {
  auto drivers = platform::ListV4l2Drivers(*fake);
  drivers.push_back(std::make_unique<platform::TestPatternDriver>());
  return drivers;
}

class V4l2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    fake = &camera;
    platform::SetDriverListSource(FakeList);
  }
  void TearDown() override {
    device.Destroy();
    platform::SetDriverListSource(nullptr);
  }
  FakeV4l2 camera;
  capture::CaptureDevice device;
};

TEST_F(V4l2Test, ListsCaptureDevicesBeforeTheTestPattern) {
  char name[80], version[80];
  ASSERT_TRUE(
      capture::CaptureDevice::GetDriverDescription(0, name, sizeof name, version, sizeof version));
  EXPECT_STREQ(name, "Fake Camera");
  EXPECT_STREQ(version, "Version: 6.1.2");
  ASSERT_TRUE(
      capture::CaptureDevice::GetDriverDescription(1, name, sizeof name, version, sizeof version));
  EXPECT_STREQ(name, "Owlglance Test Pattern");
  EXPECT_FALSE(
      capture::CaptureDevice::GetDriverDescription(2, name, sizeof name, version, sizeof version));
}

TEST_F(V4l2Test, GrabsFramesOfTheCamerasSize) {
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  int32_t width = 0, height = 0;
  ASSERT_EQ(device.GetImageSize(width, height), capture::DeviceResult::kOk);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() >= 10; }));
  EXPECT_EQ(DecodeJpeg(StoredImage(device.frameStore)).width, 640);
  device.StopGrabbing();
  EXPECT_FALSE(device.IsGrabbing());
}

TEST_F(V4l2Test, TheFormatDialogListsTheSizesFrameRatesAndSetsTheChosenOne) {
  auto drivers = platform::ListV4l2Drivers(camera);
  ASSERT_EQ(drivers.size(), 1u);
  platform::CaptureDriver& driver = *drivers[0];
  ASSERT_TRUE(driver.Open());
  platform::DriverDialog dialog = driver.Dialog(platform::DialogKind::Format);
  ASSERT_EQ(dialog.settings.size(), 3u);
  EXPECT_EQ(dialog.settings[2].name, "Frame rate");
  EXPECT_EQ(dialog.settings[2].choices, (std::vector<std::string>{"30 fps", "15 fps"}));
  EXPECT_EQ(dialog.settings[2].current, 0);
  ASSERT_TRUE(driver.Apply(platform::DialogKind::Format,
                           {dialog.settings[0].current, dialog.settings[1].current, 1}));
  EXPECT_EQ(camera.Interval(), "1/15");
  EXPECT_EQ(driver.Dialog(platform::DialogKind::Format).settings[2].current, 1);
  ASSERT_TRUE(driver.Apply(platform::DialogKind::Format, {0, 0}))
      << "without a rate, as before: the camera keeps its own";
  EXPECT_EQ(camera.Interval(), "1/15");
}

TEST_F(V4l2Test, AGoneCameraIsClosedAtOnceAndFoundAgainUnderAnotherNumber) {
  auto drivers = platform::ListV4l2Drivers(camera);
  ASSERT_EQ(drivers.size(), 1u) << "the metadata node is no camera";
  platform::CaptureDriver& driver = *drivers[0];
  ASSERT_TRUE(driver.Open());
  ASSERT_TRUE(driver.Apply(platform::DialogKind::Format, {1, 0}));  // 320 x 240
  ASSERT_TRUE(driver.StartStreaming());
  std::vector<uint8_t> frame;
  ASSERT_EQ(driver.NextFrame(frame, 1000), platform::FrameResult::Frame);
  EXPECT_EQ(camera.Mapped(), 4);

  camera.Unplug();
  EXPECT_EQ(driver.NextFrame(frame, 1000), platform::FrameResult::Gone);
  EXPECT_EQ(camera.Mapped(), 0) << "unmapped and closed at once";
  EXPECT_FALSE(driver.Reconnect());
  camera.Replug(2);
  ASSERT_TRUE(driver.Reconnect());
  EXPECT_EQ(driver.Format().biWidth, 320) << "the format it had";
  EXPECT_EQ(driver.NextFrame(frame, 1000), platform::FrameResult::Frame);
  EXPECT_EQ(frame.size(), 320u * 240 * 2);

  camera.FlagNextFramesAsErrors(2);  // a glitch or two: still there
  for (int i = 0; i < 3; ++i) EXPECT_NE(driver.NextFrame(frame, 1000), platform::FrameResult::Gone);
  camera.FlagNextFramesAsErrors(3);
  platform::FrameResult result = platform::FrameResult::Timeout;
  for (int i = 0; i < 5 && result != platform::FrameResult::Gone; ++i)
    result = driver.NextFrame(frame, 1000);
  EXPECT_EQ(result, platform::FrameResult::Gone) << "three bad buffers in a row";

  camera.Replug(0);
  ASSERT_TRUE(driver.Reconnect());
  camera.Stall(true);  // there, but silent
  auto start = std::chrono::steady_clock::now();
  while (driver.NextFrame(frame, 100) == platform::FrameResult::Timeout) {
  }
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
  EXPECT_EQ(camera.Mapped(), 0);
}

TEST_F(V4l2Test, FormatAndSourceDialogsOfferTheCamerasChoices) {
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  platform::DriverDialog shown;
  device.Window()->SetDialogPresenter([&](platform::DriverDialog& dialog) {
    shown = dialog;
    if (dialog.settings.size() == 3) dialog.settings[0].current = 1;   // 320 x 240
    if (dialog.settings.size() == 1) dialog.settings[0].current = 10;  // brightest
    return true;
  });
  ASSERT_EQ(device.ShowFormatDialog(), capture::DeviceResult::kOk);
  ASSERT_EQ(shown.settings.size(), 3u);  // size, pixel format, frame rate
  EXPECT_EQ(shown.settings[0].choices, (std::vector<std::string>{"640 x 480", "320 x 240"}));
  EXPECT_EQ(shown.settings[1].choices, (std::vector<std::string>{"YUYV 4:2:2", "Motion-JPEG"}));
  int32_t width = 0, height = 0;
  ASSERT_EQ(device.GetImageSize(width, height), capture::DeviceResult::kOk);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(device.frameStore.Capacity(), 320 * 240 * 4);

  device.SetSourcePresenter([](capture::SourceControls& controls) {
    controls.Change(V4L2_CID_BRIGHTNESS, 255);
    return true;
  });
  ASSERT_EQ(device.ShowSourceDialog(), capture::DeviceResult::kOk);
  EXPECT_EQ(camera.Brightness(), 255);
}

// What a camera's user chose, kept as the settings file would keep it.
class MemoryInTest : public capture::CameraMemory {
 public:
  capture::CameraChoices Recall(const std::string& camera) override { return kept[camera]; }
  void Keep(const std::string& camera, const capture::CameraChoices& choices) override {
    kept[camera] = choices;
  }
  std::map<std::string, capture::CameraChoices> kept;
};

// The camera comes back as it was chosen: after a restart, after Select
// Driver, and after an unplug; automatic modes before what they rule, and
// a value the camera refuses skipped.
TEST_F(V4l2Test, ChosenFormatAndControlsComeBackAfterARestartAndAnUnplug) {
  MemoryInTest memory;
  device.SetCameraMemory(&memory);
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  const std::string name = device.Window()->StableName();
  EXPECT_EQ(name, "Fake Camera @ usb-0000:00:14.0-2");
  device.Window()->SetDialogPresenter([](platform::DriverDialog& dialog) {
    dialog.settings[0].current = 1;  // 320 x 240
    dialog.settings[1].current = 1;  // Motion-JPEG
    return true;
  });
  ASSERT_EQ(device.ShowFormatDialog(), capture::DeviceResult::kOk);
  device.SetSourcePresenter([](capture::SourceControls& controls) {
    controls.Change(V4L2_CID_BRIGHTNESS, 10);
    controls.Change(V4L2_CID_EXPOSURE_AUTO, 1);  // manual: the absolute exposure opens
    controls.Change(V4L2_CID_EXPOSURE_ABSOLUTE, 500);
    return true;
  });
  ASSERT_EQ(device.ShowSourceDialog(), capture::DeviceResult::kOk);
  EXPECT_EQ(memory.kept[name].format, "MJPG 320x240 1/30");
  EXPECT_EQ(capture::ControlsText(memory.kept[name].controls),
            "9963776=10 10094849=1 10094850=500");

  struct Case {
    const char* when;
    std::function<void()> comeBack;
  };
  const Case cases[] = {
      {"restart",
       [&] {
         device.Destroy();
         camera.Replug(0);  // the camera at its own values again
         ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
       }},
      {"select driver",
       [&] {
         ASSERT_EQ(device.Connect(1), capture::DeviceResult::kOk);  // the test pattern
         camera.Replug(0);
         ASSERT_EQ(device.Connect(0), capture::DeviceResult::kOk);
       }},
      {"unplug",
       [&] {
         ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
         camera.Unplug();
         // Gone for the capture thread too: it has let go of the buffers.
         ASSERT_TRUE(Eventually([&] { return device.Window()->CameraAway(); }, 5000));
         camera.Replug(2);
         ASSERT_TRUE(
             Eventually([&] { return camera.Control(V4L2_CID_EXPOSURE_ABSOLUTE) == 500; }, 5000));
         device.StopGrabbing();
       }},
  };
  for (const Case& c : cases) {
    c.comeBack();
    EXPECT_EQ(camera.Brightness(), 10) << c.when;
    EXPECT_EQ(camera.Control(V4L2_CID_EXPOSURE_AUTO), 1) << c.when;
    EXPECT_EQ(camera.Control(V4L2_CID_EXPOSURE_ABSOLUTE), 500) << c.when;
    int32_t width = 0, height = 0;
    ASSERT_EQ(device.GetImageSize(width, height), capture::DeviceResult::kOk);
    EXPECT_EQ(width, 320) << c.when;
    EXPECT_EQ(device.FormatName(), "MJPG") << c.when;
  }

  // A value the camera no longer takes is skipped; the rest still come.
  device.Destroy();
  camera.Replug(0);
  camera.Refuse(V4L2_CID_BRIGHTNESS, 10);
  ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
  EXPECT_EQ(camera.Brightness(), 128);
  EXPECT_EQ(camera.Control(V4L2_CID_EXPOSURE_ABSOLUTE), 500);

  // Defaults forgets them.
  device.SetSourcePresenter([](capture::SourceControls& controls) {
    controls.Defaults();
    return true;
  });
  ASSERT_EQ(device.ShowSourceDialog(), capture::DeviceResult::kOk);
  EXPECT_TRUE(memory.kept[name].controls.empty());
  EXPECT_EQ(camera.Control(V4L2_CID_EXPOSURE_AUTO), 3);
}

// The camera unplugged under a live stream, then plugged in again.
class CameraAwayTest : public ServerFixture {
 protected:
  void SetUp() override {
    fake = &camera;
    platform::SetDriverListSource(FakeList);
    ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
    ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
    ASSERT_EQ(device.StartPreview(), capture::DeviceResult::kOk);
    StartListener();
  }
  void TearDown() override {
    ServerFixture::TearDown();
    device.Destroy();
    platform::SetDriverListSource(nullptr);
  }
  // The "no camera" picture is a dark blue; the fake camera's frames are grey.
  static bool ShowsNoCamera(const std::string& jpeg) {
    DecodedJpeg picture = DecodeJpeg(jpeg);
    return picture.ok && picture.Pixel(0, 0)[2] > picture.Pixel(0, 0)[0] + 15;
  }
  static bool ShowsGrey(const std::string& jpeg) {
    DecodedJpeg picture = DecodeJpeg(jpeg);
    return picture.ok && std::abs(picture.Pixel(0, 0)[2] - picture.Pixel(0, 0)[0]) < 8;
  }
  FakeV4l2 camera;
};

TEST_F(CameraAwayTest, StreamsAndThePreviewShowNoCameraUntilItComesBack) {
  TestClient client(Port());
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  std::string received = client.ReadAll(2000);
  ParsedStream live = ParseStream(received);
  ASSERT_GE(live.images.size(), 10u);
  EXPECT_TRUE(ShowsGrey(live.images.back()));

  camera.Unplug();
  received += client.ReadAll(2000);
  size_t seen = ParseStream(received).images.size();
  ASSERT_TRUE(ShowsNoCamera(ParseStream(received).images.back())) << "within 2 s";
  for (int second = 0; second < 10; ++second) {
    received += client.ReadAll(1000);
    ParsedStream away = ParseStream(received);
    EXPECT_GT(away.images.size(), seen) << "at least one part a second";
    seen = away.images.size();
    EXPECT_TRUE(ShowsNoCamera(away.images.back()));
  }
  platform::BitmapInfoHeader header;
  std::vector<uint8_t> rows;
  ASSERT_TRUE(device.Window()->PreviewPicture(header, rows));
  EXPECT_GT(rows[0], rows[2] + 15) << "the preview shows it too (BGR)";
  EXPECT_TRUE(device.IsGrabbing());
  EXPECT_TRUE(device.IsPreviewing());

  camera.Replug(2);
  received += client.ReadAll(2000);
  ParsedStream back = ParseStream(received);
  EXPECT_TRUE(back.whole);
  EXPECT_TRUE(ShowsGrey(back.images.back())) << "live again on the same connection";
}

TEST_F(CameraAwayTest, ACameraThatWentAwayWhileNothingCapturedIsLookedForAgain) {
  device.StopGrabbing();
  device.StopPreview();
  camera.Unplug();
  // Preview on: the "no camera" picture, not a frozen one.
  ASSERT_EQ(device.StartPreview(), capture::DeviceResult::kOk);
  platform::BitmapInfoHeader header;
  std::vector<uint8_t> rows;
  EXPECT_TRUE(Eventually(
      [&] { return device.Window()->PreviewPicture(header, rows) && rows[0] > rows[2] + 15; },
      3000));
  // Start Server with the camera away starts, and serves the same picture.
  ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
  TestClient client(Port());
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  std::string received = client.ReadAll(1500);
  ASSERT_FALSE(ParseStream(received).images.empty());
  EXPECT_TRUE(ShowsNoCamera(ParseStream(received).images.back()));
  // Plugged back in: live frames within 2 s, on the same connection.
  camera.Replug(0);
  received += client.ReadAll(2000);
  EXPECT_TRUE(ShowsGrey(ParseStream(received).images.back()));
}

// A Motion-JPEG camera at 640 x 480 sending real JPEG files, streamed.
class MotionJpegCameraTest : public ServerFixture {
 protected:
  void SetUp() override {
    fake = &camera;
    platform::SetDriverListSource(FakeList);
    ASSERT_EQ(device.Create(0, 75), capture::DeviceResult::kOk);
    device.Window()->SetDialogPresenter([](platform::DriverDialog& dialog) {
      dialog.settings.at(1).current = 1;  // Motion-JPEG
      return true;
    });
    ASSERT_EQ(device.ShowFormatDialog(), capture::DeviceResult::kOk);
    StartListener();
  }
  void TearDown() override {
    ServerFixture::TearDown();
    device.Destroy();
    platform::SetDriverListSource(nullptr);
  }
  FakeV4l2 camera;
};

TEST_F(MotionJpegCameraTest, StreamsTheCamerasOwnImagesAndDropsWhatIsNotAWholeOne) {
  const std::string hd = CameraJpeg(1280, 720), fullHd = CameraJpeg(1920, 1080);
  const std::string big = CameraJpeg(1920, 1080, 100);
  ASSERT_GT(big.size(), static_cast<size_t>(device.frameStore.Capacity()))
      << "larger than the store";
  camera.SendJpegFrames({hd, WithoutHuffmanTables(fullHd), hd.substr(0, hd.size() / 2),
                         hd + std::string(100, '\0'), big});
  ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
  TestClient client(Port());
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  bool closed = false;
  ParsedStream stream = ParseStream(client.ReadAll(2500, &closed));
  EXPECT_FALSE(closed) << "no client is closed for a bad frame";
  const std::vector<uint8_t> fullHdPixels = DecodeJpeg(fullHd).rgb;
  int asSent = 0, completed = 0;
  for (const std::string& image : stream.images) {
    if (image == hd) {
      ++asSent;  // also the one with zeros behind it
    } else if (image.size() ==
               WithoutHuffmanTables(fullHd).size() + capture::StandardHuffmanSegment().size()) {
      ++completed;  // the tables put back
      EXPECT_TRUE(DecodeJpeg(image).rgb == fullHdPixels);
      std::ofstream(folder.Path() / "completed.jpg", std::ios::binary) << image;
    } else {
      ADD_FAILURE() << "an image the camera did not send whole: " << image.size() << " bytes";
    }
  }
  EXPECT_GE(asSent, 2);
  EXPECT_GE(completed, 1);
  EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=width,height -of csv=p=0 '" +
                       (folder.Path() / "completed.jpg").string() + "'"),
            "1920,1080\n");
}

size_t Entries(const char* folder) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

TEST_F(CameraAwayTest, UnplugAndReplugCyclesLeaveNothingBehind) {
  // The server's connections come and go on their own time; only the
  // camera's descriptors and threads are counted.
  ASSERT_TRUE(StopListener());
  platform::EndIdleThreads();  // the probe's worker, kept for reuse
  const size_t threads = Entries("/proc/self/task"), descriptors = Entries("/proc/self/fd");
  for (int cycle = 0; cycle < 10; ++cycle) {
    uint64_t before = device.frameStore.PublishedCount();
    camera.Unplug();
    ASSERT_TRUE(Eventually([&] { return camera.Mapped() == 0; }, 3000));
    camera.Replug(cycle % 3 * 2);
    ASSERT_TRUE(Eventually([&] { return camera.Mapped() == 4; }, 3000)) << cycle;
    ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() > before + 5; }));
  }
  platform::EndIdleThreads();
  EXPECT_EQ(Entries("/proc/self/task"), threads);
  EXPECT_EQ(Entries("/proc/self/fd"), descriptors);
  device.Destroy();
  EXPECT_EQ(camera.Mapped(), 0);
}

}  // namespace
