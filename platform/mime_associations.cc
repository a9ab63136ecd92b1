// The HKEY_CLASSES_ROOT view of platform/registry.h, read from the XDG
// mimeapps.list files and desktop entries.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/registry.h"

namespace platform {

namespace {

namespace fs = std::filesystem;

constexpr char kOpenCommand[] = "\\shell\\open\\command";

fs::path HomeFolder(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value && *value) return value;
  const char* home = std::getenv("HOME");
  return fs::path(home ? home : "") / fallback;
}

std::vector<fs::path> Folders(const char* variable, const char* fallback) {
  const char* value = std::getenv(variable);
  std::istringstream list(value && *value ? value : fallback);
  std::vector<fs::path> folders;
  for (std::string folder; std::getline(list, folder, ':');)
    if (!folder.empty()) folders.emplace_back(folder);
  return folders;
}

// Where desktop files live, most personal first.
std::vector<fs::path> ApplicationFolders() {
  std::vector<fs::path> folders{HomeFolder("XDG_DATA_HOME", ".local/share") / "applications"};
  for (const auto& data : Folders("XDG_DATA_DIRS", "/usr/local/share:/usr/share"))
    folders.push_back(data / "applications");
  return folders;
}

// The value of `key` in group `group` of an INI-style file, or "".
std::string IniValue(const fs::path& file, const std::string& group, const std::string& key) {
  std::ifstream in(file);
  bool inGroup = false;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      inGroup = line == "[" + group + "]";
    } else if (inGroup && line.rfind(key + "=", 0) == 0) {
      return line.substr(key.size() + 1);
    }
  }
  return {};
}

fs::path FindDesktopFile(const std::string& id) {
  std::error_code error;
  for (const auto& folder : ApplicationFolders())
    if (fs::is_regular_file(folder / id, error)) return folder / id;
  return {};
}

// The first default for `mimeType` whose desktop file exists.
std::string DefaultHandler(const std::string& mimeType) {
  std::vector<fs::path> lists{HomeFolder("XDG_CONFIG_HOME", ".config") / "mimeapps.list"};
  for (const auto& config : Folders("XDG_CONFIG_DIRS", "/etc/xdg"))
    lists.push_back(config / "mimeapps.list");
  for (const auto& applications : ApplicationFolders()) {
    lists.push_back(applications / "mimeapps.list");
    lists.push_back(applications / "defaults.list");
  }
  for (const auto& list : lists) {
    std::istringstream ids(IniValue(list, "Default Applications", mimeType));
    for (std::string id; std::getline(ids, id, ';');)
      if (!id.empty() && !FindDesktopFile(id).empty()) return id;
  }
  return {};
}

// An Exec line as a registered command: the file and URL codes become
// "%1", the other codes go, "%%" is a percent sign.
std::string AsCommand(const std::string& exec) {
  std::string command;
  for (size_t i = 0; i < exec.size(); ++i) {
    if (exec[i] != '%' || i + 1 == exec.size()) {
      command += exec[i];
      continue;
    }
    char code = exec[++i];
    if (code == 'u' || code == 'U' || code == 'f' || code == 'F') {
      command += "\"%1\"";
    } else if (code == '%') {
      command += '%';
    }
  }
  return command;
}

}  // namespace

int ReadClassesRootDefault(const std::string& subkey, std::string& value) {
  if (subkey == ".htm") {
    value = DefaultHandler("text/html");
    return value.empty() ? ERROR_FILE_NOT_FOUND : 0;
  }
  const size_t suffix = sizeof kOpenCommand - 1;
  if (subkey.size() <= suffix || subkey.compare(subkey.size() - suffix, suffix, kOpenCommand) != 0)
    return ERROR_FILE_NOT_FOUND;
  fs::path file = FindDesktopFile(subkey.substr(0, subkey.size() - suffix));
  std::string exec = file.empty() ? "" : IniValue(file, "Desktop Entry", "Exec");
  if (exec.empty()) return ERROR_FILE_NOT_FOUND;
  value = AsCommand(exec);
  return 0;
}

bool AnyProgramOpens(const std::string& mimeType) {
  if (!DefaultHandler(mimeType).empty()) return true;
  // Without a default, xdg-open takes any program that says it opens the
  // type, as update-desktop-database lists them.
  for (const auto& applications : ApplicationFolders()) {
    std::istringstream ids(IniValue(applications / "mimeinfo.cache", "MIME Cache", mimeType));
    for (std::string id; std::getline(ids, id, ';');)
      if (!id.empty() && !FindDesktopFile(id).empty()) return true;
  }
  return false;
}

}  // namespace platform
