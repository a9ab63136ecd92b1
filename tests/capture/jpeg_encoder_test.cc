#include "capture/jpeg_encoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "platform/jpeg_library.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/pictures.h"

namespace {

struct Encoded {
  int32_t length;
  std::string bytes;
};

Encoded EncodeWith(capture::JpegEncoder& encoder, Picture& picture, int quality,
                   int32_t capacity = 1 << 22) {
  std::string out(static_cast<size_t>(capacity), '\0');
  int32_t n = encoder.Encode(picture.header, picture.rows.data(),
                             reinterpret_cast<uint8_t*>(out.data()), capacity, quality);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return {n, out};
}

class JpegEncoderTest : public ::testing::Test {
 protected:
  Encoded Encode(Picture& picture, int quality = 75, int32_t capacity = 1 << 22) {
    return EncodeWith(encoder, picture, quality, capacity);
  }
  capture::CaptureError lastError;
  capture::JpegEncoder encoder{lastError};
};

TEST_F(JpegEncoderTest, FrameHeaderHasSizeThreeComponentsAnd420Sampling) {
  Picture picture = NoisyGradient(640, 480);
  Encoded jpeg = Encode(picture, 35);
  ASSERT_GT(jpeg.length, 0);
  DecodedJpeg decoded = DecodeJpeg(jpeg.bytes);
  ASSERT_TRUE(decoded.ok);
  EXPECT_EQ(decoded.width, 640);
  EXPECT_EQ(decoded.height, 480);
  EXPECT_EQ(decoded.components, 3);
  EXPECT_EQ(decoded.sampling, (std::vector<std::pair<int, int>>{{2, 2}, {1, 1}, {1, 1}}));
}

// Top half red, bottom half blue, as a person sees it.
Picture RedOverBlue(bool topDown) {
  Picture p = MakePicture(32, 32, 24, 0, topDown);
  for (int visual = 0; visual < 32; ++visual) {
    uint8_t* row = p.Row(topDown ? visual : 31 - visual);
    for (int x = 0; x < 32; ++x) {
      row[x * 3 + 0] = visual < 16 ? 0 : 255;  // blue
      row[x * 3 + 2] = visual < 16 ? 255 : 0;  // red
    }
  }
  return p;
}

TEST_F(JpegEncoderTest, BottomUpAndTopDownGiveTheSameUprightPicture) {
  for (bool topDown : {false, true}) {
    Picture picture = RedOverBlue(topDown);
    DecodedJpeg decoded = DecodeJpeg(Encode(picture, 90).bytes);
    ASSERT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.height, 32);
    const uint8_t* top = decoded.Pixel(16, 2);
    const uint8_t* bottom = decoded.Pixel(16, 29);
    EXPECT_GT(top[0], 200) << "top is red, topDown=" << topDown;
    EXPECT_LT(top[2], 60);
    EXPECT_GT(bottom[2], 200) << "bottom is blue, topDown=" << topDown;
    EXPECT_LT(bottom[0], 60);
  }
}

TEST_F(JpegEncoderTest, RowPaddingByWidth) {
  // Light rows above dark ones; pad bytes of 0 would leak in as colour if the
  // stride were wrong.
  for (int width : {1, 2, 3, 4, 5, 320}) {
    Picture picture = MakePicture(width, 16, 24);
    for (int y = 0; y < 16; ++y) std::memset(picture.Row(y), y < 8 ? 60 : 200, width * 3);
    DecodedJpeg decoded = DecodeJpeg(Encode(picture, 100).bytes);
    ASSERT_TRUE(decoded.ok);
    ASSERT_EQ(decoded.width, width);
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < width; ++x)
        for (int c = 0; c < 3; ++c)
          ASSERT_NEAR(decoded.Pixel(x, y)[c], y < 8 ? 200 : 60, 12)
              << "width " << width << " at " << x << "," << y;
  }
}

