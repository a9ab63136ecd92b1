#include "keep/picture_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/temp_folder.h"

namespace {

TEST(TryFolder, MakesTheFolderOrSaysWhyNot) {
  TempFolder folder;
  folder.Write("a-file", "x");
  const std::string base = folder.Path().string();
  struct Case {
    std::string folder;
    int error;
  };
  const Case cases[] = {
      {base, 0},
      {base + "/new/and/deeper", 0},
      {base + "/a-file", ENOTDIR},
      {base + "/a-file/below", ENOTDIR},
      {"/proc/owlglance-pictures", ENOENT},  // no file can be made in /proc, even by root
  };
  for (const Case& c : cases) EXPECT_EQ(keep::TryFolder(c.folder), c.error) << c.folder;
  EXPECT_TRUE(std::filesystem::is_directory(base + "/new/and/deeper"));
  EXPECT_TRUE(std::filesystem::is_empty(base + "/new/and/deeper")) << "the probe is gone";
}

}  // namespace
