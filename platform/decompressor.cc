#include "platform/decompressor.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include <libyuv/convert_argb.h>
#include <libyuv/planar_functions.h>

#include "platform/capture_driver.h"
#include "platform/jpeg_errors.h"

namespace platform {

namespace {

PackedBitmap NewBitmap(const BitmapInfoHeader& out, uint8_t*& rows, size_t& stride) {
  stride = static_cast<size_t>(BitmapStride(out.biWidth, 24));
  const int height = out.biHeight < 0 ? -out.biHeight : out.biHeight;
  PackedBitmap bitmap(new (std::nothrow) uint8_t[out.biSize + stride * height]);
  if (!bitmap) return nullptr;
  std::memcpy(bitmap.get(), &out, sizeof out);
  rows = bitmap.get() + out.biSize;
  return bitmap;
}

// Row `y` of the picture (top row 0) in a bottom-up bitmap.
inline uint8_t* RowFromTop(uint8_t* rows, size_t stride, int height, int y) {
  return rows + stride * static_cast<size_t>(height - 1 - y);
}

// YUV frames through libyuv's SIMD converters (BT.601, video range). A
// negative height makes libyuv write the rows bottom-up.
class YuvDecompressor : public Decompressor {
 public:
  explicit YuvDecompressor(uint32_t fourcc) : fourcc_(fourcc) {}
  PackedBitmap Decompress(const BitmapInfoHeader& in, const uint8_t* frame, uint32_t frameBytes,
                          const BitmapInfoHeader& out) override {
    const int w = in.biWidth, h = in.biHeight < 0 ? -in.biHeight : in.biHeight;
    const bool packed = fourcc_ == kFourccYuyv || fourcc_ == kFourccUyvy;
    const size_t need = packed ? size_t(w) * h * 2 : size_t(w) * h * 3 / 2;
    if (!frame || frameBytes < need || w % 2 || h % 2) return nullptr;
    uint8_t* rows;
    size_t stride;
    PackedBitmap bitmap = NewBitmap(out, rows, stride);
    if (!bitmap) return nullptr;
    const int s = static_cast<int>(stride);
    const uint8_t* chroma = frame + size_t(w) * h;
    int result;
    if (packed) {
      // Split into planes (kept between frames), then convert.
      planes_.resize(size_t(w) * h * 2);
      uint8_t *y = planes_.data(), *u = y + size_t(w) * h, *v = u + size_t(w / 2) * h;
      result = fourcc_ == kFourccYuyv
                   ? libyuv::YUY2ToI422(frame, w * 2, y, w, u, w / 2, v, w / 2, w, h)
                   : libyuv::UYVYToI422(frame, w * 2, y, w, u, w / 2, v, w / 2, w, h);
      if (result == 0) result = libyuv::I422ToRGB24(y, w, u, w / 2, v, w / 2, rows, s, w, -h);
    } else if (fourcc_ == kFourccNv12) {
      result = libyuv::NV12ToRGB24(frame, w, chroma, w, rows, s, w, -h);
    } else {
      const uint8_t* v = chroma + size_t(w / 2) * (h / 2);
      result = libyuv::I420ToRGB24(frame, w, chroma, w / 2, v, w / 2, rows, s, w, -h);
    }
    return result == 0 ? std::move(bitmap) : nullptr;
  }

 private:
  uint32_t fourcc_;
  std::vector<uint8_t> planes_;  // used by one thread: each converter has one user
};

// V4L2's top-down RGB24 (R, G, B in memory) and BGR24 to bottom-up BGR.
class RgbDecompressor : public Decompressor {
 public:
  explicit RgbDecompressor(bool rgb) : rgb_(rgb) {}
  PackedBitmap Decompress(const BitmapInfoHeader& in, const uint8_t* frame, uint32_t frameBytes,
                          const BitmapInfoHeader& out) override {
    const int w = in.biWidth, h = in.biHeight < 0 ? -in.biHeight : in.biHeight;
    if (!frame || frameBytes < size_t(w) * h * 3) return nullptr;
    uint8_t* rows;
    size_t stride;
    PackedBitmap bitmap = NewBitmap(out, rows, stride);
    if (!bitmap) return nullptr;
    const int s = static_cast<int>(stride);
    if (rgb_) {
      libyuv::RAWToRGB24(frame, w * 3, rows, s, w, -h);
    } else {
      for (int y = 0; y < h; ++y)
        std::memcpy(RowFromTop(rows, stride, h, y), frame + size_t(y) * w * 3, size_t(w) * 3);
    }
    return bitmap;
  }

