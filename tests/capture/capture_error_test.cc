#include "capture/capture_error.h"

#include <gtest/gtest.h>

namespace {

TEST(CaptureErrorText, TenCategoriesInSixtyFourByteSlots) {
  EXPECT_EQ(sizeof capture::kCaptureErrorText, 640u);
  EXPECT_STREQ(capture::kCaptureErrorText[capture::ErrConnectFailed],
               "Error. Unable to connect to capture driver specified.");
  EXPECT_STREQ(capture::kCaptureErrorText[capture::ErrDecompressFailed],
               "Error. Unable to decompress image.");
}

}  // namespace
