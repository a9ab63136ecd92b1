#pragma once

#include <string>
#include <vector>

// Splits the bytes of a motion-JPEG response into its images. `whole` is
// false when the bytes end inside a part or break the format.
struct ParsedStream {
  bool headOk = false;
  bool whole = false;
  std::vector<std::string> images;
};
ParsedStream ParseStream(const std::string& bytes);
