#pragma once

#include <algorithm>
#include <cstdio>
#include <vector>

// Prints one figure as "NAME: VALUE UNIT".
inline void Figure(const char* name, double value, const char* unit) {
  std::printf("%s: %.3f %s\n", name, value, unit);
  std::fflush(stdout);
}

// The p-th percentile (0 to 100) of `samples`.
double Percentile(std::vector<double> samples, double p);

// CPU time of this process (user + system), in seconds.
double ProcessCpuSeconds();
// Wall time in seconds from an arbitrary fixed point.
double WallSeconds();
// This process's resident memory (VmRSS), in kilobytes.
double ResidentKilobytes();
// The threads this process runs now.
int ThreadCount();

#include <sys/types.h>

// Starts this program again as a child in which `count` clients connect to
// `port`, send `request` (if any) and read until the server closes; their
// CPU time is then not the parent's.
pid_t SpawnDrain(int port, const char* request, int count);
// In main: true when this process is such a child; `status` is its result.
bool RunDrainIfAsked(int argc, char** argv, int& status);
