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

// What names a camera's files, "" for the one camera.
std::string CameraPrefix(std::string_view camera) {
  return camera.empty() ? std::string() : std::string(camera) + " ";
}

}  // namespace

std::string IntervalPictureName(const std::tm& when, std::string_view camera) {
  return CameraPrefix(camera) + Format("%Y-%m-%d_%H-%M-%S.jpg", when);
}
std::string SavedPictureName(const std::tm& when) {
  return Format("Owlglance %Y-%m-%d %H-%M-%S.jpg", when);
}
std::string RecordingName(const std::tm& when, std::string_view camera) {
  return "Owlglance " + CameraPrefix(camera) + Format("%Y-%m-%d %H-%M-%S.mkv", when);
}

std::string CameraInFileName(std::string_view name) {
  std::string file(name.empty() ? "camera" : name);
  for (char& c : file)
    if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '_';
  return file;
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

bool IsIntervalPicture(std::string_view name, std::string_view camera) {
  const std::string prefix = CameraPrefix(camera);
  return name.starts_with(prefix) && SuffixOf(name.substr(prefix.size())) != 0;
}

bool IsRecordingName(std::string_view name) {
  constexpr std::string_view kPrefix = "Owlglance ";
  if (!name.starts_with(kPrefix) || !name.ends_with(".mkv")) return false;
  const std::string_view rest = name.substr(kPrefix.size());
  // The time comes first, or after the camera's name and a space.
  for (size_t at = 0; at < rest.size(); ++at) {
    if (at != 0 && rest[at - 1] != ' ') continue;
    // "2026-12-09 07-05-03.mkv" reads as an interval picture's name would.
    std::string picture(rest.substr(at));
    picture.replace(picture.size() - 4, 4, ".jpg");
    if (picture.size() > 10) picture[10] = '_';
    if (IsIntervalPicture(picture)) return true;
  }
  return false;
}

std::vector<std::string> PicturesBeyond(const std::vector<std::string>& names, uint32_t keep,
                                        std::string_view camera) {
  if (keep == 0) return {};
  const size_t start = CameraPrefix(camera).size();
  std::vector<std::string> pictures;
  for (const std::string& name : names)
    if (IsIntervalPicture(name, camera)) pictures.push_back(name.substr(start));
  if (pictures.size() <= keep) return {};
  // By the time in the name, then by the suffix: "_10" after "_9".
  std::ranges::sort(pictures, [](const std::string& a, const std::string& b) {
    return std::tuple(std::string_view(a).substr(0, kPicturePattern.size()), SuffixOf(a)) <
           std::tuple(std::string_view(b).substr(0, kPicturePattern.size()), SuffixOf(b));
  });
  pictures.resize(pictures.size() - keep);
  for (std::string& picture : pictures) picture.insert(0, CameraPrefix(camera));
  return pictures;
}

}  // namespace keep
