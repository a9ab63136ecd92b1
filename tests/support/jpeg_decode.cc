#include "tests/support/jpeg_decode.h"

#include <csetjmp>
#include <cstdio>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

namespace {
struct Error {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};
void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<Error*>(info->err)->jump, 1); }
void Quiet(j_common_ptr) {}
}  // namespace

DecodedJpeg DecodeJpeg(const uint8_t* data, size_t size) {
  DecodedJpeg result;
  jpeg_decompress_struct cinfo;
  Error error;
  cinfo.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = OnError;
  error.pub.output_message = Quiet;
  jpeg_create_decompress(&cinfo);
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return DecodedJpeg{};
  }
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  result.width = static_cast<int>(cinfo.image_width);
  result.height = static_cast<int>(cinfo.image_height);
  result.components = cinfo.num_components;
  for (int c = 0; c < cinfo.num_components; ++c)
    result.sampling.emplace_back(cinfo.comp_info[c].h_samp_factor,
                                 cinfo.comp_info[c].v_samp_factor);
  if (cinfo.quant_tbl_ptrs[0])
    result.quantTable0.assign(cinfo.quant_tbl_ptrs[0]->quantval,
                              cinfo.quant_tbl_ptrs[0]->quantval + 64);
  if (cinfo.num_components == 3) {
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    result.rgb.resize(static_cast<size_t>(result.width) * result.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = &result.rgb[static_cast<size_t>(cinfo.output_scanline) * result.width * 3];
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
  }
  jpeg_destroy_decompress(&cinfo);
  result.ok = true;
  return result;
}
