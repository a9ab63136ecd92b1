#include "wizard/wizard_steps.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/interfaces.h"
#include "tests/support/fake_message_box.h"
#include "tests/support/temp_folder.h"
#include "wizard/address_discovery.h"

namespace {

TEST(WizardSteps, ThePortTextReadsAsAtoiDoes) {
  const std::pair<const char*, int32_t> cases[] = {{"8080", 8080}, {"8080abc", 8080}, {" 81", 81},
                                                   {"abc", 0},     {"", 0},           {"-5", -5}};
  for (auto [text, port] : cases) EXPECT_EQ(PortFromText(text), port) << text;
}

TEST(WizardSteps, OkStoresThePortFirstWhateverThePageDoes) {
  TempFolder folder;
  FakeMessageBox boxes;
  std::filesystem::create_directory("www");
  struct Case {
    int answer;  // to "Overwrite?"
    bool www;
    HomePageOutcome outcome;
  };
  for (Case c : {Case{platform::kIdCancel, true, HomePageOutcome::Declined},
                 Case{platform::kIdOk, false, HomePageOutcome::Failed},
                 Case{platform::kIdOk, true, HomePageOutcome::Written}}) {
    if (!c.www) std::filesystem::rename("www", "elsewhere");
    boxes.Script(c.answer);
    ServerSettings settings;
    EXPECT_EQ(FinishWizard("10.0.0.2", "-5", settings), c.outcome);
    EXPECT_EQ(static_cast<int32_t>(settings.portnum), -5);
    if (!c.www) std::filesystem::rename("elsewhere", "www");
  }
  EXPECT_NE(folder.Read("www/index.html").find("<PARAM NAME=\"PORT\" VALUE=\"-5\">"),
            std::string::npos);
  EXPECT_NE(folder.Read("www/index.html").find("CODEBASE=\"http://10.0.0.2:-5/\""),
            std::string::npos);
}

TEST(WizardSteps, TheFieldsAndBoxesItOpensWith) {
  ServerSettings settings;
  settings.portnum = 8080;
  struct Case {
    const char* interfaces;
    std::string address, port;
    std::vector<std::string> messages;
  };
  const Case cases[] = {
      {"127.0.0.1,10.0.0.1", "127.0.0.1", "8080", {}},
      {"10.1.2.3", "10.1.2.3", "8080", {kPrivateAddressMessage}},
      {"", "", "", {kDiscoveryFailedMessage}},
  };
  for (const Case& c : cases) {
    ::setenv(platform::kInterfaceListVariable, c.interfaces, 1);
    WizardStart start = StartWizard(settings);
    EXPECT_EQ(start.address, c.address) << c.interfaces;
    EXPECT_EQ(start.port, c.port) << c.interfaces;
    EXPECT_EQ(start.messages, c.messages) << c.interfaces;
  }
  ::unsetenv(platform::kInterfaceListVariable);
  settings.portnum = static_cast<uint32_t>(-1);
  EXPECT_EQ(StartWizard(settings).port, "-1") << "%d";
}

}  // namespace
