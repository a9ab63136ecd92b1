#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/socket.h"
#include "server/notices.h"

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

// Logs `message` and the peer's address: asked for again, or else `peer`,
// the one learned before (a client that reset its connection has no peer
// any more), which it updates. Nothing without an address. A line that
// can't be written is dropped; `notices`, when given, hears of it.
void LogPeer(const platform::Socket& connection, const char* message, std::string& peer,
             Notices* notices);

// The line AppendLog writes for `text` at local time `when`.
std::string FormatLogLine(const std::tm& when, const std::string& text);

}  // namespace server
