#include "settings/settings_store.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "platform/registry.h"

namespace settings {

using platform::RegistryKey;

namespace {

// Reads a 4-byte value into `field`, little-endian. A shorter value fills
// the field's first bytes and leaves the rest, as the registry does for a
// buffer larger than the value; a missing or larger value leaves it all.
void Query(const RegistryKey& key, const char* name, uint32_t& field) {
  uint8_t bytes[4];
  uint32_t size = sizeof bytes;
  if (key.QueryValue(name, nullptr, bytes, &size) != platform::ERROR_SUCCESS || size > 4) return;
  for (uint32_t i = 0; i < size; ++i)
    field = (field & ~(0xffu << (8 * i))) | static_cast<uint32_t>(bytes[i]) << (8 * i);
}

// Reads a text of at most `most` bytes up to its first zero byte; a missing
// or longer value leaves `field` as it is.
void QueryText(const RegistryKey& key, const char* name, size_t most, std::string& field) {
  std::vector<char> text(most);
  const auto room = static_cast<uint32_t>(most);
  uint32_t length = room;
  if (key.QueryValue(name, nullptr, reinterpret_cast<uint8_t*>(text.data()), &length) !=
          platform::ERROR_SUCCESS ||
      length > room)
    return;
  field.assign(text.data(), ::strnlen(text.data(), length));
}

// The key of one camera's choices. A name can't hold what ends a key's
// line in the file, nor a backslash, which would make it a path.
std::string CameraKey(const std::string& camera) {
  std::string name = camera;
  for (char& c : name)
    if (c == '\\' || c == '[' || c == ']' || static_cast<unsigned char>(c) < 0x20) c = '_';
  return std::string(kSettingsKey) + "\\Cameras\\" + name;
}

constexpr size_t kCameraLineMax = 4096;

// Setting a value changes the key in memory only, which can't fail; Close
// writes the file.
void Set(RegistryKey& key, const char* name, uint32_t v) {
  const uint8_t bytes[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  static_cast<void>(key.SetValue(name, platform::REG_BINARY, bytes, 4));
}

void SetText(RegistryKey& key, const char* name, const std::string& text) {
  static_cast<void>(key.SetValue(name, platform::REG_BINARY,
                                 reinterpret_cast<const uint8_t*>(text.data()),
                                 static_cast<uint32_t>(text.size())));
}

// Set while the last load found the file unreadable: the program runs on
// the defaults and never saves over the user's file, even one that has
// become readable since.
std::atomic<bool> saveRefused{false};

void QueryEvery(const RegistryKey& key, ServerSettings& settings) {
  for (const Setting& setting : kSettings) {
    if (setting.number)
      Query(key, setting.name, settings.*setting.number);
    else
      QueryText(key, setting.name, setting.textMax, settings.*setting.text);
    if (setting.textMends) setting.textMends(settings.*setting.text);
    if (!setting.LoadKeeps(settings)) setting.Reset(settings);
  }
}

}  // namespace

std::string SettingsFound::Message() const {
  if (!unreadable.empty())
    return "The settings file " + platform::RegistryFile() + " could not be read (" + unreadable +
           "). The default settings are used, and nothing is saved over it.";
  if (keptAs.empty()) return {};
  return "The settings file could not be read. It was kept as " + keptAs +
         ", and the default settings are used.";
}

SettingsFound LoadSettings(ServerSettings& settings) {
  settings = ServerSettings{};
  uint32_t firstRun = 0;

  RegistryKey key;
  int disposition = 0;
  const int result = key.Create(kSettingsKey, disposition);
  const bool opened = result == platform::ERROR_SUCCESS;
  const bool created = disposition == platform::REG_CREATED_NEW_KEY;
  // Until the next load, no save goes over a file that could not be read.
  saveRefused.store(result == platform::ERROR_ACCESS_DENIED);
  if (result == platform::ERROR_ACCESS_DENIED) {  // the user's settings, unread: no first run
    SettingsFound found;
    found.unreadable = key.Unreadable();
    return found;
  }
  if (opened && !created) {
    Query(key, "frun", firstRun);
    QueryEvery(key, settings);
  }
  static_cast<void>(key.Close());  // nothing changed, so nothing is written
  // A key that can be neither opened nor created counts as a first run.
  SettingsFound found;
  found.firstRun = created || firstRun != 0 || !opened;
  found.keptAs = key.KeptAside();
  return found;
}

std::string ReloadSettings(ServerSettings& settings) {
  ServerSettings fresh;
  RegistryKey key;
  const int result = key.Open(kSettingsKey);
  if (result == platform::ERROR_FILE_NOT_FOUND) return "it holds no settings";
  if (result != platform::ERROR_SUCCESS) return key.Unreadable();
  QueryEvery(key, fresh);
  static_cast<void>(key.Close());
  settings = fresh;
  return {};
}

void SaveSettings(const ServerSettings& settings) {
  // A save that fails leaves the file as it was, and nothing says so: the
  // program goes on with the settings it holds. A file that could not be
  // read is never saved over.
  if (saveRefused.load()) return;
  RegistryKey key;
  int disposition = 0;
  static_cast<void>(key.Create(kSettingsKey, disposition));
  Set(key, "frun", uint32_t{0});
  for (const Setting& setting : kSettings) {
    if (setting.number)
      Set(key, setting.name, settings.*setting.number);
    else
      SetText(key, setting.name, settings.*setting.text);
  }
  static_cast<void>(key.Close());
}

void LoadCameraValues(const std::string& camera, std::string& format, std::string& controls) {
  format.clear();
  controls.clear();
  RegistryKey key;  // read alone: a camera never chosen for writes nothing
  if (key.Open(CameraKey(camera)) != platform::ERROR_SUCCESS) return;
  QueryText(key, "format", kCameraLineMax, format);
  QueryText(key, "controls", kCameraLineMax, controls);
  static_cast<void>(key.Close());
}

void SaveCameraValues(const std::string& camera, const std::string& format,
                      const std::string& controls) {
  if (saveRefused.load()) return;
  RegistryKey key;
  int disposition = 0;
  static_cast<void>(key.Create(CameraKey(camera), disposition));
  SetText(key, "format", format.substr(0, kCameraLineMax));
  SetText(key, "controls", controls.substr(0, kCameraLineMax));
  static_cast<void>(key.Close());
}

bool LoadCameraSwitch(const std::string& camera, const char* name, bool unset) {
  uint32_t value = unset ? 1 : 0;
  RegistryKey key;
  if (key.Open(CameraKey(camera)) != platform::ERROR_SUCCESS) return unset;
  Query(key, name, value);
  static_cast<void>(key.Close());
  return value != 0;
}

void SaveCameraSwitch(const std::string& camera, const char* name, bool on) {
  if (saveRefused.load()) return;
  RegistryKey key;
  int disposition = 0;
  static_cast<void>(key.Create(CameraKey(camera), disposition));
  Set(key, name, on ? 1u : 0u);
  static_cast<void>(key.Close());
}

}  // namespace settings
