#include "platform/launcher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/fake_program.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(OpenDocument, FindsTheFileWithoutRegardToCaseAndHandsItToXdgOpen) {
  TempFolder folder;
  FakePrograms programs;
  programs.Add("xdg-open");
  folder.Write("Owlglance.log", "a line\r\n");
  EXPECT_EQ(platform::OpenDocument("owlglance.log"), platform::kLaunchStarted);
  EXPECT_EQ(programs.Recorded("xdg-open"), "./Owlglance.log\n");
}

TEST(OpenDocument, MissingFileIsReportedAndNothingRuns) {
  TempFolder folder;
  FakePrograms programs;
  programs.Add("xdg-open");
  EXPECT_EQ(platform::OpenDocument("readme.pdf"), platform::kLaunchFileNotFound);
  EXPECT_EQ(platform::OpenDocument("nowhere/readme.pdf"), platform::kLaunchFileNotFound);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(programs.Recorded("xdg-open", 0), "");
}

}  // namespace
