#include "capture/capture_error.h"

namespace capture {

const char kCaptureErrorText[10][64] = {
    "Error initializing JPEG compression library",
    "Error compressing JPEG data",
    "Error cleaning up JPEG compression library",
    "Error closing compressor",
    "Error. No capture driver has been allocated",
    "Error. Unable to connect to capture driver specified.",
    "Error. Already grabbing images.",
    "Error. Unable to start image capture.",
    "Error. Already previewing images.",
    "Error. Unable to decompress image.",
};

}  // namespace capture
