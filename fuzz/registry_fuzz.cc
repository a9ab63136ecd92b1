// Any bytes as a user.reg: they parse into sections and values or are
// refused, never crash; what is accepted, written back and read again,
// gives the same sections and values.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  platform::RegistrySections sections;
  if (!platform::ParseRegistry(text, sections)) return 0;
  const std::string written = platform::FormatRegistry(sections);
  platform::RegistrySections again;
  if (!platform::ParseRegistry(written, again)) std::abort();
  if (again.size() != sections.size()) std::abort();
  for (auto a = sections.begin(), b = again.begin(); a != sections.end(); ++a, ++b) {
    if (a->first != b->first || a->second.size() != b->second.size()) std::abort();
    for (size_t i = 0; i < a->second.size(); ++i) {
      const auto& [name, value] = a->second[i];
      const auto& [name2, value2] = b->second[i];
      if (name != name2 || value.type != value2.type || value.data != value2.data) std::abort();
    }
  }
  if (platform::FormatRegistry(again) != written) std::abort();
  return 0;
}
