#include "shell/video_fit.h"

#include <gtest/gtest.h>

#include "platform/decompressor.h"

namespace {

TEST(VideoFit, TheWindowStaysOnTheScreenAndThePreviewDecodesNoMoreThanItShows) {
  struct Case {
    int width, height, roomWidth, roomHeight;
    std::pair<int, int> fitted;
    int scale;  // the Motion-JPEG preview's decode scale for the fitted size
  };
  const Case cases[] = {
      {640, 480, 1920, 1000, {640, 480}, 1},
      {1920, 1080, 1920, 1000, {1777, 1000}, 1},  // a 1080p picture on a 1080p screen
      {1920, 1080, 1000, 1000, {1000, 562}, 1},
      {1920, 1080, 960, 1000, {960, 540}, 2},
      {1920, 1080, 500, 500, {500, 281}, 2},
      {1920, 1080, 480, 400, {480, 270}, 4},
      {1920, 1080, 200, 200, {200, 112}, 8},
      {1280, 720, 1280, 720, {1280, 720}, 1},
  };
  for (const Case& c : cases) {
    auto fitted = shell::FitVideo(c.width, c.height, c.roomWidth, c.roomHeight);
    EXPECT_EQ(fitted, c.fitted) << c.width << "x" << c.height << " in " << c.roomWidth;
    EXPECT_EQ(platform::JpegScaleFor(c.width, c.height, fitted.first, fitted.second), c.scale)
        << c.width << "x" << c.height << " in " << c.roomWidth;
  }
}

}  // namespace
