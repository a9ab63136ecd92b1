// The folders are layers: each includes only from itself and the layers
// below it, and the GUI-free adapters never reach the wx side.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What the files of each folder may include from the project.
const std::map<std::string, std::vector<std::string>> kAllowed = {
    {"platform", {"platform/"}},
    {"settings", {"platform/", "settings/"}},
    {"capture", {"platform/", "capture/"}},
    {"keep", {"platform/", "settings/", "capture/", "keep/"}},
    {"server", {"platform/", "settings/", "capture/", "server/"}},
    {"station", {"platform/", "settings/", "capture/", "keep/", "server/", "station/"}},
    {"widgets", {"platform/", "widgets/"}},
    {"share",
     {"platform/", "settings/", "capture/", "server/", "widgets/", "share/", "resources/"}},
    {"wizard",
     {"platform/", "settings/", "capture/", "server/", "widgets/", "share/", "wizard/",
      "resources/"}},
    {"shell",
     {"platform/", "settings/", "capture/", "keep/", "server/", "station/", "widgets/", "share/",
      "wizard/", "shell/", "resources/"}},
};
const std::vector<std::string> kProjectFolders = {"platform/", "settings/", "capture/",  "keep/",
                                                  "server/",   "station/",  "widgets/",  "share/",
                                                  "wizard/",   "shell/",    "resources/"};

struct Include {
  std::string file, target;
};

std::vector<Include> QuotedIncludes(const fs::path& folder) {
  static const std::regex include(R"(^\s*#\s*include\s*[<"]([^">]+)[">])");
  std::vector<Include> found;
  if (!fs::exists(folder)) return found;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    auto extension = entry.path().extension();
    if (extension != ".cc" && extension != ".h") continue;
    std::ifstream in(entry.path());
    std::smatch match;
    for (std::string line; std::getline(in, line);)
      if (std::regex_search(line, match, include))
        found.push_back({fs::relative(entry.path(), OWL_SOURCE_DIR).string(), match[1]});
  }
  return found;
}

bool StartsWithAny(const std::string& text, const std::vector<std::string>& prefixes) {
  for (const auto& prefix : prefixes)
    if (text.rfind(prefix, 0) == 0) return true;
  return false;
}

TEST(Layers, NoFolderIncludesFromAFolderAboveIt) {
  size_t seen = 0;
  for (const auto& [folder, allowed] : kAllowed) {
    for (const auto& include : QuotedIncludes(fs::path(OWL_SOURCE_DIR) / folder)) {
      ++seen;
      if (!StartsWithAny(include.target, kProjectFolders)) continue;  // a system header
      EXPECT_TRUE(StartsWithAny(include.target, allowed))
          << include.file << " includes " << include.target;
    }
  }
  EXPECT_GT(seen, 100u) << "the walk found the sources";
}

// The headless server is the whole server without the desktop's dialogs:
// it tells where to watch through share/, never through the wizard.
TEST(Layers, HeadlessServerNeedsNoWizard) {
  for (const auto& include : QuotedIncludes(fs::path(OWL_SOURCE_DIR) / "shell")) {
    const bool headless = include.file.rfind("shell/headless_server", 0) == 0;
    EXPECT_FALSE(headless && include.target.rfind("wizard/", 0) == 0)
        << include.file << " includes " << include.target;
  }
}

TEST(Layers, GuiFreeAdaptersNeverIncludeWx) {
  for (const auto& include : QuotedIncludes(fs::path(OWL_SOURCE_DIR) / "platform")) {
    if (include.file.rfind("platform/ui/", 0) == 0) continue;
    EXPECT_FALSE(include.target.rfind("wx/", 0) == 0) << include.file;
    EXPECT_FALSE(include.target.rfind("platform/ui/", 0) == 0) << include.file;
  }
}

// A unit is x.h with x.cc; it uses the units whose headers either includes.
// No unit may reach itself again through what it uses.
TEST(Layers, NoUnitsIncludeEachOtherInACircle) {
  std::map<std::string, std::set<std::string>> uses;
  for (const auto& [folder, allowed] : kAllowed)
    for (const auto& include : QuotedIncludes(fs::path(OWL_SOURCE_DIR) / folder)) {
      const std::string unit = include.file.substr(0, include.file.find_last_of('.'));
      const std::string used = include.target.substr(0, include.target.find_last_of('.'));
      if (used != unit && StartsWithAny(include.target, kProjectFolders)) uses[unit].insert(used);
    }
  std::map<std::string, int> state;  // 1 on the current path, 2 done
  std::vector<std::string> path;
  std::function<void(const std::string&)> visit = [&](const std::string& unit) {
    state[unit] = 1;
    path.push_back(unit);
    for (const auto& used : uses[unit]) {
      if (state[used] == 1) {
        std::string circle;
        for (auto it = std::find(path.begin(), path.end(), used); it != path.end(); ++it)
          circle += *it + " -> ";
        ADD_FAILURE() << circle << used;
      } else if (state[used] == 0) {
        visit(used);
      }
    }
    path.pop_back();
    state[unit] = 2;
  };
  for (const auto& [unit, used] : uses)
    if (state[unit] == 0) visit(unit);
}

// The remote control and the injected failures belong to the test host; the
// shipped programs obey no test variable.
TEST(Layers, TestHooksLiveUnderTestsOnly) {
  for (const auto& [folder, allowed] : kAllowed)
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(OWL_SOURCE_DIR) / folder)) {
      std::ifstream in(entry.path());
      for (std::string line; std::getline(in, line);)
        EXPECT_EQ(line.find("OWLGLANCE_TEST"), std::string::npos) << entry.path();
    }
}

}  // namespace
