#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace keep {

// "2026-12-09_14-05-00.jpg": an interval picture taken at local time `when`.
std::string IntervalPictureName(const std::tm& when);
// "Owlglance 2026-12-09 14-05-00.jpg", as Save Picture proposes it.
std::string SavedPictureName(const std::tm& when);
// "Owlglance 2026-12-09 14-05-00.mkv": a recording begun at `when`.
std::string RecordingName(const std::tm& when);

// `name` when `taken` says it is free, else the first free one of "NAME_2.EXT",
// "NAME_3.EXT", ...: two pictures in one second keep both.
std::string FreeName(const std::string& name, const std::function<bool(const std::string&)>& taken);

// Whether `name` is a recording's, with or without a suffix.
bool IsRecordingName(std::string_view name);

// Whether `name` is an interval picture's, with or without a suffix.
bool IsIntervalPicture(std::string_view name);

// Of `names` (a folder's), the interval pictures to delete so that the
// newest `keep` of them stay, oldest first; none when `keep` is 0. Other
// files are never among them.
std::vector<std::string> PicturesBeyond(const std::vector<std::string>& names, uint32_t keep);

}  // namespace keep
