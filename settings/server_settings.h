#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/capture_driver.h"
#include "platform/password_hash.h"

#define OWL_STRINGIFY_(x) #x
#define OWL_STRINGIFY(x) OWL_STRINGIFY_(x)

namespace settings {

// The persisted settings, each named after its registry value. Owned by the
// main window (or the headless server) and used on its thread only. A new
// one is a field here and a row in kSettings below.
struct ServerSettings {
  ServerSettings();  // every setting at its default

  uint32_t connections;  // 1: log connections
  uint32_t driver;       // capture driver index
  uint32_t compression;  // JPEG quality
  uint32_t maxclients;
  uint32_t portnum;
  std::string camurl;
  uint32_t passthrough;     // 1: a Motion-JPEG camera's own images go out as they come
  uint32_t access;          // who may connect: an Access value
  std::string viewuser;     // the user name a password goes with
  std::string viewpass;     // the password's yescrypt hash; empty: no password asked
  uint32_t intervalon;      // 1: a picture is kept every `interval` seconds
  uint32_t interval;        // seconds between kept pictures
  uint32_t intervalkeep;    // how many kept pictures stay; 0 for all
  std::string intervaldir;  // where they go; empty: the user's pictures folder
  uint32_t record;          // 1: the pictures are recorded to the user's videos folder
  uint32_t https;           // 1: TLS too on the same port; 0: plain HTTP alone
  std::string tlscert;      // the person's own certificate (PEM, the chain behind it)
  std::string tlskey;       // and its key; both empty: the server's own certificate
  uint32_t h264kbps;        // WebRTC's H.264 bitrate at 1920x1080, scaled to the camera's size
};

// Who may connect, as `access` holds it.
enum Access : uint32_t {
  kEveryone = 0,      // whoever reaches the port, as it always was
  kLocalNetwork = 1,  // private, link-local and this machine's own networks
  kThisComputer = 2,  // loopback alone
};

// The longest user name, in bytes.
constexpr size_t kViewUserMax = 64;

// The longest stream path, in bytes; a macro too, for the message below.
#define OWL_STREAM_PATH_MAX 64
constexpr size_t kStreamPathMax = OWL_STREAM_PATH_MAX;

// What is wrong with a stream path, or nullptr: "/" and then up to
// kStreamPathMax - 1 bytes that a URL's path carries as they stand, so the
// link Share shows is the path a request names. No "%": requests are
// compared after their escapes are decoded. Bytes past ASCII stay (a
// browser sends them escaped).
inline const char* StreamPathFault(std::string_view url) {
  if (url.empty() || url.size() > kStreamPathMax)
    return "Length of webcam URL must be between 1 and " OWL_STRINGIFY(OWL_STREAM_PATH_MAX) "!";
  constexpr std::string_view kNotInPaths = " \"#%<>?[\\]^`{|}\x7f";
  for (char c : url)
    if (static_cast<unsigned char>(c) < 0x20 || kNotInPaths.find(c) != std::string_view::npos)
      return "Webcam URL must not hold spaces, control characters or any of \" # % < > ? [ \\ ] "
             "^ ` { | }";
  if (url.front() != '/') return "Webcam URL must start with /";
  return nullptr;
}

inline bool IsStreamPath(std::string_view url) { return StreamPathFault(url) == nullptr; }

// A path typed or stored without its leading "/" (as "cam") has it added.
inline void AddLeadingSlash(std::string& url) {
  if (!url.empty() && url.front() != '/') url.insert(0, 1, '/');
}

// A user name Basic authentication can carry: up to kViewUserMax bytes,
// no control character and no ":" (which ends the name there).
inline bool IsViewUser(std::string_view user) {
  if (user.size() > kViewUserMax) return false;
  for (char c : user)
    if (static_cast<unsigned char>(c) < 0x20 || c == ':' || c == 0x7f) return false;
  return true;
}

// The longest folder path a setting holds, in bytes.
constexpr size_t kFolderPathMax = 1024;

// No folder (the default one), or an absolute path without control
// characters.
inline bool IsFolderPath(std::string_view path) {
  if (path.empty()) return true;
  if (path.size() > kFolderPathMax || path.front() != '/') return false;
  for (char c : path)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  return true;
}

// No password, or a yescrypt hash of one.
inline bool IsViewPass(std::string_view hash) {
  return hash.empty() || platform::IsPasswordHash(hash);
}

struct SettingRange {
  uint32_t min, max;
  constexpr bool Holds(uint32_t value) const { return value >= min && value <= max; }
};

// One setting: its registry value, its field (a number or a text), its
// default, the values a load keeps (others load as the default), and the
// values Setup and the wizard accept, with what they say otherwise. A text
// setting holds what `textKeeps` accepts both ways (a stream path unless a
// row says otherwise), at most `textMax` bytes of it read back.
struct Setting {
  const char* name;
  uint32_t ServerSettings::*number = nullptr;
  std::string ServerSettings::*text = nullptr;
  uint32_t defaultNumber = 0;
  const char* defaultText = "";
  SettingRange load = {0, 0};
  SettingRange setup = {0, 0};
  const char* setupMessage = nullptr;  // nullptr: no dialog checks what is typed
  bool (*textKeeps)(std::string_view) = IsStreamPath;
  size_t textMax = kStreamPathMax;
  const char* (*textFault)(std::string_view) = nullptr;  // Setup's message, when it depends
  void (*textMends)(std::string&) = nullptr;             // applied as it is read or typed

