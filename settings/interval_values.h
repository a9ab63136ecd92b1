#pragma once

#include <string>
#include <vector>

#include "settings/server_settings.h"

namespace settings {

// What the Pictures Every... dialog's controls hold.
struct IntervalTexts {
  bool on = false;
  std::string seconds, folder, keep;
};

constexpr char kIntervalSecondsMessage[] = "Take a picture every 1 to 86400 seconds.";
constexpr char kIntervalKeepMessage[] = "Keep at most 0 to 1000000 pictures; 0 keeps them all.";
constexpr char kIntervalFolderMessage[] =
    "The folder must be a whole path, starting with /, or empty for the pictures folder.";

IntervalTexts IntervalTextsFrom(const ServerSettings& settings);

// OK's reading and checking: the messages in order, and only when there is
// none do `settings` take what was typed. Numbers are digits alone; the
// folder may be left empty for the user's pictures folder.
std::vector<std::string> ReadIntervalTexts(const IntervalTexts& texts, ServerSettings& settings);

}  // namespace settings
