#pragma once

#include <sys/types.h>

#include <string>

// Runs a shell command and returns what it wrote to standard output.
std::string RunCommand(const std::string& command);

// Takes a screenshot of `url` with headless Chromium into `png`.
bool ChromiumScreenshot(const std::string& url, const std::string& png, int width, int height);

// The same with headless Firefox ESR, in a fresh profile.
bool FirefoxScreenshot(const std::string& url, const std::string& png, int width, int height);

// Decodes an image file with FFmpeg into packed RGB bytes (empty on failure).
std::string ImageToRgb(const std::string& path);

// Waits up to `ms` for child `pid` to exit; its exit status, or -1 when it
// is still running (or died of a signal).
int WaitForChild(pid_t pid, int ms);
