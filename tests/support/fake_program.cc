#include "tests/support/fake_program.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

FakePrograms::FakePrograms() {
  std::string pattern = (fs::temp_directory_path() / "owl-programs-XXXXXX").string();
  folder_ = ::mkdtemp(pattern.data());
  const char* path = std::getenv("PATH");
  previousPath_ = path ? path : "";
  ::setenv("PATH", (folder_.string() + ":" + previousPath_).c_str(), 1);
}

FakePrograms::~FakePrograms() {
  ::setenv("PATH", previousPath_.c_str(), 1);
  std::error_code error;
  fs::remove_all(folder_, error);
}

void FakePrograms::Add(const std::string& name, int status) const {
  fs::path script = folder_ / name;
  std::ofstream(script) << "#!/bin/sh\necho \"$*\" >> '" << script.string() << ".calls'\n"
                        << "for a in \"$@\"; do echo \"$a\"; done > '" << script.string()
                        << ".args.tmp'\nmv '" << script.string() << ".args.tmp' '"
                        << script.string() << ".args'\nexit " << status << "\n";
  fs::permissions(script, fs::perms::owner_all);
}

std::string FakePrograms::Recorded(const std::string& name, int ms) const {
  fs::path args = folder_ / (name + ".args");
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!fs::exists(args) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::ifstream in(args);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

int FakePrograms::Calls(const std::string& name) const {
  std::ifstream in(folder_ / (name + ".calls"));
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}
