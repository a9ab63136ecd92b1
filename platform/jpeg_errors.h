#pragma once

#include <csetjmp>
#include <cstddef>  // jpeglib.h needs size_t and FILE declared before it
#include <cstdio>

#include <jpeglib.h>

namespace platform {

// libjpeg's error manager with errors as results: an error jumps back to
// the caller's setjmp(jump) instead of ending the program, and no message
// reaches stderr.
struct JpegErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] inline void JumpOnJpegError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

// The manager to put in a codec's `err` before it is created.
inline jpeg_error_mgr* UseJpegErrors(JpegErrors& errors) {
  jpeg_error_mgr* manager = jpeg_std_error(&errors.pub);
  manager->error_exit = JumpOnJpegError;
  manager->output_message = [](j_common_ptr) {};
  return manager;
}

}  // namespace platform
