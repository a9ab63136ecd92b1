#include "platform/installed_drivers.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "platform/v4l2_driver.h"

namespace {

std::vector<std::string> NamesListedFor(const char* variable) {
  ::setenv(platform::kDriverListVariable, variable, 1);
  std::vector<std::string> names;
  for (const auto& driver : platform::InstalledDrivers()) names.push_back(driver->Name());
  ::setenv(platform::kDriverListVariable, "pattern", 1);
  return names;
}

TEST(InstalledDrivers, TheEnvironmentChoosesTheList) {
  using Names = std::vector<std::string>;
  const std::string pattern = "Owlglance Test Pattern";
  EXPECT_EQ(NamesListedFor("pattern"), Names{pattern});
  EXPECT_EQ(NamesListedFor(""), Names{});
  EXPECT_EQ(NamesListedFor("nonsense"), Names{});
  EXPECT_EQ(NamesListedFor("pattern@320x240,pattern"), (Names{pattern + " 320x240", pattern}));
  EXPECT_EQ(NamesListedFor("pattern,pattern,pattern,pattern,pattern,pattern,pattern,pattern,"
                           "pattern,pattern,pattern")
                .size(),
            10u)
      << "at most ten";
}

TEST(InstalledDrivers, ASizedPatternStartsAtItsSize) {
  ::setenv(platform::kDriverListVariable, "pattern@1280x720", 1);
  auto drivers = platform::InstalledDrivers();
  ::setenv(platform::kDriverListVariable, "pattern", 1);
  ASSERT_EQ(drivers.size(), 1u);
  EXPECT_EQ(drivers[0]->Format().biWidth, 1280);
  EXPECT_EQ(drivers[0]->Format().biHeight, 720);
}

// The only test that looks at the machine's own cameras.
TEST(InstalledDrivers, MachineCamerasComeFirstInDeviceOrder) {
  bool any = false;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/dev", error))
    any |= entry.path().filename().string().rfind("video", 0) == 0;
  if (!any) GTEST_SKIP() << "this machine has no /dev/video* capture device";
  auto cameras = platform::ListV4l2Drivers(platform::SystemV4l2Io());
  auto names = NamesListedFor("v4l2,pattern");
  ASSERT_EQ(names.size(), std::min<size_t>(cameras.size() + 1, 10));
  for (size_t i = 0; i < cameras.size() && i < 10; ++i) EXPECT_EQ(names[i], cameras[i]->Name());
}

}  // namespace
