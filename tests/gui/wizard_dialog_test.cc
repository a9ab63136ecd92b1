// The setup wizard in the real program: the first run, Help > Wizard, the
// page it writes and what it saves.
#include <fstream>
#include <thread>

#include "settings/settings_store.h"
#include "share/address_discovery.h"
#include "share/home_page.h"
#include "tests/support/command.h"
#include "tests/support/gui_fixture.h"
#include "tests/support/server_fixture.h"

namespace {

using WizardDialogTest = GuiTest;
using Lines = std::vector<std::string>;

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = '~';
  return text;
}

constexpr char kNoWww[] =
    "Error|Could not open index.html, make sure \"www\" folder exists and file is not write "
    "protected.";

TEST_F(WizardDialogTest, AFirstRunShowsItBeforeTheMainWindowAndTheNextDoesNot) {
  StartFresh("127.0.0.1");
  ASSERT_TRUE(WaitForDialog("Setup Wizard"));
  EXPECT_NE(session->Xdotool("search --onlyvisible --name '^Setup Wizard$'"), "");
  EXPECT_EQ(session->Xdotool("search --onlyvisible --name '^Owlglance v" OWL_VERSION "$'"), "")
      << "the main window is not on the screen yet";
  ExpectNoClippedLabel();
  EXPECT_EQ(Ask("get 1017", "value"), "value 1017|127.0.0.1");
  EXPECT_EQ(Ask("get 1018", "value"), "value 1018|80");
  Ask("set 1018 " + std::to_string(port), "set");
  size_t skip = session->LineCount();
  Ask("press ok", "pressed");
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
  EXPECT_EQ(BoxesSince(skip), Lines{}) << "no page yet: nothing to overwrite, no question";
  EXPECT_EQ(folder.Read("www/index.html"),
            share::HomePageText("127.0.0.1", port, "/video", {640, 480}));
  settings::ServerSettings saved;
  EXPECT_FALSE(settings::LoadSettings(saved).firstRun) << "frun is 0";
  EXPECT_EQ(saved.portnum, static_cast<uint32_t>(port));

  // The page plays the live picture in a browser.
  Menu(301);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/";
  for (auto* browser : {&ChromiumScreenshot, &FirefoxScreenshot}) {
    std::string first = (folder.Path() / "first.png").string();
    std::string second = (folder.Path() / "second.png").string();
    std::filesystem::remove(first);
    std::filesystem::remove(second);
    ASSERT_TRUE(browser(url, first, 400, 400));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    ASSERT_TRUE(browser(url, second, 400, 400));
    std::string a = ImageToRgb(first), b = ImageToRgb(second);
    ASSERT_EQ(a.size(), 400u * 400 * 3);
    EXPECT_NE(a, b) << "the picture on the page moves";
    int yellow = 0;  // the test pattern's second bar
    for (size_t i = 0; i + 2 < b.size(); i += 3)
      yellow += uint8_t(b[i]) > 150 && uint8_t(b[i + 1]) > 150 && uint8_t(b[i + 2]) < 80;
    EXPECT_GT(yellow, 500);
  }

  session->Send("close");
  ExpectThankYouThenExit();
  Restart();
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
  EXPECT_EQ(Ask("dialog", "dialog"), "dialog none");
  session->Send("close");
  ExpectThankYouThenExit();
}

TEST_F(WizardDialogTest, DeclinedThenCancelledWritesNothingButTheTypedPortIsSavedLater) {
  Start();
  folder.Write("www/index.html", "mine");
  const std::string before = RegistryText();
  const int newPort = FreePort();
  ASSERT_TRUE(OpenDialog(40005, "Setup Wizard"));
  Ask("set 1018 " + std::to_string(newPort), "set");
  session->Send("answer 2");  // Cancel in "Overwrite?"
  size_t skip = session->LineCount();
  Ask("press ok", "pressed");
  EXPECT_EQ(Ask("dialog", "dialog"), "dialog Setup Wizard") << "open as the user left it";
  EXPECT_EQ(Ask("get 1018", "value"), "value 1018|" + std::to_string(newPort));
  Ask("press cancel", "pressed");
  ASSERT_TRUE(DialogCommandDone());
  EXPECT_EQ(BoxesSince(skip),
            Lines{"Overwrite?|Are you sure you want to overwrite www/index.html?"});
  EXPECT_EQ(folder.Read("www/index.html"), "mine");
  EXPECT_EQ(RegistryText(), before);
  session->Send("close");
  ExpectThankYouThenExit();
  EXPECT_EQ(Saved().portnum, static_cast<uint32_t>(newPort));
}

TEST_F(WizardDialogTest, WithoutAWebFolderItSaysSoAndClosesWithNothingSaved) {
  Start();
  std::filesystem::remove_all(folder.Path() / "www");
  const std::string before = RegistryText();
  ASSERT_TRUE(OpenDialog(40005, "Setup Wizard"));
  size_t skip = session->LineCount();
  Ask("press ok", "pressed");
  ASSERT_TRUE(DialogCommandDone());
  EXPECT_EQ(BoxesSince(skip), Lines{kNoWww});
  EXPECT_EQ(RegistryText(), before);
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "www"));
}

TEST_F(WizardDialogTest, FailedDiscoveryLeavesBothFieldsEmptyAndAnEmptyPortIsRefused) {
  StartFresh("");
  ASSERT_TRUE(WaitForDialog("Setup Wizard"));
  EXPECT_EQ(BoxesSince(0), Lines{"owlglance|" + OneLine(share::kDiscoveryFailedMessage)});
  EXPECT_EQ(Ask("get 1017", "value"), "value 1017|");
  EXPECT_EQ(Ask("get 1018", "value"), "value 1018|");
  Ask("set 1017 127.0.0.1", "set");
  size_t skip = session->LineCount();
  Ask("press ok", "pressed");
  EXPECT_EQ(BoxesSince(skip), Lines{"Invalid Parameter|Port number must be between 1 and 65000!"});
  EXPECT_EQ(Ask("dialog", "dialog"), "dialog Setup Wizard") << "open, with the text as typed";
  EXPECT_EQ(Ask("get 1018", "value"), "value 1018|");
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "www" / "index.html"));
  Ask("set 1018 " + std::to_string(port), "set");
  Ask("press ok", "pressed");
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
  EXPECT_EQ(folder.Read("www/index.html"),
            share::HomePageText("127.0.0.1", port, "/video", {640, 480}));
  EXPECT_EQ(Saved().portnum, static_cast<uint32_t>(port));
}

TEST_F(WizardDialogTest, APrivateAddressIsWarnedAboutAndStaysProposed) {
  StartFresh("10.1.2.3");
  ASSERT_TRUE(WaitForDialog("Setup Wizard"));
  EXPECT_EQ(BoxesSince(0), Lines{"owlglance|" + OneLine(share::kPrivateAddressMessage)});
  EXPECT_EQ(Ask("get 1017", "value"), "value 1017|10.1.2.3");
  EXPECT_EQ(Ask("get 1018", "value"), "value 1018|80");
  Ask("press cancel", "pressed");
  EXPECT_TRUE(session->StatusBecomes("0 user(s) connected|Server Not Running|Previewing"));
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "www" / "index.html"));
}

}  // namespace
