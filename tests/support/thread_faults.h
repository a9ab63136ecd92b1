#pragma once

// Makes the next `count` starts of a system thread fail as a system at its
// limit makes them fail (std::system_error, EAGAIN). Works in a test binary
// linked with the wrap of std::thread's start (see tests/CMakeLists.txt).
void FailNextThreadStarts(int count);
