#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace keep {

// With several cameras each file names its camera: `camera` is its name
// as CameraInFileName gives it, or "" for the one camera.

// "2026-12-09_14-05-00.jpg": an interval picture taken at local time `when`;
// "Door 2026-12-09_14-05-00.jpg" of the camera "Door".
std::string IntervalPictureName(const std::tm& when, std::string_view camera = {});
// "Owlglance 2026-12-09 14-05-00.jpg", as Save Picture proposes it.
std::string SavedPictureName(const std::tm& when);
// "Owlglance 2026-12-09 14-05-00.mkv": a recording begun at `when`;
// "Owlglance Door 2026-12-09 14-05-00.mkv" of the camera "Door".
std::string RecordingName(const std::tm& when, std::string_view camera = {});

// A camera's name as a part of a file name: what a file name can't hold
// (a slash, a control character) becomes "_", and "" stays "camera".
std::string CameraInFileName(std::string_view name);

// `name` when `taken` says it is free, else the first free one of "NAME_2.EXT",
// "NAME_3.EXT", ...: two pictures in one second keep both.
std::string FreeName(const std::string& name, const std::function<bool(const std::string&)>& taken);

// Whether `name` is a recording's, any camera's, with or without a suffix.
bool IsRecordingName(std::string_view name);

// Whether `name` is an interval picture's of `camera`, with or without a
// suffix.
bool IsIntervalPicture(std::string_view name, std::string_view camera = {});

// Of `names` (a folder's), the interval pictures of `camera` to delete so
// that its newest `keep` stay, oldest first; none when `keep` is 0. Other
// files, other cameras' pictures among them, are never deleted.
std::vector<std::string> PicturesBeyond(const std::vector<std::string>& names, uint32_t keep,
                                        std::string_view camera = {});

}  // namespace keep
