#pragma once

#include <string>

#include "settings/server_settings.h"

namespace settings {

// The registry key that holds the settings, below HKEY_CURRENT_USER.
constexpr char kSettingsKey[] = "Software\\Brackwater Software\\Owlglance\\Version " OWL_VERSION;

// What LoadSettings found besides the values.
struct SettingsFound {
  bool firstRun = false;  // the key was just created, or "frun" holds a nonzero value
  std::string keptAs;     // where a file that could not be read was kept aside; empty if none

  // What the user is told about a file kept aside; empty when there was none.
  std::string Message() const;
};

// Fills every field from the registry, replacing values out of range with
// their defaults.
[[nodiscard]] SettingsFound LoadSettings(ServerSettings& settings);

// Writes every value as it stands, and "frun" as 0.
void SaveSettings(const ServerSettings& settings);

}  // namespace settings
