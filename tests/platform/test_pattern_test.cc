#include "platform/test_pattern.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

TEST(TestPattern, MovesAtItsSizeInBothPixelFormats) {
  platform::TestPatternDriver pattern;
  struct Case {
    std::vector<int> choices;  // size, pixel format
    int width, height, bits;
  };
  const Case cases[] = {{{1, 0}, 640, 480, 16}, {{0, 1}, 320, 240, 24}, {{2, 0}, 1280, 720, 16}};
  for (const Case& c : cases) {
    ASSERT_TRUE(pattern.Apply(platform::DialogKind::Format, c.choices));
    platform::BitmapInfoHeader format = pattern.Format();
    EXPECT_EQ(format.biWidth, c.width);
    EXPECT_EQ(format.biHeight, c.height);
    EXPECT_EQ(format.biBitCount, c.bits);
    ASSERT_TRUE(pattern.Open());
    ASSERT_TRUE(pattern.StartStreaming());
    std::vector<uint8_t> first, later;
    ASSERT_EQ(pattern.NextFrame(first, 1000), platform::FrameResult::Frame);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(pattern.NextFrame(later, 1000), platform::FrameResult::Frame);
    EXPECT_EQ(first.size(), format.biSizeImage);
    EXPECT_NE(first, later) << c.width << " pixels wide";
    pattern.StopStreaming();
  }
}

TEST(TestPattern, RefusesChoicesItDoesNotOffer) {
  platform::TestPatternDriver pattern;
  EXPECT_FALSE(pattern.Apply(platform::DialogKind::Format, {4, 0}));
  EXPECT_FALSE(pattern.Apply(platform::DialogKind::Format, {0}));
  EXPECT_FALSE(pattern.Apply(platform::DialogKind::Source, {2}));
  EXPECT_EQ(pattern.Format().biWidth, 640);
}

}  // namespace
