#pragma once

#include <filesystem>
#include <string>

// A fresh folder that becomes the working folder while the object lives
// (the server's log and web folder are relative to it).
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  const std::filesystem::path& Path() const { return path_; }
  void Write(const std::string& name, const std::string& bytes) const;
  std::string Read(const std::string& name) const;

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};
