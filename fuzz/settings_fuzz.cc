// Whatever user.reg holds, the loaded settings end in their ranges or at
// their defaults. The registry's text stays in memory, so a run writes no
// file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/registry.h"
#include "settings/settings_store.h"

namespace {

class MemoryStore : public platform::RegistryStore {
 public:
  std::string text;
  ReadResult Read(std::string& out, std::string&) override {
    out = text;
    return ReadResult::kRead;
  }
  bool Write(const std::string& in) override {
    text = in;
    return true;
  }
  std::string KeepAside() override { return "user.reg.bad"; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static MemoryStore store;
  platform::SetRegistryStore(&store);
  store.text.assign(reinterpret_cast<const char*>(data), size);
  settings::ServerSettings settings;
  static_cast<void>(settings::LoadSettings(settings));
  const bool ok =
      (settings.connections == 0 || settings.connections == 1) && settings.driver <= 10 &&
      settings.compression >= 1 && settings.compression <= 100 && settings.maxclients >= 1 &&
      settings.maxclients <= 50 && settings.portnum >= 1 && settings.portnum <= 65000 &&
      (settings.passthrough == 0 || settings.passthrough == 1) &&
      settings::IsStreamPath(settings.camurl) && settings.access <= 2 &&
      settings::IsViewUser(settings.viewuser) && settings::IsViewPass(settings.viewpass);
  if (!ok) std::abort();
  return 0;
}
