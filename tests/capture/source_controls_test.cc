#include "capture/source_controls.h"

#include <gtest/gtest.h>

#include "platform/test_pattern.h"
#include "tests/support/fake_v4l2.h"

namespace {

using Kind = platform::CameraControl::Kind;

// The dialog's unit straight on a V4L2 driver over the fake camera.
class DriverControls : public capture::ControlAccess {
 public:
  explicit DriverControls(platform::CaptureDriver& driver) : driver_(driver) {}
  std::vector<platform::CameraControl> Controls() override { return driver_.Controls(); }
  bool SetControl(uint32_t id, int32_t value) override { return driver_.SetControl(id, value); }

 private:
  platform::CaptureDriver& driver_;
};

class SourceControlsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(driver.Open()); }
  FakeV4l2 camera;
  platform::V4l2Driver driver{camera, "/dev/video0", "Fake Camera", "Version: 6.1.2",
                              "usb-0000:00:14.0-2"};
  DriverControls access{driver};
};

TEST_F(SourceControlsTest, EveryControlIsARowUnderItsHeading) {
  capture::SourceControls controls(access);
  struct Row {
    const char* name;
    Kind kind;
    bool enabled;
    int32_t value;
    std::vector<std::string> items;
  };
  const Row expected[] = {
      {"User Controls", Kind::kHeading, false, 0, {}},
      {"Brightness", Kind::kInteger, true, 128, {}},
      {"White Balance, Automatic", Kind::kBoolean, true, 1, {}},
      {"Power Line Frequency", Kind::kMenu, true, 1, {"Disabled", "50 Hz", "60 Hz"}},
      {"White Balance Temperature", Kind::kInteger, false, 4600, {}},  // automatic rules it
      {"Camera Controls", Kind::kHeading, false, 0, {}},
      {"Auto Exposure", Kind::kMenu, true, 3, {"Manual Mode", "Aperture Priority Mode"}},
      {"Exposure Time, Absolute", Kind::kInteger, false, 250, {}},
      {"Auto Exposure, Bias", Kind::kIntegerMenu, true, 2, {"-2000", "-1000", "0", "1000", "2000"}},
      {"Auto Focus, Start", Kind::kButton, true, 0, {}},
  };
  ASSERT_EQ(controls.Rows().size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); ++i) {
    const auto& row = controls.Rows()[i];
    EXPECT_EQ(row.name, expected[i].name);
    EXPECT_EQ(row.kind, expected[i].kind) << row.name;
    EXPECT_EQ(capture::SourceControls::Enabled(row), expected[i].enabled) << row.name;
    EXPECT_EQ(row.value, expected[i].value) << row.name;
    std::vector<std::string> items;
    for (const auto& item : row.items) items.push_back(item.second);
    EXPECT_EQ(items, expected[i].items) << row.name;
  }
  EXPECT_EQ(controls.Rows()[6].items[1].first, 3) << "a menu's items keep their values";
}

TEST_F(SourceControlsTest, ChangesReachTheCameraAndCancelPutsBackWhatWasThere) {
  capture::SourceControls controls(access);
  EXPECT_FALSE(controls.Change(V4L2_CID_BRIGHTNESS, 300)) << "no other row follows it";
  EXPECT_EQ(camera.Brightness(), 255) << "held to its range";
  EXPECT_FALSE(controls.Change(V4L2_CID_EXPOSURE_ABSOLUTE, 500)) << "inactive: not set";
  EXPECT_EQ(camera.Control(V4L2_CID_EXPOSURE_ABSOLUTE), 250);

  EXPECT_TRUE(controls.Change(V4L2_CID_EXPOSURE_AUTO, 1)) << "manual: the rows are read again";
  EXPECT_TRUE(capture::SourceControls::Enabled(controls.Rows()[7]));
  controls.Change(V4L2_CID_EXPOSURE_ABSOLUTE, 500);
  controls.Change(V4L2_CID_AUTO_WHITE_BALANCE, 0);
  controls.Change(V4L2_CID_WHITE_BALANCE_TEMPERATURE, 5327);
  EXPECT_EQ(camera.Control(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 5320) << "to its step of 10";
  EXPECT_EQ(camera.Control(V4L2_CID_EXPOSURE_ABSOLUTE), 500);
  EXPECT_EQ(controls.Changed().size(), 5u);

  controls.Cancel();
  for (auto [id, value] : {std::pair{V4L2_CID_BRIGHTNESS, 128},
                           {V4L2_CID_EXPOSURE_AUTO, 3},
                           {V4L2_CID_EXPOSURE_ABSOLUTE, 250},
                           {V4L2_CID_AUTO_WHITE_BALANCE, 1},
                           {V4L2_CID_WHITE_BALANCE_TEMPERATURE, 4600}})
    EXPECT_EQ(camera.Control(id), value) << id;
  EXPECT_TRUE(controls.Changed().empty());
}

TEST_F(SourceControlsTest, DefaultsPutBackTheCamerasOwnAndForgetTheKeptOnes) {
  capture::SourceControls controls(access);
  controls.Change(V4L2_CID_EXPOSURE_AUTO, 1);
  controls.Change(V4L2_CID_EXPOSURE_ABSOLUTE, 900);
  controls.Change(V4L2_CID_POWER_LINE_FREQUENCY, 2);
  controls.Defaults();
  EXPECT_EQ(camera.Control(V4L2_CID_EXPOSURE_AUTO), 3);
  EXPECT_EQ(camera.Control(V4L2_CID_EXPOSURE_ABSOLUTE), 250);
  EXPECT_EQ(camera.Control(V4L2_CID_POWER_LINE_FREQUENCY), 1);
  EXPECT_TRUE(controls.Forget());
  EXPECT_TRUE(controls.Changed().empty());
}

}  // namespace
