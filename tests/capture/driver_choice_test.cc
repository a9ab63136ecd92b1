#include "capture/driver_choice.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "capture/capture_device.h"
#include "platform/installed_drivers.h"
#include "platform/test_pattern.h"
#include "tests/support/fake_v4l2.h"
#include "tests/support/server_fixture.h"

namespace {

FakeV4l2* fake = nullptr;

std::vector<std::unique_ptr<platform::CaptureDriver>> FakeCameraThenPattern() {
  auto drivers = platform::ListV4l2Drivers(*fake);
  drivers.push_back(std::make_unique<platform::TestPatternDriver>());
  return drivers;
}

TEST(DriverChoice, NamesComeInIndexOrder) {
  FakeV4l2 camera;
  fake = &camera;
  platform::SetDriverListSource(FakeCameraThenPattern);
  EXPECT_EQ(capture::DriverNames(),
            (std::vector<std::string>{"Fake Camera", "Owlglance Test Pattern"}));
  platform::SetDriverListSource(nullptr);
  ::setenv(platform::kDriverListVariable, "", 1);
  EXPECT_EQ(capture::DriverNames(), std::vector<std::string>{});
  ::setenv(platform::kDriverListVariable, "pattern", 1);
}

TEST(DriverChoice, ThePositionBecomesTheIndexAndAlwaysReconnects) {
  ::setenv(platform::kDriverListVariable, "pattern@320x240,pattern", 1);
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 50), capture::DeviceResult::kOk);
  uint32_t driver = 0;
  int32_t width = 0, height = 0;
  struct Case {
    int position;
    uint32_t stored;
    int32_t width;  // 0: not connected
  };
  for (Case c : {Case{1, 1, 640}, Case{0, 0, 320}, Case{-1, 0xffffffff, 0}, Case{5, 5, 0}}) {
    capture::ChooseDriver(c.position, driver, device);
    EXPECT_EQ(driver, c.stored);
    EXPECT_EQ(device.IsConnected(), c.width != 0) << c.position;
    if (c.width) {
      ASSERT_EQ(device.GetImageSize(width, height), capture::DeviceResult::kOk);
      EXPECT_EQ(width, c.width);
    }
  }

  // The driver in use again: reconnected, with a fresh, empty store.
  capture::ChooseDriver(1, driver, device);
  ASSERT_EQ(device.StartGrabbing(), capture::DeviceResult::kOk);
  ASSERT_TRUE(Eventually([&] { return device.frameStore.PublishedCount() > 0; }));
  device.StopGrabbing();
  ChooseDriver(1, driver, device);
  EXPECT_EQ(capture::FrameStore::Reader(device.frameStore).Length(), 0);
  ::setenv(platform::kDriverListVariable, "pattern", 1);
}

}  // namespace
