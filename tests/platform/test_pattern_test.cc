#include "platform/test_pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
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

// Brightness, contrast, the clock and the pattern, each against the plain
// picture: BGR, top row first, 640 x 480.
TEST(TestPattern, ItsControlsChangeThePicture) {
  constexpr int kWidth = 640;
  auto pixel = [](const std::vector<uint8_t>& bgr, int x, int y) {
    return &bgr[(static_cast<size_t>(y) * kWidth + x) * 3];
  };
  auto mean = [](const std::vector<uint8_t>& bgr) {
    double sum = 0;
    for (uint8_t v : bgr) sum += v;
    return sum / static_cast<double>(bgr.size());
  };
  auto captionWhite = [&](const std::vector<uint8_t>& bgr) {  // the clock's line
    int white = 0;
    for (int y = 356; y < 372; ++y)
      for (int x = 0; x < kWidth; ++x) white += pixel(bgr, x, y)[0] == 235;
    return white;
  };
  platform::TestPatternDriver pattern;
  std::vector<uint8_t> plain;
  pattern.Render(0, plain);
  struct Case {
    uint32_t id;
    int32_t value;
    std::function<bool(const std::vector<uint8_t>&)> shows;
  };
  const Case cases[] = {
      {platform::kPatternBrightness, 64,
       [&](const auto& bgr) { return mean(bgr) > mean(plain) + 40; }},
      {platform::kPatternBrightness, -64,
       [&](const auto& bgr) { return mean(bgr) < mean(plain) - 40; }},
      {platform::kPatternContrast, 0,
       [&](const auto& bgr) {
         return std::ranges::all_of(bgr, [](uint8_t v) { return v == 128; });
       }},
      {platform::kPatternShowClock, 0,
       [&](const auto& bgr) { return captionWhite(plain) > 50 && captionWhite(bgr) == 0; }},
      // The second bar is yellow (no blue); the grey ramp has R = G = B.
      {platform::kPatternChoice, 1,
       [&](const auto& bgr) {
         const uint8_t* bar = pixel(plain, 150, 100);
         const uint8_t* ramp = pixel(bgr, 150, 100);
         return bar[0] == 0 && ramp[0] == ramp[1] && ramp[1] == ramp[2] && ramp[0] > 0;
       }},
  };
  for (const Case& c : cases) {
    platform::TestPatternDriver changed;
    ASSERT_TRUE(changed.SetControl(c.id, c.value)) << c.id;
    std::vector<uint8_t> bgr;
    changed.Render(0, bgr);
    EXPECT_TRUE(c.shows(bgr)) << c.id << " = " << c.value;
    const auto controls = changed.Controls();
    const auto control = std::ranges::find(controls, c.id, &platform::CameraControl::id);
    ASSERT_NE(control, controls.end());
    EXPECT_EQ(control->value, c.value) << "read back";
  }
  EXPECT_FALSE(pattern.SetControl(platform::kPatternBrightness, 65));
  EXPECT_FALSE(pattern.SetControl(platform::kPatternChoice, 2));
  EXPECT_FALSE(pattern.SetControl(platform::kPatternControls, 0)) << "a heading";
}

TEST(TestPattern, RefusesChoicesItDoesNotOffer) {
  platform::TestPatternDriver pattern;
  EXPECT_FALSE(pattern.Apply(platform::DialogKind::Format, {4, 0}));
  EXPECT_FALSE(pattern.Apply(platform::DialogKind::Format, {0}));
  EXPECT_FALSE(pattern.Apply(platform::DialogKind::Source, {2}));
  EXPECT_EQ(pattern.Format().biWidth, 640);
}

}  // namespace
