#include "platform/decompressor.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "platform/capture_driver.h"

namespace platform {

namespace {

uint8_t Clamp(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// BT.601 video range to BGR, in 8.8 fixed point.
inline void YuvToBgr(int y, int u, int v, uint8_t* out) {
  int c = 298 * (y - 16) + 128, d = u - 128, e = v - 128;
  out[0] = Clamp((c + 516 * d) >> 8);
  out[1] = Clamp((c - 100 * d - 208 * e) >> 8);
  out[2] = Clamp((c + 409 * e) >> 8);
}

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

// Packed 4:2:2 (YUYV or UYVY) and planar 4:2:0 (NV12 or I420) to BGR.
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
    for (int y = 0; y < h; ++y) {
      uint8_t* o = RowFromTop(rows, stride, h, y);
      if (packed) {
        const uint8_t* p = frame + size_t(y) * w * 2;
        const int y0 = fourcc_ == kFourccYuyv ? 0 : 1, u = fourcc_ == kFourccYuyv ? 1 : 0;
        for (int x = 0; x < w; x += 2, p += 4, o += 6) {
          YuvToBgr(p[y0], p[u], p[u + 2], o);
          YuvToBgr(p[y0 + 2], p[u], p[u + 2], o + 3);
        }
      } else {
        const uint8_t* luma = frame + size_t(y) * w;
        const uint8_t* chroma = frame + size_t(w) * h;
        for (int x = 0; x < w; ++x, o += 3) {
          int u, v;
          if (fourcc_ == kFourccNv12) {
            const uint8_t* uv = chroma + size_t(y / 2) * w + (x & ~1);
            u = uv[0], v = uv[1];
          } else {
            u = chroma[size_t(y / 2) * (w / 2) + x / 2];
            v = chroma[size_t(w / 2) * (h / 2) + size_t(y / 2) * (w / 2) + x / 2];
          }
          YuvToBgr(luma[x], u, v, o);
        }
      }
    }
    return bitmap;
  }

 private:
  uint32_t fourcc_;
};

// V4L2's top-down RGB24 and BGR24 to bottom-up BGR.
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
    for (int y = 0; y < h; ++y) {
      const uint8_t* p = frame + size_t(y) * w * 3;
      uint8_t* o = RowFromTop(rows, stride, h, y);
      if (!rgb_) {
        std::memcpy(o, p, size_t(w) * 3);
        continue;
      }
      for (int x = 0; x < w; ++x, p += 3, o += 3) o[0] = p[2], o[1] = p[1], o[2] = p[0];
    }
    return bitmap;
  }

 private:
  bool rgb_;
};

struct JpegError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};
[[noreturn]] void OnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}
void Quiet(j_common_ptr) {}

// Motion-JPEG frames through libjpeg-turbo.
class MjpegDecompressor : public Decompressor {
 public:
  MjpegDecompressor() {
    cinfo_.err = jpeg_std_error(&error_.pub);
    error_.pub.error_exit = OnJpegError;
    error_.pub.output_message = Quiet;
    jpeg_create_decompress(&cinfo_);
  }
  ~MjpegDecompressor() override { jpeg_destroy_decompress(&cinfo_); }

  PackedBitmap Decompress(const BitmapInfoHeader& in, const uint8_t* frame, uint32_t frameBytes,
                          const BitmapInfoHeader& out) override {
    if (!frame || frameBytes == 0) return nullptr;
    uint8_t* rows;
    size_t stride;
    PackedBitmap bitmap = NewBitmap(out, rows, stride);
    if (!bitmap) return nullptr;
    return Decode(in, frame, frameBytes, rows, stride) ? std::move(bitmap) : nullptr;
  }

 private:
  bool Decode(const BitmapInfoHeader& in, const uint8_t* frame, uint32_t frameBytes, uint8_t* rows,
              size_t stride) {
    const int h = in.biHeight < 0 ? -in.biHeight : in.biHeight;
    if (setjmp(error_.jump)) {
      jpeg_abort_decompress(&cinfo_);
      return false;
    }
    jpeg_mem_src(&cinfo_, frame, frameBytes);
    jpeg_read_header(&cinfo_, TRUE);
    cinfo_.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo_);
    if (static_cast<int>(cinfo_.output_width) != in.biWidth ||
        static_cast<int>(cinfo_.output_height) != h) {
      jpeg_abort_decompress(&cinfo_);
      return false;
    }
    while (cinfo_.output_scanline < cinfo_.output_height) {
      JSAMPROW row = RowFromTop(rows, stride, h, static_cast<int>(cinfo_.output_scanline));
      jpeg_read_scanlines(&cinfo_, &row, 1);
    }
    jpeg_finish_decompress(&cinfo_);
    return true;
  }

  jpeg_decompress_struct cinfo_;
  JpegError error_;
};

}  // namespace

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
