#pragma once

#include <cstdio>
#include <cstdlib>

// A setup step a benchmark can't go on without: says which failed and ends
// the program with status 1.
inline void Require(bool done, const char* what) {
  if (done) return;
  std::fprintf(stderr, "could not set up %s\n", what);
  std::exit(1);
}
