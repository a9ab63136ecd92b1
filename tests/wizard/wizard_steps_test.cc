#include "wizard/wizard_steps.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/interfaces.h"
#include "share/address_discovery.h"
#include "tests/support/fake_message_box.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(WizardSteps, OkChecksThePortThenStoresItThenWritesThePage) {
  TempFolder folder;
  const std::string port = "Invalid Parameter|Port number must be between 1 and 65000!";
  const std::string overwrite = "Overwrite?|Are you sure you want to overwrite www/index.html?";
  struct Case {
    std::string portText;
    std::string address = "10.0.0.2";
    bool www, page;  // the folder exists; a page is there already
    int answer;      // to a box that asks
    share::HomePageOutcome outcome;
    uint32_t stored;  // the port in the settings afterwards (80 before)
    std::vector<std::string> boxes;
  };
  const std::string noAddress = "Invalid Parameter|IP address must not be empty!";
  const Case cases[] = {
      {"8080", "", true, true, platform::kIdOk, share::HomePageOutcome::Declined, 80, {noAddress}},
      {"8080", " ", true, true, platform::kIdOk, share::HomePageOutcome::Declined, 80, {noAddress}},
      {"", "10.0.0.2", true, true, platform::kIdOk, share::HomePageOutcome::Declined, 80, {port}},
      {"0", "10.0.0.2", true, true, platform::kIdOk, share::HomePageOutcome::Declined, 80, {port}},
      {"-5", "10.0.0.2", true, true, platform::kIdOk, share::HomePageOutcome::Declined, 80, {port}},
      {"65001",
       "10.0.0.2",
       true,
       true,
       platform::kIdOk,
       share::HomePageOutcome::Declined,
       80,
       {port}},
      {"4294967376",
       "10.0.0.2",
       true,
       true,
       platform::kIdOk,
       share::HomePageOutcome::Declined,
       80,
       {port}},
      {"8080", "10.0.0.2", true, false, platform::kIdOk, share::HomePageOutcome::Written, 8080, {}},
      {"8080abc",
       "10.0.0.2",
       true,
       true,
       platform::kIdCancel,
       share::HomePageOutcome::Declined,
       8080,
       {overwrite}},
      {"1",
       "10.0.0.2",
       true,
       true,
       platform::kIdOk,
       share::HomePageOutcome::Written,
       1,
       {overwrite}},
      {"65000",
       "10.0.0.2",
       false,
       false,
       platform::kIdOk,
       share::HomePageOutcome::Failed,
       65000,
       {"Error|Could not open index.html, make sure \"www\" folder exists and file is not write "
        "protected."}},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all("www");
    if (c.www) std::filesystem::create_directory("www");
    if (c.page) folder.Write("www/index.html", "old page");
    FakeMessageBox boxes;
    boxes.Script(c.answer);
    settings::ServerSettings settings;
    EXPECT_EQ(wizard::FinishWizard(c.address, c.portText, settings, {}), c.outcome) << c.portText;
    EXPECT_EQ(settings.portnum, c.stored) << c.portText;
    std::vector<std::string> shown;
    for (const auto& box : boxes.Boxes()) shown.push_back(box.caption + "|" + box.text);
    EXPECT_EQ(shown, c.boxes) << c.portText;
    const bool written = c.outcome == share::HomePageOutcome::Written;
    if (c.www) {
      EXPECT_EQ(folder.Read("www/index.html")
                        .find("CODEBASE=\"http://10.0.0.2:" + std::to_string(c.stored) + "/\"") !=
                    std::string::npos,
                written)
          << c.portText;
    }
  }
}

TEST(WizardSteps, TheFieldsAndBoxesItOpensWith) {
  settings::ServerSettings settings;
  settings.portnum = 8080;
  struct Case {
    const char* interfaces;
    std::string address, port;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"127.0.0.1,10.0.0.1", "127.0.0.1", "8080", {}},
      {"10.1.2.3", "10.1.2.3", "8080", {share::kPrivateAddressMessage}},
      {"", "", "", {share::kDiscoveryFailedMessage}},
  };
  for (const Case& c : cases) {
    ::setenv(platform::kInterfaceListVariable, c.interfaces, 1);
    wizard::WizardStart start = wizard::StartWizard(settings);
    EXPECT_EQ(start.address, c.address) << c.interfaces;
    EXPECT_EQ(start.port, c.port) << c.interfaces;
    EXPECT_EQ(start.messages, c.messages) << c.interfaces;
  }
  ::unsetenv(platform::kInterfaceListVariable);
  settings.portnum = static_cast<uint32_t>(-1);
  EXPECT_EQ(wizard::StartWizard(settings).port, "-1") << "%d";
}

}  // namespace
