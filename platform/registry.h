// Stands in for the per-user registry (HKEY_CURRENT_USER). Promises keys and
// binary or DWORD values kept in one REGEDIT4 text file per user, saved whole
// through a temporary file and a rename, so a crash or a full disk never
// leaves half a file and a failed save keeps the old values.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace platform {

constexpr int REG_BINARY = 3;
constexpr int REG_DWORD = 4;
constexpr int REG_CREATED_NEW_KEY = 1;
constexpr int REG_OPENED_EXISTING_KEY = 2;
constexpr int ERROR_SUCCESS = 0;
constexpr int ERROR_FILE_NOT_FOUND = 2;
constexpr int ERROR_ACCESS_DENIED = 5;
constexpr int ERROR_WRITE_FAULT = 29;
constexpr int ERROR_MORE_DATA = 234;

// ${XDG_CONFIG_HOME:-$HOME/.config}/owlglance/user.reg
std::string RegistryFile();

// Where the registry's text lives. The user's file unless another store is
// set; the settings fuzzer keeps it in memory.
class RegistryStore {
 public:
  virtual ~RegistryStore() = default;
  enum class ReadResult {
    kRead,
    kMissing,     // nothing stored yet
    kUnreadable,  // something is there that can't be read: `why` says what
  };
  // The stored text. Never waits for a writer (a FIFO in the file's place).
  [[nodiscard]] virtual ReadResult Read(std::string& text, std::string& why) = 0;
  // Replaces the text whole; false when it could not, and the old text stays.
  [[nodiscard]] virtual bool Write(const std::string& text) = 0;
  // Moves a text that could not be read out of the way; where it went, or
  // "" when it could not be moved.
  virtual std::string KeepAside() = 0;
};
// nullptr stands for the user's file again.
void SetRegistryStore(RegistryStore* store);

// Key and value names match without regard to letter case, as the
// registry's do; a name keeps the spelling it was first stored with.
struct CaseInsensitiveLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

// One open key below HKEY_CURRENT_USER. Used by one thread.
class RegistryKey {
 public:
  struct Value {
    int type;
    std::vector<uint8_t> data;
  };

  // RegCreateKeyExA: opens `subkey`, creating it (and saving) when missing;
  // `disposition` tells which. ERROR_ACCESS_DENIED when the file is there
  // but can't be read: the key is then empty and is never saved, so the
  // file stays as it is.
  [[nodiscard]] int Create(const std::string& subkey, int& disposition);
  // RegOpenKeyExA: opens `subkey` when it is there, changing nothing;
  // ERROR_FILE_NOT_FOUND when it is not. A file that can't be parsed (one
  // caught half written, say) stays where it is: ERROR_ACCESS_DENIED.
  [[nodiscard]] int Open(const std::string& subkey);
  // RegQueryValueExA: copies the value when it fits `size` bytes. `size`
  // becomes the value's size; ERROR_MORE_DATA when it does not fit.
  [[nodiscard]] int QueryValue(const std::string& name, int* type, uint8_t* data,
                               uint32_t* size) const;
  // RegSetValueExA: stores the value; Close saves it.
  [[nodiscard]] int SetValue(const std::string& name, int type, const uint8_t* data, uint32_t size);
  // RegCloseKey: saves the file when a value changed (never over a file
  // that could not be read: ERROR_ACCESS_DENIED).
  [[nodiscard]] int Close();
  // Where Create kept a file it could not read (user.reg.bad, then
  // user.reg.bad.1, ...), starting from an empty registry; "" when it
  // read the file, or found none.
  const std::string& KeptAside() const { return keptAside_; }
  // Why the file could not be read, when Create or Open found it unreadable.
  const std::string& Unreadable() const { return unreadable_; }

 private:
  void Read(const std::string& subkey, bool keepAside);  // the file, for `subkey`

  std::string subkey_;
  std::string keptAside_;
  std::string unreadable_;
  bool dirty_ = false;
  // Every section of the file, so that keys we don't use survive a save.
  std::map<std::string, std::vector<std::pair<std::string, Value>>, CaseInsensitiveLess> sections_;
};

// The file's text for these sections, and back; false when it can't be parsed.
using RegistrySections =
    std::map<std::string, std::vector<std::pair<std::string, RegistryKey::Value>>,
             CaseInsensitiveLess>;
std::string FormatRegistry(const RegistrySections& sections);
[[nodiscard]] bool ParseRegistry(const std::string& text, RegistrySections& sections);

// The read-only view of HKEY_CLASSES_ROOT, from the XDG MIME defaults:
// ".htm" holds the name of the desktop file that opens text/html, and
// "NAME\shell\open\command" that desktop file's Exec line, its field codes
// %u %U %f %F shown as "%1". 0 with `value` set; 2 (no such key) otherwise.
[[nodiscard]] int ReadClassesRootDefault(const std::string& subkey, std::string& value);

// Whether a program is set up to open files of `mimeType` ("application/pdf"):
// a default in mimeapps.list, or one that lists the type in mimeinfo.cache.
bool AnyProgramOpens(const std::string& mimeType);

}  // namespace platform
