#include "capture/capture_error.h"

#include <gtest/gtest.h>

namespace {

TEST(CaptureErrorText, TenCategoriesInSixtyFourByteSlots) {
  EXPECT_EQ(sizeof kCaptureErrorText, 640u);
  EXPECT_STREQ(kCaptureErrorText[ErrConnectFailed],
               "Error. Unable to connect to capture driver specified.");
  EXPECT_STREQ(kCaptureErrorText[ErrDecompressFailed], "Error. Unable to decompress image.");
}

}  // namespace
