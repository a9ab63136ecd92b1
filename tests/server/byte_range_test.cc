#include "server/byte_range.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ByteRange, OneRangeIsReadAgainstTheSizeAndAnythingElseIsTheWholeFile) {
  using Kind = server::ByteRange::Kind;
  struct Case {
    std::string value;
    int64_t size;
    Kind kind;
    int64_t first, last;
  };
  const Case cases[] = {
      {"", 10, Kind::kWhole, 0, 0},
      {"bytes=0-0", 10, Kind::kPart, 0, 0},
      {"bytes=2-5", 10, Kind::kPart, 2, 5},
      {"BYTES = 2 - 5 ", 10, Kind::kWhole, 0, 0},  // no blank inside the unit
      {"Bytes=2 - 5", 10, Kind::kPart, 2, 5},
      {"bytes=3-", 10, Kind::kPart, 3, 9},
      {"bytes=9-", 10, Kind::kPart, 9, 9},
      {"bytes=0-999999999999999", 10, Kind::kPart, 0, 9},
      {"bytes=-3", 10, Kind::kPart, 7, 9},
      {"bytes=-30", 10, Kind::kPart, 0, 9},
      {"bytes=10-", 10, Kind::kUnsatisfiable, 0, 0},
      {"bytes=10-20", 10, Kind::kUnsatisfiable, 0, 0},
      {"bytes=-0", 10, Kind::kUnsatisfiable, 0, 0},
      {"bytes=0-", 0, Kind::kUnsatisfiable, 0, 0},
      {"bytes=-5", 0, Kind::kUnsatisfiable, 0, 0},
      {"bytes=5-2", 10, Kind::kWhole, 0, 0},
      {"bytes=0-1,3-4", 10, Kind::kWhole, 0, 0},
      {"bytes=-", 10, Kind::kWhole, 0, 0},
      {"bytes=a-b", 10, Kind::kWhole, 0, 0},
      {"bytes=+1-2", 10, Kind::kWhole, 0, 0},
      {"bytes=1", 10, Kind::kWhole, 0, 0},
      {"bytes=99999999999999999999-", 10, Kind::kWhole, 0, 0},  // too large to read
      {"items=0-1", 10, Kind::kWhole, 0, 0},
      {"bytes=", 10, Kind::kWhole, 0, 0},
  };
  for (const Case& c : cases) {
    const server::ByteRange range = server::ReadByteRange(c.value, c.size);
    EXPECT_EQ(range.kind, c.kind) << c.value;
    if (c.kind == Kind::kPart) {
      EXPECT_EQ(range.first, c.first) << c.value;
      EXPECT_EQ(range.last, c.last) << c.value;
    }
  }
}

}  // namespace
