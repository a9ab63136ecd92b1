#include "widgets/link_opener.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "platform/launcher.h"
#include "tests/support/fake_program.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(FallbackCommand, CutsAtThePlaceholderAndAppendsTheUrl) {
  const std::string url = "https://owlglance.org/";
  struct Case {
    std::string registered, command;
  };
  const Case cases[] = {
      {"/usr/bin/browser \"%1\"", "/usr/bin/browser  " + url},
      {"/usr/bin/browser -new %1 --tab", "/usr/bin/browser -new  " + url},
      {"/usr/bin/browser", "/usr/bin/browser " + url},
      {"\"%1\" %1", " " + url},
  };
  for (const Case& c : cases) {
    std::string command;
    EXPECT_TRUE(widgets::FallbackCommand(c.registered, url, command));
    EXPECT_EQ(command, c.command);
  }
  std::string command;
  EXPECT_TRUE(widgets::FallbackCommand("b", std::string(517, 'u'), command));  // 519 characters
  EXPECT_EQ(command.size(), 519u);
  EXPECT_FALSE(widgets::FallbackCommand("b", std::string(518, 'u'), command)) << "520 do not fit";
}

TEST(OpenErrorMessage, TextsByCode) {
  const std::pair<int, const char*> cases[] = {
      {0, "The operating system is out\nof memory or resources."},
      {2, "The specified file was not found."},
      {26, "A sharing violation occurred. "},
      {31, "There is no application associated\nwith the given filename extension."},
      {1, "Unknown Error (1) occurred."},
      {99, "Unknown Error (99) occurred."},
  };
  for (auto [code, text] : cases)
    EXPECT_EQ(widgets::OpenErrorMessage(code), std::string("Unable to open hyperlink:\n\n") + text)
        << code;
}

// A desktop with its own XDG folders: text/html opens with `exec`.
class LinkDesktop {
 public:
  explicit LinkDesktop(const std::string& exec) {
    std::filesystem::create_directories(folder.Path() / "data" / "applications");
    std::filesystem::create_directories(folder.Path() / "config");
    ::setenv("XDG_DATA_HOME", (folder.Path() / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (folder.Path() / "config").c_str(), 1);
    ::setenv("XDG_DATA_DIRS", (folder.Path() / "none").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (folder.Path() / "none").c_str(), 1);
    if (exec.empty()) return;
    std::ofstream(folder.Path() / "config" / "mimeapps.list")
        << "[Default Applications]\ntext/html=missing.desktop;owltest.desktop;\n";
    std::ofstream(folder.Path() / "data" / "applications" / "owltest.desktop")
        << "[Desktop Entry]\nType=Application\nName=Test\nExec=" << exec << "\n";
  }
  ~LinkDesktop() {
    for (const char* name :
         {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CONFIG_DIRS"})
      ::unsetenv(name);
  }
  TempFolder folder;
};

TEST(ReadClassKeyDefault, TheHtmlHandlersExecLineWithItsFieldCodesAsPercentOne) {
  const std::pair<const char*, const char*> cases[] = {
      {"browser %u", "browser \"%1\""},
      {"browser %U --x", "browser \"%1\" --x"},
      {"browser %f", "browser \"%1\""},
      {"browser %F %i %c 100%%", "browser \"%1\"   100%"},
  };
  for (auto [exec, command] : cases) {
    LinkDesktop desktop(exec);
    std::string name, value;
    ASSERT_TRUE(widgets::ReadClassKeyDefault("HKEY_CLASSES_ROOT", ".htm", name));
    EXPECT_EQ(name, "owltest.desktop");
    ASSERT_TRUE(
        widgets::ReadClassKeyDefault("HKEY_CLASSES_ROOT", name + "\\shell\\open\\command", value));
    EXPECT_EQ(value, command);
  }
  LinkDesktop none("");
  std::string value;
  EXPECT_FALSE(widgets::ReadClassKeyDefault("HKEY_CLASSES_ROOT", ".htm", value));
  EXPECT_FALSE(widgets::ReadClassKeyDefault("HKEY_CLASSES_ROOT", "x\\shell\\open\\command", value));
}

TEST(OpenLink, FallsBackToTheHtmlHandlerWhenXdgOpenFails) {
  FakePrograms programs;
  programs.Add("xdg-open", 3);  // no program found
  programs.Add("browser");
  LinkDesktop desktop((programs.Folder() / "browser").string() + " --new-window %u");
  int failure = 0;
  EXPECT_TRUE(widgets::OpenLink("https://owlglance.org/", failure));
  EXPECT_EQ(programs.Recorded("browser"), "--new-window\nhttps://owlglance.org/\n");
}

TEST(OpenLink, WithNoAssociationEitherTheShellsCodeStandsAndNothingRuns) {
  FakePrograms programs;
  programs.Add("xdg-open", 3);
  LinkDesktop desktop("");
  int failure = 0;
  EXPECT_FALSE(widgets::OpenLink("https://owlglance.org/", failure));
  EXPECT_EQ(failure, platform::kLaunchNoAssociation);
  programs.Add("xdg-open", 0);
  EXPECT_TRUE(widgets::OpenLink("https://owlglance.org/", failure));
  EXPECT_EQ(programs.Recorded("xdg-open"), "https://owlglance.org/\n");
}

TEST(RunCommandLine, WinExecCodes) {
  TempFolder folder;
  folder.Write("plain", "not a program");
  const std::pair<std::string, int> cases[] = {
      {"owl-no-such-program x", platform::kLaunchFileNotFound},
      {"/no/such/folder/program", platform::kLaunchFileNotFound},
      {"/etc/passwd/program", platform::kLaunchPathNotFound},
      {(folder.Path() / "plain").string(), platform::kLaunchAccessDenied},
      {"", platform::kLaunchFileNotFound},
      {"true \"a b\"", platform::kLaunchStarted},
  };
  for (const auto& [line, code] : cases) EXPECT_EQ(platform::RunCommandLine(line), code) << line;
}

}  // namespace
