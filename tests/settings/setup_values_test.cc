#include "settings/setup_values.h"

#include <gtest/gtest.h>

namespace {

constexpr char kQuality[] = "Jpeg quality must be a value between 1 and 100";
constexpr char kClients[] = "Maximum number of connections must be between 1 and 50!";
constexpr char kUrl[] = "Length of webcam URL must be between 1 and 64!";
constexpr char kUrlMarks[] =
    "Webcam URL must not hold spaces, control characters or any of \" # % < > ? [ \\ ] ^ ` { | }";
constexpr char kPort[] = "Port number must be between 1 and 65000!";

settings::SetupTexts Valid() { return {"50", "10", "8080", "/cam", true}; }

TEST(SetupValues, EachFieldPassesOrGetsItsMessage) {
  using Messages = std::vector<std::string>;
  struct Case {
    std::string settings::SetupTexts::*field;
    std::string typed;
    Messages messages;
    uint32_t settings::ServerSettings::*number;  // or nullptr for the URL
    uint32_t expected;
    std::string expectedUrl;
  };
  const std::string url64 = "/" + std::string(63, 'u'), url65 = url64 + "u";
  const Case cases[] = {
      {&settings::SetupTexts::compression,
       "0",
       {kQuality},
       &settings::ServerSettings::compression,
       35,
       ""},
      {&settings::SetupTexts::compression,
       "101",
       {kQuality},
       &settings::ServerSettings::compression,
       35,
       ""},
      {&settings::SetupTexts::compression,
       "-1",
       {kQuality},
       &settings::ServerSettings::compression,
       35,
       ""},
      {&settings::SetupTexts::compression,
       "",
       {kQuality},
       &settings::ServerSettings::compression,
       35,
       ""},
      {&settings::SetupTexts::compression, "1", {}, &settings::ServerSettings::compression, 1, ""},
      {&settings::SetupTexts::compression,
       "100",
       {},
       &settings::ServerSettings::compression,
       100,
       ""},
      {&settings::SetupTexts::compression,
       "50abc",
       {},
       &settings::ServerSettings::compression,
       50,
       ""},
      {&settings::SetupTexts::compression,
       "  +7",
       {},
       &settings::ServerSettings::compression,
       7,
       ""},
      {&settings::SetupTexts::maxclients,
       "0",
       {kClients},
       &settings::ServerSettings::maxclients,
       5,
       ""},
      {&settings::SetupTexts::maxclients,
       "51",
       {kClients},
       &settings::ServerSettings::maxclients,
       5,
       ""},
      {&settings::SetupTexts::maxclients, "50", {}, &settings::ServerSettings::maxclients, 50, ""},
      {&settings::SetupTexts::camurl, "", {kUrl}, nullptr, 0, "/video"},
      {&settings::SetupTexts::camurl, url65, {kUrl}, nullptr, 0, "/video"},
      {&settings::SetupTexts::camurl, url64, {}, nullptr, 0, url64},
      // The "/" added counts: 64 typed without it is one too many.
      {&settings::SetupTexts::camurl, url64.substr(1) + "u", {kUrl}, nullptr, 0, "/video"},
      {&settings::SetupTexts::camurl, "cam", {}, nullptr, 0, "/cam"},
      {&settings::SetupTexts::camurl, "/", {}, nullptr, 0, "/"},
      {&settings::SetupTexts::camurl, "/my video", {kUrlMarks}, nullptr, 0, "/video"},
      {&settings::SetupTexts::camurl, "/a%20b", {kUrlMarks}, nullptr, 0, "/video"},
      {&settings::SetupTexts::camurl, "/cam?x=1", {kUrlMarks}, nullptr, 0, "/video"},
      {&settings::SetupTexts::camurl, "/cam#top", {kUrlMarks}, nullptr, 0, "/video"},
      {&settings::SetupTexts::camurl, "/a\tb", {kUrlMarks}, nullptr, 0, "/video"},
      {&settings::SetupTexts::camurl,
       "/~me/cam-1_(a),b;c=d:e@f!$&'*+.",
       {},
       nullptr,
       0,
       "/~me/cam-1_(a),b;c=d:e@f!$&'*+."},
      {&settings::SetupTexts::camurl, "/caf\xc3\xa9", {}, nullptr, 0, "/caf\xc3\xa9"},
      {&settings::SetupTexts::portnum, "0", {kPort}, &settings::ServerSettings::portnum, 80, ""},
      {&settings::SetupTexts::portnum,
       "65001",
       {kPort},
       &settings::ServerSettings::portnum,
       80,
       ""},
      {&settings::SetupTexts::portnum, "1", {}, &settings::ServerSettings::portnum, 1, ""},
      {&settings::SetupTexts::portnum, "65000", {}, &settings::ServerSettings::portnum, 65000, ""},
      // Too big for an int: the largest int, not a small number wrapped round.
      {&settings::SetupTexts::portnum,
       "4294967376",
       {kPort},
       &settings::ServerSettings::portnum,
       80,
       ""},
      {&settings::SetupTexts::compression,
       "4294967346",
       {kQuality},
       &settings::ServerSettings::compression,
       35,
       ""},
      {&settings::SetupTexts::portnum,
       std::string(1000, '9'),
       {kPort},
       &settings::ServerSettings::portnum,
       80,
       ""},
      {&settings::SetupTexts::portnum,
       "\xc3\xa9\xff",
       {kPort},
       &settings::ServerSettings::portnum,
       80,
       ""},
  };
  for (const Case& c : cases) {
    settings::SetupTexts texts = Valid();
    texts.*c.field = c.typed;
    settings::ServerSettings settings;
    EXPECT_EQ(settings::ReadSetupTexts(texts, settings), c.messages) << c.typed;
    if (c.number) {
      EXPECT_EQ(settings.*c.number, c.expected) << c.typed;
    } else {
      EXPECT_EQ(settings.camurl, c.expectedUrl);
    }
  }
}

// A failed OK keeps the dialog open: whether the user then fixes the field
// or cancels, nothing typed reaches the settings before an OK that passes.
TEST(SetupValues, SeveralFailuresComeInOrderAndChangeNothing) {
  settings::SetupTexts texts = Valid();
  texts.compression = "0";
  texts.portnum = "99999";
  settings::ServerSettings settings;
  settings.portnum = 8080;
  const settings::ServerSettings before = settings;
  EXPECT_EQ(settings::ReadSetupTexts(texts, settings), (std::vector<std::string>{kQuality, kPort}));
  EXPECT_EQ(settings.portnum, 8080u) << "the user's port stays, not the default";
  EXPECT_EQ(settings.compression, before.compression);
  EXPECT_EQ(settings.maxclients, before.maxclients);
  EXPECT_EQ(settings.camurl, before.camurl);
  EXPECT_EQ(settings.connections, before.connections);
  texts.compression = "50";
  texts.portnum = "8081";
  EXPECT_TRUE(settings::ReadSetupTexts(texts, settings).empty());
  EXPECT_EQ(settings.portnum, 8081u);
  EXPECT_EQ(settings.maxclients, 10u);
  EXPECT_EQ(settings.camurl, "/cam");
}

TEST(SetupValues, TheDialogOpensWithTheSettingsAsDecimals) {
  settings::ServerSettings settings;
  settings.portnum = 8080;
  settings.connections = 1;
  settings.compression = static_cast<uint32_t>(-1);  // only a typed -1 gets here
  settings::SetupTexts texts = settings::SetupTextsFrom(settings);
  EXPECT_EQ(texts.compression, "-1");
  EXPECT_EQ(texts.maxclients, "5");
  EXPECT_EQ(texts.portnum, "8080");
  EXPECT_EQ(texts.camurl, "/video");
  EXPECT_TRUE(texts.connections);
  texts.compression = "50";
  texts.connections = false;
  EXPECT_TRUE(settings::ReadSetupTexts(texts, settings).empty());
  EXPECT_EQ(settings.connections, 0u);
}

}  // namespace
