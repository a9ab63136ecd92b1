#pragma once

#include <filesystem>
#include <string>

// A folder put first on PATH while the object lives, to hold stand-ins for
// the programs the launcher starts. Each stand-in records its arguments, one
// a line, in "<name>.args" beside it.
class FakePrograms {
 public:
  FakePrograms();
  ~FakePrograms();
  // A program `name` that records its arguments and exits with `status`.
  void Add(const std::string& name, int status = 0) const;
  // What `name` recorded ("" when it never ran), waiting up to `ms` for it.
  std::string Recorded(const std::string& name, int ms = 3000) const;
  // How many times `name` has run.
  int Calls(const std::string& name) const;
  const std::filesystem::path& Folder() const { return folder_; }

 private:
  std::filesystem::path folder_;
  std::string previousPath_;
};
