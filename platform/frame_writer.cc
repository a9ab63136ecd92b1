#include "platform/frame_writer.h"

#include <libyuv/convert_argb.h>
#include <libyuv/convert_from_argb.h>
#include <libyuv/planar_functions.h>

#include <cstdlib>
#include <cstring>

#include "platform/capture_driver.h"
#include "platform/jpeg_library.h"

namespace platform {

namespace {

bool WriteJpeg(int w, int h, const std::vector<uint8_t>& bgr, std::vector<uint8_t>& frame) {
  frame.resize(static_cast<size_t>(w) * h * 3 + 1024);
  JPEG_CORE_PROPERTIES jpeg{};
  if (ijlInit(&jpeg) != IJL_OK) return false;
  jpeg.DIBBytes = bgr.data();
  jpeg.DIBWidth = w;
  jpeg.DIBHeight = h;  // top row first
  jpeg.DIBPadBytes = 0;
  jpeg.DIBChannels = 3;
  jpeg.DIBColor = IJL_BGR;
  jpeg.JPGBytes = frame.data();
  jpeg.JPGSizeBytes = static_cast<int32_t>(frame.size());
  jpeg.JPGWidth = w;
  jpeg.JPGHeight = h;
  jpeg.JPGChannels = 3;
  jpeg.JPGColor = IJL_YCBCR;
  jpeg.JPGSubsampling = IJL_411;
  jpeg.jquality = 75;
  bool ok = ijlWrite(&jpeg, IJL_JBUFF_WRITEWHOLEIMAGE) == IJL_OK;
  frame.resize(ok ? static_cast<size_t>(jpeg.JPGSizeBytes) : 0);
  ijlFree(&jpeg);
  return ok;
}

}  // namespace

bool WriteCaptureFrame(const BitmapInfoHeader& format, const std::vector<uint8_t>& bgr,
                       std::vector<uint8_t>& frame) {
  const int w = format.biWidth, h = std::abs(format.biHeight);
  if (w <= 0 || h <= 0 || bgr.size() < static_cast<size_t>(w) * h * 3) return false;
  const size_t pixels = static_cast<size_t>(w) * h;
  std::vector<uint8_t> argb;
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
      return WriteJpeg(w, h, bgr, frame);
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
