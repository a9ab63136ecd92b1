#include "keep/picture_names.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <tuple>

namespace keep {

namespace {

std::string Format(const char* pattern, const std::tm& when) {
  char text[64];
  std::strftime(text, sizeof text, pattern, &when);
  return text;
}

constexpr std::string_view kPicturePattern = "dddd-dd-dd_dd-dd-dd";

// The suffix number of an interval picture (1 without one); 0 for a name
// that is none.
uint32_t SuffixOf(std::string_view name) {
  if (name.size() < kPicturePattern.size() + 4 || !name.ends_with(".jpg")) return 0;
  for (size_t i = 0; i < kPicturePattern.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(name[i])) != 0;
    if (kPicturePattern[i] == 'd' ? !digit : name[i] != kPicturePattern[i]) return 0;
  }
  std::string_view rest = name.substr(kPicturePattern.size());
  rest.remove_suffix(4);
  if (rest.empty()) return 1;
  if (rest.size() < 2 || rest.size() > 10 || rest[0] != '_') return 0;
  uint32_t n = 0;
  for (char c : rest.substr(1)) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
    n = n * 10 + static_cast<uint32_t>(c - '0');
  }
  return n >= 2 ? n : 0;
}

}  // namespace

std::string IntervalPictureName(const std::tm& when) {
  return Format("%Y-%m-%d_%H-%M-%S.jpg", when);
}
std::string SavedPictureName(const std::tm& when) {
  return Format("Owlglance %Y-%m-%d %H-%M-%S.jpg", when);
}
std::string RecordingName(const std::tm& when) {
  return Format("Owlglance %Y-%m-%d %H-%M-%S.mkv", when);
}

std::string FreeName(const std::string& name,
                     const std::function<bool(const std::string&)>& taken) {
  if (!taken(name)) return name;
  const size_t dot = name.rfind('.');
  const std::string stem = name.substr(0, dot), extension = name.substr(dot);
  for (int n = 2;; ++n) {
    std::string next = stem + "_" + std::to_string(n) + extension;
    if (!taken(next)) return next;
  }
}

bool IsIntervalPicture(std::string_view name) { return SuffixOf(name) != 0; }

bool IsRecordingName(std::string_view name) {
  constexpr std::string_view kPrefix = "Owlglance ";
  if (!name.starts_with(kPrefix) || !name.ends_with(".mkv")) return false;
  std::string picture(name.substr(kPrefix.size()));
  // "2026-12-09 07-05-03.mkv" reads as an interval picture's name would.
  picture.replace(picture.size() - 4, 4, ".jpg");
  if (picture.size() > 10) picture[10] = '_';
  return IsIntervalPicture(picture);
}

std::vector<std::string> PicturesBeyond(const std::vector<std::string>& names, uint32_t keep) {
  if (keep == 0) return {};
  std::vector<std::string> pictures;
  for (const std::string& name : names)
    if (IsIntervalPicture(name)) pictures.push_back(name);
  if (pictures.size() <= keep) return {};
  // By the time in the name, then by the suffix: "_10" after "_9".
  std::ranges::sort(pictures, [](const std::string& a, const std::string& b) {
    return std::tuple(std::string_view(a).substr(0, kPicturePattern.size()), SuffixOf(a)) <
           std::tuple(std::string_view(b).substr(0, kPicturePattern.size()), SuffixOf(b));
  });
  pictures.resize(pictures.size() - keep);
  return pictures;
}

}  // namespace keep
