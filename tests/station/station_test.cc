// The station: every camera found, numbered as the server serves them,
// each camera's served choice kept under its name, and its files named by it.
#include "station/station.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <thread>

#include "keep/picture_names.h"
#include "platform/installed_drivers.h"
#include "tests/support/registry_seed.h"
#include "tests/support/server_fixture.h"
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

// Two cameras served: each keeps its own interval pictures, named by it; the
// camera not served keeps none.
TEST_F(StationTest, EachServedCameraKeepsPicturesUnderItsName) {
  settings.intervalon = 1;
  settings.interval = 1;
  settings.intervaldir = (folder.Path() / "pictures").string();
  station::Station station(settings);
  ASSERT_TRUE(station.OpenChosen());
  station.OpenOthers();
  station.SetServed(2, false);
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
               count("Owlglance Test Pattern 640x480") > 0;
      },
      8000));
  station.Close();
  EXPECT_EQ(count("Owlglance Test Pattern 1280x720"), 0u);
  EXPECT_EQ(count(""), 0u);  // no picture without its camera's name
}

}  // namespace
