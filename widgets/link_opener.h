#pragma once

#include <string>

namespace widgets {

// What a click on a hyperlink label does, free of wx: open the URL, or the
// reason it could not be opened.

// OpenLink's fallback command: `registered` cut at the first quoted "%1"
// (or else the first bare %1), then a blank and `url`. False when that
// would not fit the 520-byte command buffer (519 characters and the end).
[[nodiscard]] bool FallbackCommand(const std::string& registered, const std::string& url,
                                   std::string& command);

// The registry's default value of `subkey` below `root` (only
// "HKEY_CLASSES_ROOT" is known); false when there is none.
[[nodiscard]] bool ReadClassKeyDefault(const std::string& root, const std::string& subkey,
                                       std::string& value);

// Opens `url` with the desktop's default handler, or else with the program
// registered for ".htm" files. False when neither started: `failure` then
// holds the launcher's code of the last attempt, for OpenErrorMessage.
[[nodiscard]] bool OpenLink(const std::string& url, int& failure);

// The text of the box that says why a link did not open, for the
// launcher's code `failure`.
std::string OpenErrorMessage(int failure);

}  // namespace widgets
