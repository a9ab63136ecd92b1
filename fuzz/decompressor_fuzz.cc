// Any bytes as a frame of each capture format, at any declared size up to
// 1920 x 1080: no crash, no read past the frame, no write past the output
// (the frame is copied to a buffer of exactly its length for ASan to watch).
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/capture_driver.h"
#include "platform/decompressor.h"

using namespace platform;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  static const uint32_t kFormats[] = {kFourccYuyv,       kFourccUyvy,  kFourccNv12,
                                      kFourccYu12,       kFourccMjpeg, kFourccRgbTopDown,
                                      kFourccBgrTopDown, kBiRgb};
  const uint32_t format = kFormats[data[0] % std::size(kFormats)];
  const int32_t width = 1 + (data[1] | data[2] << 8) % 1920;
  const int32_t height = 1 + (data[3] | data[4] << 8) % 1080;
  std::vector<uint8_t> frame(data + 5, data + size);

  BitmapInfoHeader in;
  in.biWidth = width;
  in.biHeight = height;
  in.biCompression = format;
  in.biBitCount = format == kFourccNv12 || format == kFourccYu12   ? 12
                  : format == kFourccYuyv || format == kFourccUyvy ? 16
                                                                   : 24;
  in.biSizeImage = static_cast<uint32_t>(frame.size());
  BitmapInfoHeader out;
  out.biWidth = width;
  out.biHeight = height;
  out.biBitCount = 24;
  auto decompressor = Decompressor::Locate(ICTYPE_VIDEO, in, out, ICMODE_FASTDECOMPRESS);
  if (!decompressor) return 0;
  PackedBitmap picture = decompressor->Decompress(in, frame.empty() ? nullptr : frame.data(),
                                                  static_cast<uint32_t>(frame.size()), out);
  if (picture) {
    volatile uint8_t last = picture[sizeof(BitmapInfoHeader) +
                                    static_cast<size_t>(BitmapStride(width, 24)) * height - 1];
    (void)last;
  }
  return 0;
}
