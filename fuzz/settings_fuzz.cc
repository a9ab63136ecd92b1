// Whatever user.reg holds, the loaded settings end in their ranges or at
// their defaults.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "shell/settings_store.h"

namespace {

std::filesystem::path File() {
  static std::filesystem::path file = [] {
    char folder[] = "/tmp/owl-settings-fuzz-XXXXXX";
    std::filesystem::path path = ::mkdtemp(folder);
    ::setenv("XDG_CONFIG_HOME", path.c_str(), 1);
    std::filesystem::create_directories(path / "owlglance");
    return path / "owlglance" / "user.reg";
  }();
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::error_code error;
  std::filesystem::remove(File().string() + ".bad", error);
  std::ofstream(File(), std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  ServerSettings settings;
  LoadSettings(settings);
  const bool ok = (settings.connections == 0 || settings.connections == 1) &&
                  settings.driver <= 10 && settings.compression >= 1 &&
                  settings.compression <= 100 && settings.maxclients >= 1 &&
                  settings.maxclients <= 50 && settings.portnum >= 1 && settings.portnum <= 65000 &&
                  IsStreamPath(settings.camurl);
  if (!ok) std::abort();
  return 0;
}
