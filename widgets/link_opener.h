#pragma once

#include <string>

namespace widgets {

// What a click on a hyperlink label does, free of wx: open the URL, or the
// reason it could not be opened.

// OpenLink's fallback command: `registered` cut at the first quoted "%1"
// (or else the first bare %1), then a blank and `url`. False when that
// would not fit the 520-byte command buffer (519 characters and the end).
[[nodiscard]] bool FallbackCommand(const std::string& registered, const std::string& url, std::string& command);

// The registry's default value of `subkey` below `root` (only
// "HKEY_CLASSES_ROOT" is known). 0 on success, else the error code.
[[nodiscard]] int ReadClassKeyDefault(const std::string& root, const std::string& subkey, std::string& value);

// Opens `url` with the desktop's default handler, or else with the program
// registered for ".htm" files. The result of the last attempt; above 32 is
// success.
[[nodiscard]] int OpenLink(const std::string& url);

// The text of ShowOpenError's box for result `code`.
std::string OpenErrorMessage(int code);

}  // namespace widgets
