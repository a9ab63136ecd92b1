// Stands in for ShellExecuteA and WinExec: opens a file or a URL with the
// user's default program, or runs a command line. Promises their result
// codes: 0 out of resources, 2 file not found, 3 path not found, 5 access
// denied, 11 bad format, 31 no program for it, above 32 started.
#pragma once

#include <string>

namespace platform {

constexpr int kLaunchOutOfResources = 0;
constexpr int kLaunchFileNotFound = 2;
constexpr int kLaunchPathNotFound = 3;
constexpr int kLaunchAccessDenied = 5;
constexpr int kLaunchBadFormat = 11;
constexpr int kLaunchNoAssociation = 31;
constexpr int kLaunchStarted = 42;
// Every result above this one means the program started.
constexpr int kLaunchFailedAtMost = 32;
inline bool Launched(int result) { return result > kLaunchFailedAtMost; }

// Opens `path` with xdg-open, without a shell, and returns at once. A path
// that doesn't exist is looked up without regard to letter case in its
// folder first, as Windows matches names. With `mimeType`, a file no
// program is set up to open gets kLaunchNoAssociation and nothing runs
// (xdg-open would try browser after browser, showing nothing for a long
// while).
[[nodiscard]] int OpenDocument(const std::string& path, const std::string& mimeType = {});

// ShellExecuteA's "open" of a URL: xdg-open, without a shell. Waits up to
// two seconds for xdg-open's verdict; one still running then has started a
// program.
[[nodiscard]] int OpenUrl(const std::string& url);

// WinExec: runs `commandLine` without a shell, split into arguments at
// blanks outside double quotes, the first naming the program (looked up on
// PATH when it has no slash).
[[nodiscard]] int RunCommandLine(const std::string& commandLine);

}  // namespace platform
