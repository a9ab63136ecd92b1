#include "tests/support/temp_folder.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

TempFolder::TempFolder() : previous_(std::filesystem::current_path()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "owl-test-XXXXXX").string();
  path_ = ::mkdtemp(pattern.data());
  std::filesystem::current_path(path_);
}

TempFolder::~TempFolder() {
  std::filesystem::current_path(previous_);
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void TempFolder::Write(const std::string& name, const std::string& bytes) const {
  std::filesystem::create_directories((path_ / name).parent_path());
  std::ofstream(path_ / name, std::ios::binary) << bytes;
}

std::string TempFolder::Read(const std::string& name) const {
  std::ifstream in(path_ / name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}
