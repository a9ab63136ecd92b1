#pragma once

#include <string>

#include "platform/socket.h"

// The URL's path below "www/", with %XX escapes decoded and an absolute
// URL's scheme and host skipped. False when the URL is rejected: a bad
// escape, or ".." anywhere in the decoded path.
bool ResolvePath(const char* url, std::string& path);

// SendFile's results.
constexpr int kFileSent = 0;
constexpr int kFileSendFailed = -1;  // a send or a read failed part way
constexpr int kFileNotOpened = -2;   // missing, unreadable or a folder; nothing was sent

// Sends a file, after "HTTP/1.0 200 OK\r\n\r\n" when `withHeader` is set.
int SendFile(const std::string& path, bool withHeader, platform::Socket& connection);

// Answers any URL other than the stream URL from the "www/" folder, with
// the file or the 404 answer; a rejected URL gets no answer at all.
void ServeStaticFile(const char* url, platform::Socket& connection);
