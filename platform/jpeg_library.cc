#include "platform/jpeg_library.h"

#include <vector>

#include "platform/jpeg_errors.h"

namespace platform {

namespace {

constexpr int kRowBatch = 16;

struct Destination {
  jpeg_destination_mgr pub;
  bool overflow;
};

// One libjpeg compressor per thread, created on first use and reused, so an
// image costs what it costs TurboJPEG with a kept handle.
struct Compressor {
  jpeg_compress_struct cinfo;
  JpegErrors error;
  Destination destination;
  std::vector<uint8_t> scratch;  // 32-bit rows converted to YCbCr and alpha
  bool created = false;
  ~Compressor() {
    if (created) jpeg_destroy_compress(&cinfo);
  }
};

thread_local Compressor compressor;

void OnInitDestination(j_compress_ptr) {}
void OnTermDestination(j_compress_ptr) {}
// The caller's buffer is full: the image does not fit, and nothing is written
// past it.
boolean OnBufferFull(j_compress_ptr cinfo) {
  reinterpret_cast<Destination*>(cinfo->dest)->overflow = true;
  JumpOnJpegError(reinterpret_cast<j_common_ptr>(cinfo));
}

bool Usable(const JPEG_CORE_PROPERTIES& r) {
  int height = r.DIBHeight < 0 ? -r.DIBHeight : r.DIBHeight;
  return r.DIBBytes && r.JPGBytes && r.JPGSizeBytes > 0 && r.DIBWidth > 0 && height > 0 &&
         r.JPGWidth == r.DIBWidth && r.JPGHeight == height && r.DIBPadBytes >= 0 &&
         r.jquality >= 0 && r.jquality <= 100 && r.DIBWidth <= 65500 && height <= 65500;
}

// RGBA rows to Y, Cb, Cr and the untouched fourth byte (JFIF's transform).
void ToYccA(const uint8_t* in, uint8_t* out, int width) {
  for (int x = 0; x < width; ++x, in += 4, out += 4) {
    int r = in[0], g = in[1], b = in[2];
    out[0] = static_cast<uint8_t>((19595 * r + 38470 * g + 7471 * b + 32768) >> 16);
    out[1] = static_cast<uint8_t>((-11059 * r - 21709 * g + 32768 * b + (128 << 16) + 32767) >> 16);
    out[2] = static_cast<uint8_t>((32768 * r - 27439 * g - 5329 * b + (128 << 16) + 32767) >> 16);
    out[3] = in[3];
  }
}

void Configure(jpeg_compress_struct& cinfo, const JPEG_CORE_PROPERTIES& r) {
  cinfo.image_width = static_cast<JDIMENSION>(r.JPGWidth);
  cinfo.image_height = static_cast<JDIMENSION>(r.JPGHeight);
  if (r.DIBChannels == 3) {
    cinfo.input_components = 3;
    cinfo.in_color_space = r.DIBColor == IJL_BGR ? JCS_EXT_BGR : JCS_RGB;
    jpeg_set_defaults(&cinfo);  // YCbCr with chroma once per 2x2 block
  } else {
    // Four components: Y and the fourth at full resolution, Cb and Cr once
    // per 2x2 block, converted here since libjpeg has no such transform.
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_UNKNOWN;
    jpeg_set_defaults(&cinfo);
    for (int c = 0; c < 4; ++c) {
      bool full = c == 0 || c == 3;
      cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = full ? 2 : 1;
      cinfo.comp_info[c].quant_tbl_no = cinfo.comp_info[c].dc_tbl_no =
          cinfo.comp_info[c].ac_tbl_no = full ? 0 : 1;
    }
  }
  jpeg_set_quality(&cinfo, r.jquality, TRUE);
}

int Write(JPEG_CORE_PROPERTIES* r) {
  Compressor& c = compressor;
  jpeg_compress_struct& cinfo = c.cinfo;
  if (!c.created) {
    cinfo.err = UseJpegErrors(c.error);
    if (setjmp(c.error.jump)) return IJL_EXCEPTION_DETECTED;
    jpeg_create_compress(&cinfo);
    c.destination.pub.init_destination = OnInitDestination;
    c.destination.pub.empty_output_buffer = OnBufferFull;
    c.destination.pub.term_destination = OnTermDestination;
    cinfo.dest = &c.destination.pub;
    c.created = true;
  }
  const int channels = r->DIBChannels;
  const int width = r->DIBWidth;
  const int height = r->JPGHeight;
  const bool bottomUp = r->DIBHeight < 0;
  const size_t stride = static_cast<size_t>(width) * channels + r->DIBPadBytes;
  if (channels == 4) c.scratch.resize(static_cast<size_t>(width) * 4 * kRowBatch);

  c.destination.overflow = false;
  c.destination.pub.next_output_byte = r->JPGBytes;
  c.destination.pub.free_in_buffer = static_cast<size_t>(r->JPGSizeBytes);
  if (setjmp(c.error.jump)) {
    jpeg_abort_compress(&cinfo);
    return c.destination.overflow ? IJL_BUFFER_TOO_SMALL : IJL_EXCEPTION_DETECTED;
  }
  Configure(cinfo, *r);
  jpeg_start_compress(&cinfo, TRUE);
  JSAMPROW rows[kRowBatch];
  while (cinfo.next_scanline < cinfo.image_height) {
    int count = 0;
    for (; count < kRowBatch && cinfo.next_scanline + count < cinfo.image_height; ++count) {
      int y = static_cast<int>(cinfo.next_scanline) + count;
      const uint8_t* row =
          r->DIBBytes + stride * static_cast<size_t>(bottomUp ? height - 1 - y : y);
      if (channels == 4) {
        uint8_t* converted = c.scratch.data() + static_cast<size_t>(width) * 4 * count;
        ToYccA(row, converted, width);
        row = converted;
      }
      rows[count] = const_cast<JSAMPROW>(row);
    }
    jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count));
  }
  jpeg_finish_compress(&cinfo);
  r->JPGSizeBytes = static_cast<int32_t>(r->JPGSizeBytes - c.destination.pub.free_in_buffer);
  return IJL_OK;
}

}  // namespace

