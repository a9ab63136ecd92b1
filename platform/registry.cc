#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace platform {

namespace {

constexpr char kHeader[] = "REGEDIT4";
constexpr char kRoot[] = "HKEY_CURRENT_USER\\";

std::string Quote(const std::string& name) {
  std::string out = "\"";
  for (char c : name) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

// Reads a quoted name at `pos`; false when it is not one.
bool Unquote(std::string_view line, size_t& pos, std::string& name) {
  if (pos >= line.size() || line[pos] != '"') return false;
  for (++pos; pos < line.size(); ++pos) {
    if (line[pos] == '\\' && pos + 1 < line.size()) {
      name += line[++pos];
    } else if (line[pos] == '"') {
      ++pos;
      return true;
    } else {
      name += line[pos];
    }
  }
  return false;
}

// Comma-separated hexadecimal bytes, blanks around each allowed; a comma
// may end the list.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& out) {
  for (size_t at = 0; at < text.size();) {
    size_t comma = std::min(text.find(',', at), text.size());
    std::string_view byte = text.substr(at, comma - at);
    at = comma + 1;
    const size_t a = byte.find_first_not_of(" \t");
    if (a == std::string_view::npos) return false;
    byte = byte.substr(a, byte.find_last_not_of(" \t") - a + 1);
    if (byte.size() > 2) return false;
    char digits[3] = {};
    byte.copy(digits, byte.size());
    char* end = nullptr;
    const unsigned long v = std::strtoul(digits, &end, 16);
    if (*end || v > 255) return false;
    out.push_back(static_cast<uint8_t>(v));
  }
  return true;
}

bool ParseValue(std::string_view line, std::string& name, RegistryKey::Value& value) {
  size_t pos = 0;
  if (!Unquote(line, pos, name) || pos >= line.size() || line[pos] != '=') return false;
  std::string_view rest = line.substr(pos + 1);
  if (rest.rfind("dword:", 0) == 0) {
    const std::string_view hex = rest.substr(6);
    if (hex.empty() || hex.size() > 8) return false;
    char digits[9] = {};
    hex.copy(digits, hex.size());
    char* end = nullptr;
    const unsigned long v = std::strtoul(digits, &end, 16);
    if (*end) return false;
    value.type = REG_DWORD;
    value.data = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    return true;
  }
  if (rest.rfind("hex:", 0) == 0) {
    value.type = REG_BINARY;
    return ParseHexBytes(rest.substr(4), value.data);
  }
  if (rest.rfind("hex(", 0) == 0) {  // other types, kept as they are
    // The type is hexadecimal, as REGEDIT4 writes it: "hex(7):" is 7.
    size_t close = rest.find("):");
    const std::string digits(close == std::string_view::npos ? std::string_view()
                                                             : rest.substr(4, close - 4));
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
      return false;
    value.type = static_cast<int>(std::strtoul(digits.c_str(), nullptr, 16));
    return ParseHexBytes(rest.substr(close + 2), value.data);
  }
  std::string text;
  size_t quoted = 0;
  if (!Unquote(rest, quoted, text) || quoted != rest.size()) return false;
  value.type = 1;  // REG_SZ, with its terminating zero
  value.data.assign(text.begin(), text.end());
  value.data.push_back(0);
  return true;
}

// The user's file, saved whole through a temporary file and a rename.
class UserFile : public RegistryStore {
 public:
  ReadResult Read(std::string& text, std::string& why) override {
    // Opened without waiting and looked at before a byte is read: a FIFO,
    // a device or a folder in the file's place is unreadable, not empty.
    int fd = ::open(RegistryFile().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      if (errno == ENOENT) return ReadResult::kMissing;
      why = std::strerror(errno);
      return ReadResult::kUnreadable;
    }
    struct stat info {};
    ReadResult result = ReadResult::kRead;
    if (::fstat(fd, &info) != 0) {
      why = std::strerror(errno);
      result = ReadResult::kUnreadable;
    } else if (!S_ISREG(info.st_mode)) {
      why = S_ISDIR(info.st_mode) ? "it is a folder" : "it is not a regular file";
      result = ReadResult::kUnreadable;
    } else {
      text.clear();
      char buffer[8192];
      for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n > 0) {
          text.append(buffer, static_cast<size_t>(n));
        } else if (errno != EINTR) {
          why = std::strerror(errno);
          result = ReadResult::kUnreadable;
          break;
        }
      }
    }
    ::close(fd);
    return result;
  }

  bool Write(const std::string& text) override {
    const std::string path = RegistryFile();
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), error);
    // A name of this write's own, created here and never followed through a
    // link that someone left in its place.
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 8; ++attempt) {
      temporary = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(++writes_);
      fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
      if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) == 0) return true;
    ::unlink(temporary.c_str());
    return false;
  }

  // Never over an earlier copy: user.reg.bad, user.reg.bad.1, ...
  std::string KeepAside() override {
    std::string kept = RegistryFile() + ".bad";
    for (int n = 1; std::filesystem::exists(std::filesystem::symlink_status(kept)); ++n)
      kept = RegistryFile() + ".bad." + std::to_string(n);
    std::error_code error;
    std::filesystem::rename(RegistryFile(), kept, error);
    return error ? std::string() : kept;
  }

 private:
  std::atomic<unsigned> writes_{0};
};

UserFile userFile;
std::atomic<RegistryStore*> store{&userFile};

