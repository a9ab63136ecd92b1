#include "capture/jpeg_passthrough.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/jpeg_decode.h"
#include "tests/support/pictures.h"

namespace {

// The payloads of the image's Huffman table segments, in their order.
std::string HuffmanPayloads(const std::string& jpeg) {
  std::string payloads;
  for (size_t at = 2; static_cast<uint8_t>(jpeg[at + 1]) != 0xda;) {
    size_t length =
        2 + (static_cast<uint8_t>(jpeg[at + 2]) << 8 | static_cast<uint8_t>(jpeg[at + 3]));
    if (static_cast<uint8_t>(jpeg[at + 1]) == 0xc4) payloads += jpeg.substr(at + 4, length - 4);
    at += length;
  }
  return payloads;
}

std::string PassThrough(const std::string& frame, int32_t capacity, int32_t* result) {
  std::string out(static_cast<size_t>(capacity > 0 ? capacity : 0), '\0');
  *result = capture::PassThroughJpeg(reinterpret_cast<const uint8_t*>(frame.data()), frame.size(),
                                     reinterpret_cast<uint8_t*>(out.data()), capacity);
  out.resize(*result > 0 ? static_cast<size_t>(*result) : 0);
  return out;
}

TEST(PassThroughJpeg, TheStandardTablesAreThoseLibjpegWrites) {
  const std::vector<uint8_t>& dht = capture::StandardHuffmanSegment();
  EXPECT_EQ(std::string(dht.begin() + 4, dht.end()), HuffmanPayloads(CameraJpeg(64, 48)));
}

TEST(PassThroughJpeg, PassesWholeImagesCompletesTablesAndDropsTheRest) {
  for (auto [width, height] : {std::pair{1280, 720}, std::pair{1920, 1080}}) {
    const std::string jpeg = CameraJpeg(width, height);
    ASSERT_GT(jpeg.size(), 1000u);
    const std::string noTables = WithoutHuffmanTables(jpeg);
    const int32_t capacity = width * height * 4;
    struct Case {
      std::string name, frame;
      int32_t capacity, result;
      std::string expected;  // "" when only decoding is compared
    };
    const Case cases[] = {
        {"whole", jpeg, capacity, static_cast<int32_t>(jpeg.size()), jpeg},
        {"trailing zeros", jpeg + std::string(300, '\0'), capacity,
         static_cast<int32_t>(jpeg.size()), jpeg},
        {"no tables", noTables, capacity,
         static_cast<int32_t>(noTables.size() + capture::StandardHuffmanSegment().size()), ""},
        {"truncated", jpeg.substr(0, jpeg.size() / 2), capacity, capture::kNotAWholeJpeg, ""},
        {"no start", jpeg.substr(2), capacity, capture::kNotAWholeJpeg, ""},
        {"too short", jpeg.substr(0, 60) + "\xff\xd9", capacity, capture::kNotAWholeJpeg, ""},
        {"larger than the buffer", jpeg, static_cast<int32_t>(jpeg.size()) - 1,
         capture::kJpegTooLarge, ""},
    };
    for (const Case& c : cases) {
      int32_t result = 0;
      std::string out = PassThrough(c.frame, c.capacity, &result);
      EXPECT_EQ(result, c.result) << c.name << " " << width;
      if (!c.expected.empty()) {
        EXPECT_TRUE(out == c.expected) << c.name;
      }
      if (result > 0) {
        DecodedJpeg original = DecodeJpeg(jpeg), passed = DecodeJpeg(out);
        ASSERT_TRUE(passed.ok) << c.name;
        EXPECT_TRUE(passed.rgb == original.rgb) << c.name << ": the same picture";
      }
    }
  }
}

}  // namespace
