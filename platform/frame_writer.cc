#include "platform/frame_writer.h"

#include <cstdio>  // before jpeglib.h, which uses FILE

#include <jpeglib.h>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>

#include <cstdlib>
#include <cstring>

#include "platform/capture_driver.h"

namespace platform {

namespace {

// Motion-JPEG as a UVC camera sends it: libjpeg-turbo at quality 90,
// 4:2:2, and without the Huffman tables (the standard ones are implied).
bool WriteMotionJpeg(int w, int h, const std::vector<uint8_t>& bgr, std::vector<uint8_t>& frame) {
  jpeg_compress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_compress(&cinfo);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &out, &size);
  cinfo.image_width = static_cast<JDIMENSION>(w);
  cinfo.image_height = static_cast<JDIMENSION>(h);
  cinfo.input_components = 3;
  cinfo.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, 90, TRUE);
  cinfo.comp_info[0].h_samp_factor = 2;
  cinfo.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&bgr[static_cast<size_t>(cinfo.next_scanline) * w * 3]);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  // Every segment before the scan but the Huffman tables.
  frame.assign(out, out + 2);
  size_t at = 2;
  while (at + 4 <= size && out[at + 1] != 0xda) {
    const size_t length = 2 + (static_cast<size_t>(out[at + 2]) << 8 | out[at + 3]);
    if (out[at + 1] != 0xc4) frame.insert(frame.end(), out + at, out + at + length);
    at += length;
  }
  frame.insert(frame.end(), out + at, out + size);
  std::free(out);
  return true;
}

}  // namespace

bool WriteCaptureFrame(const BitmapInfoHeader& format, const std::vector<uint8_t>& bgr,
                       std::vector<uint8_t>& frame) {
  const int w = format.biWidth, h = std::abs(format.biHeight);
  if (w <= 0 || h <= 0 || bgr.size() < static_cast<size_t>(w) * h * 3) return false;
  const size_t pixels = static_cast<size_t>(w) * h;
  // The capture thread writes a frame at every camera tick: the scratch
  // picture is kept, not allocated each time.
  thread_local std::vector<uint8_t> argb;
  auto toArgb = [&] {
    argb.resize(pixels * 4);
    return libyuv::RGB24ToARGB(bgr.data(), w * 3, argb.data(), w * 4, w, h) == 0;
  };
  switch (format.biCompression) {
    case kFourccYuyv:
      frame.resize(pixels * 2);
      return toArgb() && libyuv::ARGBToYUY2(argb.data(), w * 4, frame.data(), w * 2, w, h) == 0;
    case kFourccUyvy:
      frame.resize(pixels * 2);
      return toArgb() && libyuv::ARGBToUYVY(argb.data(), w * 4, frame.data(), w * 2, w, h) == 0;
    case kFourccNv12:
      frame.resize(pixels * 3 / 2);
      return toArgb() && libyuv::ARGBToNV12(argb.data(), w * 4, frame.data(), w,
                                            frame.data() + pixels, w, w, h) == 0;
    case kFourccYu12:
      frame.resize(pixels * 3 / 2);
      return toArgb() &&
             libyuv::ARGBToI420(argb.data(), w * 4, frame.data(), w, frame.data() + pixels, w / 2,
                                frame.data() + pixels + pixels / 4, w / 2, w, h) == 0;
    case kFourccMjpeg:
      return WriteMotionJpeg(w, h, bgr, frame);
    case kFourccBgrTopDown:
      frame.assign(bgr.begin(), bgr.begin() + static_cast<ptrdiff_t>(pixels * 3));
      return true;
    case kFourccRgbTopDown:
      frame.resize(pixels * 3);
      return libyuv::RAWToRGB24(bgr.data(), w * 3, frame.data(), w * 3, w, h) == 0;
    case kBiRgb: {
      if (format.biBitCount != 24) return false;
      const size_t stride = static_cast<size_t>(BitmapStride(w, 24));
      frame.assign(stride * h, 0);
      for (int y = 0; y < h; ++y)  // bottom row first
        std::memcpy(&frame[stride * (h - 1 - y)], &bgr[static_cast<size_t>(y) * w * 3], w * 3);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace platform
