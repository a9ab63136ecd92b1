#include "tests/support/thread_faults.h"

#include <atomic>
#include <system_error>
#include <thread>

namespace {
std::atomic<int> threadFaults{0};
}  // namespace

void FailNextThreadStarts(int count) { threadFaults.store(count); }

// The linker sends the program's calls of std::thread::_M_start_thread (what
// every std::thread constructor calls) here; __real_ is libstdc++'s. The
// state argument is passed by address, as the C++ ABI passes a unique_ptr,
// and the caller destroys it whatever happens here.
#define OWL_START_THREAD \
  _ZNSt6thread15_M_start_threadESt10unique_ptrINS_6_StateESt14default_deleteIS1_EEPFvvE
#define OWL_PASTE(a, b) a##b
#define OWL_NAMED(a, b) OWL_PASTE(a, b)

extern "C" void OWL_NAMED(__real_, OWL_START_THREAD)(std::thread* self, void* state,
                                                     void (*depend)());

extern "C" void OWL_NAMED(__wrap_, OWL_START_THREAD)(std::thread* self, void* state,
                                                     void (*depend)()) {
  for (int left = threadFaults.load(); left > 0;)
    if (threadFaults.compare_exchange_weak(left, left - 1))
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  OWL_NAMED(__real_, OWL_START_THREAD)(self, state, depend);
}
