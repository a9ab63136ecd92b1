// The main of every test binary. Tests choose their cameras: the test
// pattern, unless a test installs another list, and never a webcam that
// happens to be plugged into the machine. The real programs that tests start
// inherit the choice through the environment.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/installed_drivers.h"
#include "platform/thread.h"

int main(int argc, char** argv) {
  ::setenv(platform::kDriverListVariable, "pattern", 1);
  ::testing::InitGoogleTest(&argc, argv);
  int result = RUN_ALL_TESTS();
  platform::EndIdleThreads();
  return result;
}
