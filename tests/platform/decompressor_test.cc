#include <gtest/gtest.h>

#include <cstring>

#include "capture/jpeg_encoder.h"
#include "platform/capture_driver.h"
#include "platform/decompressor.h"
#include "tests/support/pictures.h"

namespace {

using namespace platform;

constexpr int W = 16, H = 16;
struct Yuv {
  uint8_t y, u, v;
};
constexpr Yuv kRed{82, 90, 240}, kBlue{41, 240, 110};

// A frame whose top half is red and bottom half blue, in `fourcc`.
std::vector<uint8_t> RedOverBlue(uint32_t fourcc) {
  auto colour = [](int row) { return row < H / 2 ? kRed : kBlue; };
  std::vector<uint8_t> f;
  if (fourcc == kFourccYuyv || fourcc == kFourccUyvy) {
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; x += 2) {
        Yuv c = colour(y);
        if (fourcc == kFourccYuyv)
          f.insert(f.end(), {c.y, c.u, c.y, c.v});
        else
          f.insert(f.end(), {c.u, c.y, c.v, c.y});
      }
  } else if (fourcc == kFourccNv12 || fourcc == kFourccYu12) {
    for (int y = 0; y < H; ++y) f.insert(f.end(), W, colour(y).y);
    if (fourcc == kFourccNv12) {
      for (int y = 0; y < H; y += 2)
        for (int x = 0; x < W; x += 2) f.insert(f.end(), {colour(y).u, colour(y).v});
    } else {
      for (int y = 0; y < H; y += 2) f.insert(f.end(), W / 2, colour(y).u);
      for (int y = 0; y < H; y += 2) f.insert(f.end(), W / 2, colour(y).v);
    }
  } else if (fourcc == kFourccRgbTopDown || fourcc == kFourccBgrTopDown) {
    for (int y = 0; y < H; ++y)
      for (int x = 0; x < W; ++x) {
        uint8_t r = y < H / 2 ? 255 : 0, b = y < H / 2 ? 0 : 255;
        if (fourcc == kFourccRgbTopDown)
          f.insert(f.end(), {r, 0, b});
        else
          f.insert(f.end(), {b, 0, r});
      }
  } else if (fourcc == kFourccMjpeg) {
    Picture picture = MakePicture(W, H, 24);
    for (int row = 0; row < H; ++row)  // bottom-up: stored row 0 is the bottom
      for (int x = 0; x < W; ++x) picture.Row(row)[x * 3 + (row < H / 2 ? 0 : 2)] = 255;
    capture::CaptureError lastError;
    f.resize(100000);
    f.resize(static_cast<size_t>(capture::JpegEncoder(lastError).Encode(
        picture.header, picture.rows.data(), f.data(), static_cast<int32_t>(f.size()), 95)));
  }
  return f;
}

TEST(Decompressor, EveryCaptureFormatBecomesUprightBgr) {
  for (uint32_t fourcc : {kFourccYuyv, kFourccUyvy, kFourccNv12, kFourccYu12, kFourccMjpeg,
                          kFourccRgbTopDown, kFourccBgrTopDown}) {
    BitmapInfoHeader in, out;
    in.biWidth = out.biWidth = W;
    in.biHeight = out.biHeight = H;
    in.biCompression = fourcc;
    out.biBitCount = 24;
    auto decompressor = Decompressor::Locate(ICTYPE_VIDEO, in, out, ICMODE_FASTDECOMPRESS);
    ASSERT_TRUE(decompressor) << std::hex << fourcc;
    std::vector<uint8_t> frame = RedOverBlue(fourcc);
    PackedBitmap bitmap =
        decompressor->Decompress(in, frame.data(), static_cast<uint32_t>(frame.size()), out);
    ASSERT_TRUE(bitmap) << std::hex << fourcc;
    BitmapInfoHeader header;
    std::memcpy(&header, bitmap.get(), sizeof header);
    EXPECT_EQ(header.biBitCount, 24);
    const uint8_t* rows = bitmap.get() + header.biSize;
    const size_t stride = static_cast<size_t>(BitmapStride(W, 24));
    const uint8_t* bottom = rows + stride * 1 + 3 * 5;  // stored first: the picture's bottom
    const uint8_t* top = rows + stride * (H - 2) + 3 * 5;
    EXPECT_GT(top[2], 200) << "top is red, " << std::hex << fourcc;
    EXPECT_LT(top[0], 60) << std::hex << fourcc;
    EXPECT_GT(bottom[0], 200) << "bottom is blue, " << std::hex << fourcc;
    EXPECT_LT(bottom[2], 60) << std::hex << fourcc;

    EXPECT_FALSE(decompressor->Decompress(in, frame.data(), 3, out)) << "short frame";
  }
}

TEST(Decompressor, NoneForBottomUpRgbOrUnknownFormats) {
  BitmapInfoHeader in, out;
  in.biWidth = out.biWidth = W;
  in.biHeight = out.biHeight = H;
  in.biBitCount = out.biBitCount = 24;
  EXPECT_FALSE(Decompressor::Locate(ICTYPE_VIDEO, in, out, ICMODE_FASTDECOMPRESS));
  in.biCompression = FourCC('H', '2', '6', '4');
  EXPECT_FALSE(Decompressor::Locate(ICTYPE_VIDEO, in, out, ICMODE_FASTDECOMPRESS));
}

}  // namespace
