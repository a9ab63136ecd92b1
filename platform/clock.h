// Stands in for the C runtime's clock() in milliseconds.
// Promises a steady clock that never follows changes of the wall clock.
#pragma once

#include <cstdint>

namespace platform {

// Milliseconds since an arbitrary fixed point.
int64_t SteadyMillis();

// Whole seconds elapsed since `mark`, truncated toward zero: the design's
// "(now - mark) / 1000".
inline int64_t SecondsSince(int64_t mark) { return (SteadyMillis() - mark) / 1000; }

}  // namespace platform
