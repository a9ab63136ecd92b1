// Stands in for the C runtime's clock() in milliseconds.
// Promises a steady clock that never follows changes of the wall clock.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary fixed point.
int64_t SteadyMillis();

}  // namespace platform
