#include "capture/camera_memory.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace capture {

std::string ControlsText(const std::vector<std::pair<uint32_t, int32_t>>& controls) {
  std::string text;
  for (const auto& [id, value] : controls) {
    if (!text.empty()) text += ' ';
    text += std::to_string(id) + "=" + std::to_string(value);
  }
  return text;
}

std::vector<std::pair<uint32_t, int32_t>> ReadControlsText(const std::string& text) {
  std::vector<std::pair<uint32_t, int32_t>> controls;
  std::istringstream words(text);
  for (std::string word; words >> word;) {
    uint32_t id = 0;
    int32_t value = 0;
    char rest = 0;
    if (std::sscanf(word.c_str(), "%" SCNu32 "=%" SCNd32 "%c", &id, &value, &rest) == 2)
      controls.emplace_back(id, value);
  }
  return controls;
}

std::vector<std::pair<uint32_t, int32_t>> Merge(
    std::vector<std::pair<uint32_t, int32_t>> kept,
    const std::vector<std::pair<uint32_t, int32_t>>& changed) {
  for (const auto& [id, value] : changed) {
    const auto at = std::ranges::find(kept, id, &std::pair<uint32_t, int32_t>::first);
    if (at == kept.end()) {
      kept.emplace_back(id, value);
    } else {
      at->second = value;
    }
  }
  return kept;
}

}  // namespace capture
