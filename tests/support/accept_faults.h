#pragma once

#include <vector>

// Makes the next accept4 calls fail with these errno values, one call each,
// in order, before any connection is taken. Works in a test binary linked
// with -Wl,--wrap=accept4 (see tests/CMakeLists.txt).
void FailNextAccepts(std::vector<int> errors);
