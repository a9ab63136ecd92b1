#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "settings/server_settings.h"
#include "tests/support/gui_session.h"
#include "tests/support/temp_folder.h"

// The desktop program on a private X display with a seeded registry, in a
// fresh working folder with a "www" folder.
class GuiTest : public ::testing::Test {
 protected:
  // Starts the program with "driver" and "portnum" (a free port) stored,
  // and the cameras `drivers` (as OWLGLANCE_DRIVERS names them).
  void Start(uint32_t driver = 0, const std::string& drivers = "pattern",
             const std::string& moreValues = "");
  // Starts the program on a first run (no registry file), with the network
  // interfaces `interfaces` (as OWLGLANCE_INTERFACES names them).
  void StartFresh(const std::string& interfaces);
  // Starts the program again on the registry file the last run left, with
  // the cameras of the last Start.
  void Restart();
  // Runs a menu command and waits until it is done; the boxes it showed.
  std::vector<std::string> Menu(int id);
  // Sends `command` and waits for the answer starting with `prefix`.
  std::string Ask(const std::string& command, const std::string& prefix, int ms = 10000);
  // Opens a dialog with a menu command and waits until it is up.
  bool OpenDialog(int menuId, const std::string& title);
  // Waits up to 10 s until the dialog on top has this title.
  bool WaitForDialog(const std::string& title);
  // Waits until the command that opened the last dialog is done.
  bool DialogCommandDone();
  // Boxes ("CAPTION|TEXT") the program showed after output line `skip`.
  std::vector<std::string> BoxesSince(size_t skip) const;
  // Every label of the dialog on top is at least as wide as its text.
  void ExpectNoClippedLabel();
  // After a close: the thank-you dialog is up with the main window off the
  // screen; `way` ends it ("press ok", "dismiss", "escape"), and the
  // program then ends with status 1.
  void ExpectThankYouThenExit(const std::string& way = "press ok");
  // The settings as the registry file holds them now.
  settings::ServerSettings Saved() const;
  std::string RegistryText() const;

  TempFolder folder;
  int port = 0;
  std::unique_ptr<GuiSession> session;

 private:
  std::string drivers_ = "pattern";
  int dialogMenu_ = 0;
  size_t dialogSkip_ = 0;
};
