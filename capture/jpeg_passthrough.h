#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace capture {

// A camera's own JPEG frame, checked and made whole for every decoder,
// instead of being decoded and encoded again.

// PassThroughJpeg's results besides a byte count.
constexpr int32_t kNotAWholeJpeg = 0;  // dropped like a frame that failed to decompress
constexpr int32_t kJpegTooLarge = -1;  // dropped like the encoder's overflow

// Copies `frame` to `out` when it is a whole JPEG image: at least 125
// bytes, FF D8 first and FF D9 last (zero bytes after it are cut off).
// When no Huffman table (DHT) comes before the start of scan, as UVC
// cameras send it, the standard tables (ITU T.81 Annex K.3) are put in
// before the first frame header. Result: the bytes written, or one of the
// two above; nothing beyond `capacity` is written.
int32_t PassThroughJpeg(const uint8_t* frame, size_t length, uint8_t* out, int32_t capacity);

// The DHT segment (marker included) with the four standard tables.
const std::vector<uint8_t>& StandardHuffmanSegment();

}  // namespace capture
