#include "capture/camera_memory.h"

#include <gtest/gtest.h>

namespace {

using Controls = std::vector<std::pair<uint32_t, int32_t>>;

TEST(CameraMemory, ControlsReadBackAndBadPairsAreSkipped) {
  const Controls controls = {{9963776, -5}, {10094849, 1}};
  EXPECT_EQ(capture::ControlsText(controls), "9963776=-5 10094849=1");
  EXPECT_EQ(capture::ReadControlsText("9963776=-5 10094849=1"), controls);
  EXPECT_EQ(capture::ReadControlsText("  x=1 9963776= =3 9963776=4x 10094849=1 "),
            (Controls{{10094849, 1}}));
  EXPECT_EQ(capture::ReadControlsText(""), Controls{});
}

TEST(CameraMemory, ChangesLieOverWhatWasKept) {
  EXPECT_EQ(capture::Merge({{1, 10}, {2, 20}}, {{2, 21}, {3, 30}}),
            (Controls{{1, 10}, {2, 21}, {3, 30}}));
  EXPECT_EQ(capture::Merge({}, {{3, 30}}), (Controls{{3, 30}}));
}

}  // namespace
