#include <gtest/gtest.h>

#include "capture/capture_device.h"
#include "platform/test_pattern.h"
#include "tests/support/fake_v4l2.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/server_fixture.h"

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
  CaptureDevice device;
};

TEST_F(V4l2Test, ListsCaptureDevicesBeforeTheTestPattern) {
  char name[80], version[80];
  ASSERT_TRUE(CaptureDevice::GetDriverDescription(0, name, sizeof name, version, sizeof version));
  EXPECT_STREQ(name, "Fake Camera");
  EXPECT_STREQ(version, "Version: 6.1.2");
  ASSERT_TRUE(CaptureDevice::GetDriverDescription(1, name, sizeof name, version, sizeof version));
  EXPECT_STREQ(name, "Owlglance Test Pattern");
  EXPECT_FALSE(CaptureDevice::GetDriverDescription(2, name, sizeof name, version, sizeof version));
}

TEST_F(V4l2Test, GrabsFramesUntilUnpluggedThenStopsCleanly) {
  ASSERT_EQ(device.Create(0, 75), 0);
  int32_t width = 0, height = 0;
  ASSERT_EQ(device.GetImageSize(width, height), 0);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 480);
  ASSERT_EQ(device.StartGrabbing(), 0);
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() >= 10; }));
  int32_t length = device.frameStore.LockAndGetLength();
  std::string image(static_cast<size_t>(std::max(length, 0)), '\0');
  if (length > 0) {
    device.frameStore.CopyAndUnlock(image.data());
  } else {
    device.frameStore.Unlock();
  }
  EXPECT_EQ(DecodeJpeg(image).width, 640);

  camera.Unplug();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  uint64_t after = device.frameStore.PublishedCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(device.frameStore.PublishedCount(), after) << "no frames after the unplug";
  device.StopGrabbing();
  EXPECT_FALSE(device.IsGrabbing());
  EXPECT_EQ(device.StartGrabbing(), -2);
  EXPECT_EQ(device.lastError.errorCategory, ErrStartCaptureFailed);
}

TEST_F(V4l2Test, FormatAndSourceDialogsOfferTheCamerasChoices) {
  ASSERT_EQ(device.Create(0, 75), 0);
  platform::DriverDialog shown;
  device.Window()->SetDialogPresenter([&](platform::DriverDialog& dialog) {
    shown = dialog;
    if (dialog.settings.size() == 2) dialog.settings[0].current = 1;   // 320 x 240
    if (dialog.settings.size() == 1) dialog.settings[0].current = 10;  // brightest
    return true;
  });
  ASSERT_EQ(device.ShowFormatDialog(), 0);
  ASSERT_EQ(shown.settings.size(), 2u);
  EXPECT_EQ(shown.settings[0].choices, (std::vector<std::string>{"640 x 480", "320 x 240"}));
  EXPECT_EQ(shown.settings[1].choices, (std::vector<std::string>{"YUYV 4:2:2", "Motion-JPEG"}));
  int32_t width = 0, height = 0;
  device.GetImageSize(width, height);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(device.frameStore.Capacity(), 320 * 240 * 4);

  ASSERT_EQ(device.ShowSourceDialog(), 0);
  ASSERT_EQ(shown.settings.size(), 1u);
  EXPECT_EQ(shown.settings[0].name, "Brightness");
  EXPECT_EQ(camera.Brightness(), 255);
}

}  // namespace
