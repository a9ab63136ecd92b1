#pragma once

#include <string>
#include <vector>

#include "settings/server_settings.h"

namespace settings {

// What the setup dialog's controls hold: the four edits' texts and the check box.
struct SetupTexts {
  std::string compression;   // edit 1007
  std::string maxclients;    // edit 1008
  std::string portnum;       // edit 1012
  std::string camurl;        // edit 1014
  bool connections = false;  // check box 1005
};

// The texts the dialog opens with.
SetupTexts SetupTextsFrom(const ServerSettings& settings);

// OK's reading and checking: the texts read as typed (numbers as atoi reads
// them, kept in the unsigned fields), and each value out of range gets its
// message. The messages in order; none when every value passed, and only
// then does `settings` take the values.
std::vector<std::string> ReadSetupTexts(const SetupTexts& texts, ServerSettings& settings);

// The wizard's port field, read as atoi reads it: nullptr with `port` set
// when Setup would accept it, else Setup's message (a page naming port 0
// would serve nobody).
[[nodiscard]] const char* ReadPortText(const std::string& text, uint32_t& port);

}  // namespace settings
