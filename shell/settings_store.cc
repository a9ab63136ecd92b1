#include "shell/settings_store.h"

#include <cstring>

#include "platform/registry.h"

using platform::RegistryKey;

namespace {

constexpr size_t kUrlBufferSize = 64;

// Reads a 4-byte value into `field`, little-endian. A shorter value fills
// the field's first bytes and leaves the rest, as the registry does for a
// buffer larger than the value; a missing or larger value leaves it all.
template <typename T>
void Query(const RegistryKey& key, const char* name, T& field) {
  static_assert(sizeof(T) == 4);
  uint8_t bytes[4];
  uint32_t size = sizeof bytes;
  if (key.QueryValue(name, nullptr, bytes, &size) != platform::ERROR_SUCCESS || size > 4) return;
  uint32_t v;
  std::memcpy(&v, &field, 4);
  for (uint32_t i = 0; i < size; ++i)
    v = (v & ~(0xffu << (8 * i))) | static_cast<uint32_t>(bytes[i]) << (8 * i);
  std::memcpy(&field, &v, 4);
}

template <typename T>
void Set(RegistryKey& key, const char* name, T field) {
  uint32_t v;
  std::memcpy(&v, &field, 4);
  const uint8_t bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  key.SetValue(name, platform::REG_BINARY, bytes, 4);
}

}  // namespace

int LoadSettings(ServerSettings& settings, std::string* unreadable) {
  settings = ServerSettings{};
  int32_t firstRun = 0;
  char url[kUrlBufferSize];
  uint32_t urlLength = 0;

  RegistryKey key;
  int disposition = 0;
  int opened = key.Create(kSettingsKey, disposition);
  const bool created = disposition == platform::REG_CREATED_NEW_KEY;
  if (unreadable) {
    unreadable->clear();
    if (!key.KeptAside().empty())
      *unreadable = "The settings file could not be read. It was kept as " + key.KeptAside() +
                    ", and the default settings are used.";
  }
  if (opened == platform::ERROR_SUCCESS && !created) {
    Query(key, "frun", firstRun);
    Query(key, "connections", settings.connections);
    Query(key, "portnum", settings.portnum);
    Query(key, "compression", settings.compression);
    Query(key, "driver", settings.driver);
    Query(key, "maxclients", settings.maxclients);
    Query(key, "passthrough", settings.passthrough);
    urlLength = sizeof url;
    if (key.QueryValue("camurl", nullptr, reinterpret_cast<uint8_t*>(url), &urlLength) !=
        platform::ERROR_SUCCESS)
      urlLength = 0;
  }
  key.Close();

  if (settings.connections != 0 && settings.connections != 1) settings.connections = 0;
  // The ports the Setup dialog accepts: a port saved there is the next start's.
  if (settings.portnum == 0 || settings.portnum > 65000) settings.portnum = 80;
  if (settings.compression == 0 || settings.compression > 100) settings.compression = 35;
  if (settings.driver > 10) settings.driver = 0;
  if (settings.maxclients == 0 || settings.maxclients > 50) settings.maxclients = 5;
  if (settings.passthrough > 1) settings.passthrough = 1;
  // The path ends at its first zero byte; one no request can name (empty,
  // or holding a space) loads as the default.
  if (urlLength >= 1 && urlLength <= kUrlBufferSize) {
    std::string loaded(url, ::strnlen(url, urlLength));
    if (IsStreamPath(loaded)) settings.camurl = loaded;
  }
  // A key that can be neither opened nor created counts as a first run.
  return created || firstRun != 0 || opened != platform::ERROR_SUCCESS ? 1 : 0;
}

void SaveSettings(const ServerSettings& settings) {
  RegistryKey key;
  int disposition = 0;
  key.Create(kSettingsKey, disposition);
  Set(key, "frun", int32_t{0});
  Set(key, "connections", settings.connections);
  Set(key, "portnum", settings.portnum);
  Set(key, "compression", settings.compression);
  Set(key, "driver", settings.driver);
  Set(key, "maxclients", settings.maxclients);
  Set(key, "passthrough", settings.passthrough);
  key.SetValue("camurl", platform::REG_BINARY,
               reinterpret_cast<const uint8_t*>(settings.camurl.data()),
               static_cast<uint32_t>(settings.camurl.size()));
  key.Close();
}
