#pragma once

#include "platform/socket.h"

// Answers any other URL from the "www/" folder.
void ServeStaticFile(const char* url, platform::Socket& connection);