int ijlInit(JPEG_CORE_PROPERTIES* record) {
  if (!record || record->initialised) return IJL_INVALID_JPEG_PROPERTIES;
  record->DIBChannels = 3;
  record->DIBColor = IJL_BGR;
  record->JPGChannels = 3;
  record->JPGColor = IJL_YCBCR;
  record->JPGSubsampling = IJL_411;
  record->jquality = 75;
  record->initialised = 1;
  return IJL_OK;
}

int ijlWrite(JPEG_CORE_PROPERTIES* record, int mode) {
  if (!record || !record->initialised) return IJL_NOT_INITIALIZED;
  if (mode != IJL_JBUFF_WRITEWHOLEIMAGE || record->JPGFile) return IJL_UNSUPPORTED_MODE;
  if (!Usable(*record)) return IJL_INVALID_JPEG_PROPERTIES;
  bool rgb = record->DIBChannels == 3 && record->JPGChannels == 3 &&
             record->JPGColor == IJL_YCBCR && record->JPGSubsampling == IJL_411 &&
             (record->DIBColor == IJL_BGR || record->DIBColor == IJL_RGB);
  bool rgba = record->DIBChannels == 4 && record->JPGChannels == 4 &&
              record->DIBColor == IJL_RGBA_FPX && record->JPGColor == IJL_YCBCRA_FPX &&
              record->JPGSubsampling == IJL_4114;
  if (!rgb && !rgba) return IJL_UNSUPPORTED_COLOR;
  return Write(record);
}

int ijlFree(JPEG_CORE_PROPERTIES* record) {
  if (!record || !record->initialised) return IJL_NOT_INITIALIZED;
  record->initialised = 0;
  return IJL_OK;
}

}  // namespace platform
