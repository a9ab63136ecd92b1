#pragma once

#include <string>

#include "settings/server_settings.h"

namespace settings {

// The registry key that holds the settings, below HKEY_CURRENT_USER.
constexpr char kSettingsKey[] = "Software\\Brackwater Software\\Owlglance\\Version " OWL_VERSION;

// What LoadSettings found besides the values.
struct SettingsFound {
  bool firstRun = false;  // the key was just created, or "frun" holds a nonzero value
  std::string keptAs;     // where a file that could not be parsed was kept aside; empty if none
  // Why a file that is there could not be read at all; empty if it was. It
  // is left as it is, and no save writes over it while the program runs.
  std::string unreadable;

  // What the user is told about the file; empty when it read well.
  std::string Message() const;
};

// Fills every field from the registry, replacing values out of range with
// their defaults.
[[nodiscard]] SettingsFound LoadSettings(ServerSettings& settings);

// Reads the settings again for a program that runs on them, changing no
// file: `settings` becomes the file's only when it reads well (a file
// caught half written may not). Why it did not, or "".
[[nodiscard]] std::string ReloadSettings(ServerSettings& settings);

// Writes every value as it stands, and "frun" as 0.
void SaveSettings(const ServerSettings& settings);

// What is kept of one camera, by the name that finds it again, in a key of
// its own below the settings' ("Cameras\NAME"): its format line and its
// controls line, each empty when nothing is kept.
void LoadCameraValues(const std::string& camera, std::string& format, std::string& controls);
void SaveCameraValues(const std::string& camera, const std::string& format,
                      const std::string& controls);
// A camera's own switches, in the same key: "served" beside the chosen
// camera (1 when never set) and "record" (0 when never set).
bool LoadCameraSwitch(const std::string& camera, const char* name, bool unset);
void SaveCameraSwitch(const std::string& camera, const char* name, bool on);

}  // namespace settings
