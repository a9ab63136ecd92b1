#pragma once

#include <algorithm>
#include <utility>

namespace shell {

// The picture's size in the window: the video's own, or, when the window
// would not fit in `room` (the screen's work area less the window's frame,
// menu and status bar), scaled down to fit, keeping its aspect.
inline std::pair<int, int> FitVideo(int width, int height, int roomWidth, int roomHeight) {
  if (width <= 0 || height <= 0 || roomWidth <= 0 || roomHeight <= 0 ||
      (width <= roomWidth && height <= roomHeight))
    return {width, height};
  const double scale =
      std::min(static_cast<double>(roomWidth) / width, static_cast<double>(roomHeight) / height);
  return {std::max(1, static_cast<int>(width * scale)),
          std::max(1, static_cast<int>(height * scale))};
}

}  // namespace shell
