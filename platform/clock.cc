#include "platform/clock.h"

#include <chrono>

namespace platform {

int64_t SteadyMillis() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace platform
