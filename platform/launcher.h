// Stands in for ShellExecuteA: opens a file with the user's default program.
// Promises the same results: 2 when the file is missing, 31 when nothing can
// open it, above 32 when the program was started.
#pragma once

#include <string>

namespace platform {

constexpr int kLaunchFileNotFound = 2;
constexpr int kLaunchNoAssociation = 31;
constexpr int kLaunchStarted = 42;

// Opens `path` with xdg-open, without a shell. A path that doesn't exist is
// looked up without regard to letter case in its folder first, as Windows
// matches names.
int OpenDocument(const std::string& path);

}  // namespace platform