 private:
  bool rgb_;
};

// libjpeg-turbo's decoder, kept from frame to frame, with errors as
// results instead of exits.
class JpegDecoder {
 public:
  JpegDecoder() {
    cinfo_.err = UseJpegErrors(error_);
    jpeg_create_decompress(&cinfo_);
  }
  ~JpegDecoder() { jpeg_destroy_decompress(&cinfo_); }
  JpegDecoder(const JpegDecoder&) = delete;
  JpegDecoder& operator=(const JpegDecoder&) = delete;

  // `frame` as a packed 24-bit bottom-up bitmap with the header `out`.
  // Unscaled, the frame must have `out`'s size; scaled, it is decoded at the
  // smallest scale that covers that size, and the header gets the size
  // decoded. nullptr on failure.
  PackedBitmap Decode(const uint8_t* frame, uint32_t frameBytes, BitmapInfoHeader out,
                      bool scaled) {
    const int width = out.biWidth, height = out.biHeight < 0 ? -out.biHeight : out.biHeight;
    if (!frame || frameBytes == 0) return nullptr;
    PackedBitmap bitmap;
    if (setjmp(error_.jump)) {
      jpeg_abort_decompress(&cinfo_);
      return nullptr;
    }
    jpeg_mem_src(&cinfo_, frame, frameBytes);
    jpeg_read_header(&cinfo_, TRUE);
    cinfo_.out_color_space = JCS_EXT_BGR;
    cinfo_.scale_num = 1;
    cinfo_.scale_denom = scaled ? static_cast<unsigned>(JpegScaleFor(
                                      static_cast<int>(cinfo_.image_width),
                                      static_cast<int>(cinfo_.image_height), width, height))
                                : 1;
    jpeg_start_decompress(&cinfo_);
    const int decodedWidth = static_cast<int>(cinfo_.output_width);
    const int decodedHeight = static_cast<int>(cinfo_.output_height);
    if (scaled) {
      out.biWidth = decodedWidth;
      out.biHeight = decodedHeight;
    }
    uint8_t* rows = nullptr;
    size_t stride = 0;
    if ((!scaled && (decodedWidth != width || decodedHeight != height)) ||
        !(bitmap = NewBitmap(out, rows, stride))) {
      jpeg_abort_decompress(&cinfo_);
      return nullptr;
    }
    while (cinfo_.output_scanline < cinfo_.output_height) {
      JSAMPROW row =
          RowFromTop(rows, stride, decodedHeight, static_cast<int>(cinfo_.output_scanline));
      jpeg_read_scanlines(&cinfo_, &row, 1);
    }
    jpeg_finish_decompress(&cinfo_);
    return bitmap;
  }

 private:
  jpeg_decompress_struct cinfo_;
  JpegErrors error_;
};

// Motion-JPEG frames through libjpeg-turbo, at the format's size.
class MjpegDecompressor : public Decompressor {
 public:
  PackedBitmap Decompress(const BitmapInfoHeader&, const uint8_t* frame, uint32_t frameBytes,
                          const BitmapInfoHeader& out) override {
    return decoder_.Decode(frame, frameBytes, out, false);
  }

 private:
  JpegDecoder decoder_;
};

}  // namespace

int JpegScaleFor(int frameWidth, int frameHeight, int width, int height) {
  for (int denominator : {8, 4, 2}) {
    if ((frameWidth + denominator - 1) / denominator >= width &&
        (frameHeight + denominator - 1) / denominator >= height)
      return denominator;
  }
  return 1;
}

PackedBitmap DecompressMjpegFor(const uint8_t* frame, uint32_t frameBytes, int width, int height) {
  thread_local JpegDecoder decoder;  // one a capture thread, reused frame after frame
  BitmapInfoHeader out;
  out.biWidth = width;
  out.biHeight = height;
  out.biBitCount = 24;
  return decoder.Decode(frame, frameBytes, out, true);
}

std::unique_ptr<Decompressor> Decompressor::Locate(uint32_t type, const BitmapInfoHeader& in,
                                                   const BitmapInfoHeader& out, int mode) {
  if (type != ICTYPE_VIDEO || mode != ICMODE_FASTDECOMPRESS) return nullptr;
  if (out.biBitCount != 24 || out.biCompression != kBiRgb || out.biWidth != in.biWidth ||
      out.biHeight != in.biHeight || in.biWidth <= 0)
    return nullptr;
  switch (in.biCompression) {
    case kFourccYuyv:
    case kFourccUyvy:
    case kFourccNv12:
    case kFourccYu12:
      return std::make_unique<YuvDecompressor>(in.biCompression);
    case kFourccMjpeg:
      return std::make_unique<MjpegDecompressor>();
    case kFourccRgbTopDown:
      return std::make_unique<RgbDecompressor>(true);
    case kFourccBgrTopDown:
      return std::make_unique<RgbDecompressor>(false);
    default:
      return nullptr;  // 24-bit bottom-up RGB needs none; others have none
  }
}

}  // namespace platform