  // Setup's message for what `settings` holds, or nullptr.
  const char* SetupFault(const ServerSettings& settings) const {
    if (SetupAccepts(settings)) return nullptr;
    return textFault ? textFault(settings.*text) : setupMessage;
  }
  bool LoadKeeps(const ServerSettings& settings) const {
    return number ? load.Holds(settings.*number) : textKeeps(settings.*text);
  }
  bool SetupAccepts(const ServerSettings& settings) const {
    return number ? setup.Holds(settings.*number) : textKeeps(settings.*text);
  }
  void Reset(ServerSettings& settings) const {
    if (number)
      settings.*number = defaultNumber;
    else
      settings.*text = defaultText;
  }
};

// Every setting once. Setup's messages come in this order.
inline constexpr Setting kSettings[] = {
    {.name = "compression",
     .number = &ServerSettings::compression,
     .defaultNumber = 35,
     .load = {1, 100},
     .setup = {1, 100},
     .setupMessage = "Jpeg quality must be a value between 1 and 100"},
    {.name = "maxclients",
     .number = &ServerSettings::maxclients,
     .defaultNumber = 5,
     .load = {1, 50},
     .setup = {1, 50},
     .setupMessage = "Maximum number of connections must be between 1 and 50!"},
    {.name = "camurl",
     .text = &ServerSettings::camurl,
     .defaultText = "/video",
     .setupMessage = "",  // StreamPathFault says which rule
     .textFault = StreamPathFault,
     .textMends = AddLeadingSlash},
    // Load and Setup accept the same ports: a port saved there is the next
    // start's, even one below 1025 that needs a permission to bind.
    {.name = "portnum",
     .number = &ServerSettings::portnum,
     .defaultNumber = 80,
     .load = {1, 65000},
     .setup = {1, 65000},
     .setupMessage = "Port number must be between 1 and 65000!"},
    // Setup's check box gives 0 or 1.
    {.name = "connections", .number = &ServerSettings::connections, .load = {0, 1}},
    // Chosen from the list in Video > Select Driver; an index past the
    // cameras there finds no camera.
    {.name = "driver", .number = &ServerSettings::driver, .load = {0, platform::kMaxDrivers}},
    // Toggled by Video > Camera's Own JPEG.
    {.name = "passthrough",
     .number = &ServerSettings::passthrough,
     .defaultNumber = 1,
     .load = {0, 1}},
    // Set in Server > Access or with owlglance-server --access/--set-password.
    {.name = "access", .number = &ServerSettings::access, .load = {kEveryone, kThisComputer}},
    {.name = "viewuser",
     .text = &ServerSettings::viewuser,
     .textKeeps = IsViewUser,
     .textMax = kViewUserMax},
    // The hash alone: the password itself is never stored.
    {.name = "viewpass",
     .text = &ServerSettings::viewpass,
     .textKeeps = IsViewPass,
     .textMax = 256},
    // Set in Video > Pictures Every...
    {.name = "intervalon", .number = &ServerSettings::intervalon, .load = {0, 1}},
    {.name = "interval",
     .number = &ServerSettings::interval,
     .defaultNumber = 60,
     .load = {1, 86400}},
    {.name = "intervalkeep", .number = &ServerSettings::intervalkeep, .load = {0, 1000000}},
    {.name = "intervaldir",
     .text = &ServerSettings::intervaldir,
     .textKeeps = IsFolderPath,
     .textMax = kFolderPathMax},
    // Toggled by Video > Record.
    {.name = "record", .number = &ServerSettings::record, .load = {0, 1}},
    // Set in the settings file alone; each Start reads the files named.
    {.name = "https", .number = &ServerSettings::https, .defaultNumber = 1, .load = {0, 1}},
    {.name = "tlscert",
     .text = &ServerSettings::tlscert,
     .textKeeps = IsFolderPath,  // an absolute path, as a folder's
     .textMax = kFolderPathMax},
    {.name = "tlskey",
     .text = &ServerSettings::tlskey,
     .textKeeps = IsFolderPath,
     .textMax = kFolderPathMax},
    // Set in the settings file alone.
    {.name = "h264kbps",
     .number = &ServerSettings::h264kbps,
     .defaultNumber = 2500,
     .load = {100, 50000}},
};

// The row named `name` (a name from the table).
constexpr const Setting& SettingNamed(std::string_view name) {
  for (const Setting& setting : kSettings)
    if (name == setting.name) return setting;
  throw "no such setting";  // a compile-time error where it is constexpr
}

inline ServerSettings::ServerSettings() {
  for (const Setting& setting : kSettings) setting.Reset(*this);
}

// The caption of Setup's and the wizard's messages about a value.
constexpr char kInvalidParameter[] = "Invalid Parameter";

}  // namespace settings
