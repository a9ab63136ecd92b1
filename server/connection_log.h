#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace server {

// The connection log, "Owlglance.log" in the working folder. View Log asks
// for "owlglance.log": Windows matched file names without regard to case,
// and the launcher does so too, so both spellings name this one file.
constexpr char kLogFileName[] = "Owlglance.log";
constexpr char kViewLogName[] = "owlglance.log";
// A log that has passed kLogLimitBytes is kept as this, over an older one,
// and a new log starts.
constexpr char kOldLogFileName[] = "Owlglance.log.1";
constexpr int64_t kLogLimitBytes = 10 << 20;

// Appends one line, "MM/DD/YY HH:MM:SS text" with CR LF, in a single write
// to a file opened for appending, so lines from concurrent sessions stay
// whole; a line is never split between the log and the one kept aside
// (`limit` is kLogLimitBytes but in tests). False when it was not written.
// Called by client threads.
[[nodiscard]] bool AppendLog(const std::string& text, int64_t limit = kLogLimitBytes);

// The line AppendLog writes for `text` at local time `when`.
std::string FormatLogLine(const std::tm& when, const std::string& text);

}  // namespace server
