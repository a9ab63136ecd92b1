// Stands in for the closed JPEG library (init, write a whole image into
// memory, free) and its parameter record. Promises one complete JFIF image
// per write, never a byte past JPGSizeBytes, and errors as result codes.
#pragma once

#include <cstdint>

namespace platform {

// Colour spaces, subsamplings and the write mode, with the library's values.
constexpr int IJL_RGB = 1;
constexpr int IJL_BGR = 2;
constexpr int IJL_YCBCR = 3;
constexpr int IJL_RGBA_FPX = 5;
constexpr int IJL_YCBCRA_FPX = 6;
constexpr int IJL_411 = 1;
constexpr int IJL_4114 = 3;
constexpr int IJL_JBUFF_WRITEWHOLEIMAGE = 9;

// Results: 0 for success, negative for failure.
constexpr int IJL_OK = 0;
constexpr int IJL_EXCEPTION_DETECTED = -1;       // the codec itself failed
constexpr int IJL_INVALID_JPEG_PROPERTIES = -8;  // a record the library can't use
constexpr int IJL_NOT_INITIALIZED = -9;
constexpr int IJL_UNSUPPORTED_MODE = -10;
constexpr int IJL_UNSUPPORTED_COLOR = -11;
constexpr int IJL_BUFFER_TOO_SMALL = -12;

// The parameter record: fields the encoder sets, as the library names them.
struct JPEG_CORE_PROPERTIES {
  const uint8_t* DIBBytes;
  int32_t DIBWidth;
  int32_t DIBHeight;  // negative: the rows are stored bottom-up
  int32_t DIBPadBytes;
  int32_t DIBChannels;
  int32_t DIBColor;
  const char* JPGFile;
  uint8_t* JPGBytes;
  int32_t JPGSizeBytes;  // capacity in, byte count out
  int32_t JPGWidth;
  int32_t JPGHeight;
  int32_t JPGChannels;
  int32_t JPGColor;
  int32_t JPGSubsampling;
  int32_t jquality;
  int32_t initialised;  // the library's own
};

// Fills a zeroed record with the library's defaults.
int ijlInit(JPEG_CORE_PROPERTIES* record);
// Encodes the bitmap the DIB fields describe into JPGBytes.
int ijlWrite(JPEG_CORE_PROPERTIES* record, int mode);
// Releases what ijlInit prepared.
int ijlFree(JPEG_CORE_PROPERTIES* record);

}  // namespace platform
