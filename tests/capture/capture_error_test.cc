#include "capture/capture_error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace {

TEST(CaptureErrorText, TenCategoriesInSixtyFourByteSlots) {
  EXPECT_EQ(sizeof capture::kCaptureErrorText, 640u);
  EXPECT_STREQ(capture::kCaptureErrorText[capture::ErrConnectFailed],
               "Error. Unable to connect to capture driver specified.");
  EXPECT_STREQ(capture::kCaptureErrorText[capture::ErrDecompressFailed],
               "Error. Unable to decompress image.");
}

// A failure is read as one Record wrote it, never one's category with
// another's code, while the capture thread writes.
TEST(CaptureError, AReaderNeverSeesHalfARecord) {
  capture::CaptureError error;
  error.Record(capture::ErrJpegWrite, 1);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 200000; ++i) {
      error.Record(capture::ErrJpegWrite, 1);
      error.Record(capture::ErrDecompressFailed, -2);
    }
    done = true;
  });
  int mixed = 0;
  while (!done) {
    const capture::CaptureError::Entry last = error.Last();
    if (last.code != (last.category == capture::ErrJpegWrite ? 1 : -2)) ++mixed;
  }
  writer.join();
  EXPECT_EQ(mixed, 0);
  EXPECT_EQ(error.Code(), -2) << "a negative code stays itself";
  EXPECT_STREQ(error.Message(), "Error. Unable to decompress image.");
}

}  // namespace
