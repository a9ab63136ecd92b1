#pragma once

#include <string>

#include "server/server_settings.h"

namespace shell {

// The registry key that holds the settings, below HKEY_CURRENT_USER.
constexpr char kSettingsKey[] = "Software\\Brackwater Software\\Owlglance\\Version " OWL_VERSION;

// LoadSettings's results.
constexpr int kFirstRun = 1;
constexpr int kNotFirstRun = 0;

// Fills every field from the registry, replacing values out of range with
// their defaults. kFirstRun when this start is a first run (the key was just
// created, or "frun" holds a nonzero value). A settings file that could
// not be read was kept aside: `unreadable` then holds the message that says
// so, naming the copy; it is emptied otherwise.
[[nodiscard]] int LoadSettings(server::ServerSettings& settings, std::string* unreadable = nullptr);

// Writes every value as it stands, and "frun" as 0.
void SaveSettings(const server::ServerSettings& settings);

}  // namespace shell