TEST_F(JpegEncoderTest, QualityRangeIsTakenAndHigherMeansLarger) {
  Picture picture = NoisyGradient(320, 240);
  Encoded low = Encode(picture, 0), mid = Encode(picture, 35), high = Encode(picture, 100);
  ASSERT_GT(low.length, 0);
  EXPECT_LT(low.length, mid.length);
  EXPECT_LT(mid.length, high.length);
  EXPECT_NE(DecodeJpeg(low.bytes).quantTable0, DecodeJpeg(high.bytes).quantTable0);
}

TEST_F(JpegEncoderTest, TooSmallCapacityFailsWithoutWritingPastIt) {
  Picture picture = NoisyGradient(320, 240);
  constexpr int32_t kCapacity = 2000;
  std::string out(kCapacity + 64, '\x5a');
  int32_t n = encoder.Encode(picture.header, picture.rows.data(),
                             reinterpret_cast<uint8_t*>(out.data()), kCapacity, 75);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(lastError.Category(), capture::ErrJpegWrite);
  EXPECT_EQ(lastError.Code(), platform::IJL_BUFFER_TOO_SMALL);
  EXPECT_EQ(out.substr(kCapacity), std::string(64, '\x5a'));
  EXPECT_STREQ(lastError.Message(), "Error compressing JPEG data");
  // The compressor is fine afterwards.
  EXPECT_GT(Encode(picture).length, 0);
}

TEST_F(JpegEncoderTest, ThirtyTwoBitPixelsAreSwappedInPlaceForEitherHeight) {
  for (bool topDown : {false, true}) {
    Picture picture = MakePicture(8, 8, 32, 0, topDown);
    for (size_t i = 0; i < picture.rows.size(); ++i) picture.rows[i] = static_cast<uint8_t>(i);
    std::vector<uint8_t> before = picture.rows;
    Encoded jpeg = Encode(picture);
    ASSERT_GT(jpeg.length, 0);
    for (size_t i = 0; i < before.size(); i += 4) {
      EXPECT_EQ(picture.rows[i], before[i + 2]);
      EXPECT_EQ(picture.rows[i + 1], before[i + 1]);
      EXPECT_EQ(picture.rows[i + 2], before[i]);
      EXPECT_EQ(picture.rows[i + 3], before[i + 3]);
    }
    DecodedJpeg decoded = DecodeJpeg(jpeg.bytes);
    EXPECT_EQ(decoded.components, 4);
    EXPECT_EQ(decoded.sampling, (std::vector<std::pair<int, int>>{{2, 2}, {1, 1}, {1, 1}, {2, 2}}));
  }
}

TEST_F(JpegEncoderTest, OtherBitCountsAreRefusedCleanly) {
  for (int bits : {8, 16}) {
    Picture picture = MakePicture(16, 16, bits);
    EXPECT_EQ(Encode(picture).length, -1);
    EXPECT_EQ(lastError.Category(), capture::ErrJpegWrite);
  }
}

TEST_F(JpegEncoderTest, SuccessKeepsThePreviousFailure) {
  Picture picture = NoisyGradient(64, 64);
  Encode(picture, 75, 100);
  ASSERT_EQ(lastError.Category(), capture::ErrJpegWrite);
  int32_t code = lastError.Code();
  EXPECT_GT(Encode(picture).length, 0);
  EXPECT_EQ(lastError.Category(), capture::ErrJpegWrite);
  EXPECT_EQ(lastError.Code(), code);
}

TEST(SwapRedBlue, NoRowsDoNothing) {
  uint8_t pixel[4] = {1, 2, 3, 4};
  capture::SwapRedBlue(pixel, 1, 0);
  capture::SwapRedBlue(pixel, 1, -3);
  EXPECT_EQ(pixel[0], 1);
  capture::SwapRedBlue(pixel, 1, 1);
  EXPECT_EQ(pixel[0], 3);
  EXPECT_EQ(pixel[2], 1);
}

}  // namespace
