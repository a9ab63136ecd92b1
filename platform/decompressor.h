// Stands in for the installed video decompressors (ICLocate,
// ICImageDecompress, ICClose). Promises a converter from a capture format to
// 24-bit bottom-up RGB with rows padded to 4 bytes, or none.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/bitmap.h"

namespace platform {

constexpr uint32_t ICTYPE_VIDEO = 0x63646976;  // "vidc"
constexpr int ICMODE_FASTDECOMPRESS = 3;

// A packed bitmap: the header, then the rows from biSize on.
using PackedBitmap = std::unique_ptr<uint8_t[]>;

class Decompressor {
 public:
  // ICLocate: a converter from `in` to `out`, or nullptr when none offers it
  // (among others when `in` already is `out`).
  static std::unique_ptr<Decompressor> Locate(uint32_t type, const BitmapInfoHeader& in,
                                              const BitmapInfoHeader& out, int mode);
  virtual ~Decompressor() = default;
  // ICImageDecompress: a fresh packed bitmap, or nullptr on failure.
  virtual PackedBitmap Decompress(const BitmapInfoHeader& in, const uint8_t* frame,
                                  uint32_t frameBytes, const BitmapInfoHeader& out) = 0;
  // ICClose: 0 on success.
  virtual int Close() { return 0; }
};

// The libjpeg-turbo scale (8, 4, 2 or 1 for 1/8 to 1) at which a
// `frameWidth` x `frameHeight` JPEG still covers `width` x `height`.
int JpegScaleFor(int frameWidth, int frameHeight, int width, int height);

// A Motion-JPEG frame decoded for a picture of `width` x `height` on screen,
// at the scale JpegScaleFor gives: the packed bitmap's header has the size
// decoded. nullptr on failure. Decoding an eighth of the pixels costs about
// an eighth of the time, and the rest is scaled while drawing.
PackedBitmap DecompressMjpegFor(const uint8_t* frame, uint32_t frameBytes, int width, int height);

}  // namespace platform