// A text that can't be parsed is kept aside for the user to look at, and
// the registry starts empty; when only looked at, it stays and counts as
// unreadable. One that can't be read at all stays where it is: `unreadable`
// says why.
void Load(RegistrySections& sections, bool keepAside, std::string& keptAside,
          std::string& unreadable) {
  std::string text;
  switch (store.load()->Read(text, unreadable)) {
    case RegistryStore::ReadResult::kMissing:
      return;  // nothing stored yet: an empty registry
    case RegistryStore::ReadResult::kUnreadable:
      if (unreadable.empty()) unreadable = "it can't be read";
      return;
    case RegistryStore::ReadResult::kRead:
      break;
  }
  if (ParseRegistry(text, sections)) return;
  sections.clear();
  if (keepAside)
    keptAside = store.load()->KeepAside();
  else
    unreadable = "it is not a settings file";
}

bool Save(const RegistrySections& sections) {
  return store.load()->Write(FormatRegistry(sections));
}

}  // namespace

void SetRegistryStore(RegistryStore* replacement) {
  store.store(replacement ? replacement : &userFile);
}

std::string RegistryFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  std::string base = config && *config ? config : std::string(home ? home : "") + "/.config";
  return base + "/owlglance/user.reg";
}

std::string FormatRegistry(const RegistrySections& sections) {
  std::string text = std::string(kHeader) + "\r\n";
  for (const auto& [section, values] : sections) {
    text += "\r\n[" + section + "]\r\n";
    for (const auto& [name, value] : values) {
      text += Quote(name) + "=";
      char hex[16];
      if (value.type == REG_DWORD && value.data.size() == 4) {
        uint32_t v = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                     static_cast<uint32_t>(value.data[3]) << 24;
        std::snprintf(hex, sizeof hex, "dword:%08x", v);
        text += hex;
      } else {
        if (value.type == REG_BINARY) {
          text += "hex:";
        } else {
          std::snprintf(hex, sizeof hex, "hex(%x):", value.type);
          text += hex;
        }
        for (size_t i = 0; i < value.data.size(); ++i) {
          std::snprintf(hex, sizeof hex, i ? ",%02x" : "%02x", value.data[i]);
          text += hex;
        }
      }
      text += "\r\n";
    }
  }
  return text;
}

bool ParseRegistry(const std::string& text, RegistrySections& sections) {
  std::string logical;
  bool header = false;
  std::string section;
  // Lines split at '\n', with no empty one after a final '\n'.
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size());
    std::string_view line(text.data() + at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    logical += line;
    if (!logical.empty() && logical.back() == '\\') {  // continued on the next line
      logical.pop_back();
      continue;
    }
    // The whole line, read in place; `logical` keeps its buffer for the next.
    std::string_view current = logical;
    const size_t start = current.find_first_not_of(" \t");
    current.remove_prefix(start == std::string_view::npos ? current.size() : start);
    if (current.empty() || current.front() == ';') {
      // a blank line or a comment
    } else if (!header) {
      if (current != kHeader) return false;
      header = true;
    } else if (current.front() == '[') {
      if (current.back() != ']') return false;
      section = current.substr(1, current.size() - 2);
      sections[section];
    } else {
      std::string name;
      RegistryKey::Value value;
      if (section.empty() || !ParseValue(current, name, value)) return false;
      sections[section].emplace_back(std::move(name), std::move(value));
    }
    logical.clear();
  }
  return header && logical.empty();
}

namespace {

// ASCII letters only, over the whole name: a name may hold any byte, NUL too.
char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Folded(x) == Folded(y); });
}

}  // namespace

bool CaseInsensitiveLess::operator()(const std::string& a, const std::string& b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(Folded(x)) < static_cast<unsigned char>(Folded(y));
  });
}

void RegistryKey::Read(const std::string& subkey, bool keepAside) {
  subkey_ = kRoot + subkey;
  sections_.clear();
  dirty_ = false;
  keptAside_.clear();
  unreadable_.clear();
  Load(sections_, keepAside, keptAside_, unreadable_);
}

int RegistryKey::Create(const std::string& subkey, int& disposition) {
  Read(subkey, true);
  if (!unreadable_.empty()) {
    disposition = 0;
    return ERROR_ACCESS_DENIED;
  }
  if (sections_.count(subkey_)) {
    disposition = REG_OPENED_EXISTING_KEY;
    return ERROR_SUCCESS;
  }
  disposition = REG_CREATED_NEW_KEY;
  sections_[subkey_];
  return Save(sections_) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

int RegistryKey::Open(const std::string& subkey) {
  Read(subkey, false);
  if (!unreadable_.empty()) return ERROR_ACCESS_DENIED;
  return sections_.count(subkey_) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

int RegistryKey::QueryValue(const std::string& name, int* type, uint8_t* data,
                            uint32_t* size) const {
  auto section = sections_.find(subkey_);
  if (section == sections_.end()) return ERROR_FILE_NOT_FOUND;
  for (const auto& [key, value] : section->second) {
    if (!SameName(key, name)) continue;
    if (type) *type = value.type;
    uint32_t room = size ? *size : 0;
    if (size) *size = static_cast<uint32_t>(value.data.size());
    if (value.data.size() > room) return data ? ERROR_MORE_DATA : ERROR_SUCCESS;
    if (data && !value.data.empty()) std::memcpy(data, value.data.data(), value.data.size());
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

int RegistryKey::SetValue(const std::string& name, int type, const uint8_t* data, uint32_t size) {
  auto& values = sections_[subkey_];
  Value value{type, std::vector<uint8_t>(data, data + size)};
  dirty_ = true;
  for (auto& [key, stored] : values) {
    if (SameName(key, name)) {
      stored = std::move(value);
      return ERROR_SUCCESS;
    }
  }
  values.emplace_back(name, std::move(value));
  return ERROR_SUCCESS;
}

int RegistryKey::Close() {
  if (!unreadable_.empty()) return ERROR_ACCESS_DENIED;
  bool saved = !dirty_ || Save(sections_);
  dirty_ = false;
  return saved ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

}  // namespace platform
