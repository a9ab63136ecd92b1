#include "tests/support/registry_seed.h"

#include <stdlib.h>

#include <cstdio>
#include <fstream>

void SeedRegistry(const std::filesystem::path& folder, const char* values) {
  std::filesystem::path config = folder / "config";
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  if (!values) return;
  std::filesystem::create_directories(config / "owlglance");
  std::ofstream(config / "owlglance" / "user.reg", std::ios::binary)
      << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Brackwater Software\\Owlglance\\Version "
         "1.3]\r\n"
      << values;
}

std::string RegistryHex32(uint32_t v) {
  char text[32];
  std::snprintf(text, sizeof text, "hex:%02x,%02x,%02x,%02x", v & 255, v >> 8 & 255, v >> 16 & 255,
                v >> 24);
  return text;
}

std::string RegistryHexText(const std::string& text) {
  std::string out = "hex:";
  char byte[4];
  for (size_t i = 0; i < text.size(); ++i) {
    std::snprintf(byte, sizeof byte, i ? ",%02x" : "%02x", static_cast<unsigned char>(text[i]));
    out += byte;
  }
  return out;
}
