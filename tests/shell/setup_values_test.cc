#include "shell/setup_values.h"

#include <gtest/gtest.h>

namespace {

constexpr char kQuality[] = "Jpeg quality must be a value between 1 and 100";
constexpr char kClients[] = "Maximum number of connections must be between 1 and 50!";
constexpr char kUrl[] = "Length of webcam URL must be between 0 and 64!";
constexpr char kPort[] = "Port number must be between 1 and 65000!";

shell::SetupTexts Valid() { return {"50", "10", "8080", "/cam", true}; }

TEST(SetupValues, EachFieldPassesOrGetsItsMessageAndDefault) {
  using Messages = std::vector<std::string>;
  struct Case {
    std::string shell::SetupTexts::*field;
    std::string typed;
    Messages messages;
    uint32_t server::ServerSettings::*number;  // or nullptr for the URL
    uint32_t expected;
    std::string expectedUrl;
  };
  const std::string url64(64, 'u'), url65(65, 'u');
  const Case cases[] = {
      {&shell::SetupTexts::compression, "0", {kQuality}, &server::ServerSettings::compression, 35, ""},
      {&shell::SetupTexts::compression, "101", {kQuality}, &server::ServerSettings::compression, 35, ""},
      {&shell::SetupTexts::compression, "-1", {kQuality}, &server::ServerSettings::compression, 35, ""},
      {&shell::SetupTexts::compression, "", {kQuality}, &server::ServerSettings::compression, 35, ""},
      {&shell::SetupTexts::compression, "1", {}, &server::ServerSettings::compression, 1, ""},
      {&shell::SetupTexts::compression, "100", {}, &server::ServerSettings::compression, 100, ""},
      {&shell::SetupTexts::compression, "50abc", {}, &server::ServerSettings::compression, 50, ""},
      {&shell::SetupTexts::compression, "  +7", {}, &server::ServerSettings::compression, 7, ""},
      {&shell::SetupTexts::maxclients, "0", {kClients}, &server::ServerSettings::maxclients, 5, ""},
      {&shell::SetupTexts::maxclients, "51", {kClients}, &server::ServerSettings::maxclients, 5, ""},
      {&shell::SetupTexts::maxclients, "50", {}, &server::ServerSettings::maxclients, 50, ""},
      {&shell::SetupTexts::camurl, "", {kUrl}, nullptr, 0, "/video"},
      {&shell::SetupTexts::camurl, url65, {kUrl}, nullptr, 0, "/video"},
      {&shell::SetupTexts::camurl, url64, {}, nullptr, 0, url64},
      {&shell::SetupTexts::camurl, "/a b", {kUrl}, nullptr, 0, "/video"},
      {&shell::SetupTexts::camurl, "video", {}, nullptr, 0, "video"},
      {&shell::SetupTexts::portnum, "0", {kPort}, &server::ServerSettings::portnum, 80, ""},
      {&shell::SetupTexts::portnum, "65001", {kPort}, &server::ServerSettings::portnum, 80, ""},
      {&shell::SetupTexts::portnum, "1", {}, &server::ServerSettings::portnum, 1, ""},
      {&shell::SetupTexts::portnum, "65000", {}, &server::ServerSettings::portnum, 65000, ""},
      // Too big for an int: the largest int, not a small number wrapped round.
      {&shell::SetupTexts::portnum, "4294967376", {kPort}, &server::ServerSettings::portnum, 80, ""},
      {&shell::SetupTexts::compression, "4294967346", {kQuality}, &server::ServerSettings::compression, 35, ""},
      {&shell::SetupTexts::portnum, std::string(1000, '9'), {kPort}, &server::ServerSettings::portnum, 80, ""},
      {&shell::SetupTexts::portnum, "\xc3\xa9\xff", {kPort}, &server::ServerSettings::portnum, 80, ""},
  };
  for (const Case& c : cases) {
    shell::SetupTexts texts = Valid();
    texts.*c.field = c.typed;
    server::ServerSettings settings;
    EXPECT_EQ(shell::ReadSetupTexts(texts, settings), c.messages) << c.typed;
    if (c.number) {
      EXPECT_EQ(settings.*c.number, c.expected) << c.typed;
    } else {
      EXPECT_EQ(settings.camurl, c.expectedUrl);
    }
  }
}

TEST(SetupValues, SeveralFailuresComeInOrderAndTheGoodValuesStay) {
  shell::SetupTexts texts = Valid();
  texts.compression = "0";
  texts.portnum = "0";
  server::ServerSettings settings;
  EXPECT_EQ(shell::ReadSetupTexts(texts, settings), (std::vector<std::string>{kQuality, kPort}));
  EXPECT_EQ(settings.compression, 35u);
  EXPECT_EQ(settings.portnum, 80u);
  EXPECT_EQ(settings.maxclients, 10u);
  EXPECT_EQ(settings.camurl, "/cam");
  EXPECT_EQ(settings.connections, 1u);
}

TEST(SetupValues, TheDialogOpensWithTheSettingsAsDecimals) {
  server::ServerSettings settings;
  settings.portnum = 8080;
  settings.connections = 1;
  settings.compression = static_cast<uint32_t>(-1);  // only a typed -1 gets here
  shell::SetupTexts texts = shell::SetupTextsFrom(settings);
  EXPECT_EQ(texts.compression, "-1");
  EXPECT_EQ(texts.maxclients, "5");
  EXPECT_EQ(texts.portnum, "8080");
  EXPECT_EQ(texts.camurl, "/video");
  EXPECT_TRUE(texts.connections);
  texts.connections = false;
  shell::ReadSetupTexts(texts, settings);
  EXPECT_EQ(settings.connections, 0u);
}

}  // namespace
