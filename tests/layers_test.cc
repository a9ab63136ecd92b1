// The folders are layers: each includes only from itself and the layers
// below it, and the GUI-free adapters never reach the wx side.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// What the files of each folder may include from the project.
const std::map<std::string, std::vector<std::string>> kAllowed = {
    {"platform", {"platform/"}},
    {"capture", {"platform/", "capture/"}},
    {"server", {"platform/", "capture/", "server/"}},
    {"widgets", {"platform/", "widgets/"}},
    {"wizard", {"platform/", "capture/", "server/", "widgets/", "wizard/", "resources/"}},
    {"shell", {"platform/", "capture/", "server/", "widgets/", "wizard/", "shell/", "resources/"}},
};
const std::vector<std::string> kProjectFolders = {"platform/", "capture/", "server/",   "widgets/",
                                                  "wizard/",   "shell/",   "resources/"};

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

TEST(Layers, GuiFreeAdaptersNeverIncludeWx) {
  for (const auto& include : QuotedIncludes(fs::path(OWL_SOURCE_DIR) / "platform")) {
    if (include.file.rfind("platform/ui/", 0) == 0) continue;
    EXPECT_FALSE(include.target.rfind("wx/", 0) == 0) << include.file;
    EXPECT_FALSE(include.target.rfind("platform/ui/", 0) == 0) << include.file;
  }
}

}  // namespace
