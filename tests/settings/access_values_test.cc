#include "settings/access_values.h"

#include <gtest/gtest.h>

#include "platform/password_hash.h"

namespace {

using settings::AccessTexts;
using Messages = std::vector<std::string>;

TEST(AccessValues, OkStoresTheScopeAndAHashOrSaysWhatIsWrong) {
  const std::string long65(65, 'n');
  struct Case {
    const char* what;
    AccessTexts texts;
    bool hadPassword;  // a password was set before
    Messages messages;
    bool asks;  // a password is asked afterwards
  };
  const Case cases[] = {
      {"everyone, no password", {settings::kEveryone, false, "", "", ""}, false, {}, false},
      {"this computer", {settings::kThisComputer, false, "x", "y", "z"}, true, {}, false},
      {"a new password",
       {settings::kLocalNetwork, true, "anna", "s3cret", "s3cret"},
       false,
       {},
       true},
      {"empty",
       {settings::kEveryone, true, "anna", "", ""},
       false,
       {settings::kEmptyPasswordMessage},
       false},
      {"empty keeps the one there", {settings::kEveryone, true, "anna", "", ""}, true, {}, true},
      {"typed once",
       {settings::kEveryone, true, "anna", "s3cret", ""},
       true,
       {settings::kPasswordsDifferMessage},
       true},
      {"different",
       {settings::kEveryone, true, "anna", "s3cret", "s3cre"},
       false,
       {settings::kPasswordsDifferMessage},
       false},
      {"a colon",
       {settings::kEveryone, true, "an:na", "p", "p"},
       false,
       {settings::kUserNameMessage},
       false},
      {"no user name",
       {settings::kEveryone, true, "", "p", "p"},
       false,
       {settings::kEmptyUserMessage},
       false},
      {"a password too long for yescrypt",
       {settings::kEveryone, true, "anna", std::string(512, 'p'), std::string(512, 'p')},
       false,
       {settings::kLongPasswordMessage},
       false},
      {"long and empty",
       {settings::kEveryone, true, long65, "", ""},
       false,
       {settings::kUserNameMessage, settings::kEmptyPasswordMessage},
       false},
  };
  for (const Case& c : cases) {
    settings::ServerSettings settings;
    std::string before;
    if (c.hadPassword) {
      ASSERT_TRUE(platform::HashPassword("old", before));
      settings.viewuser = "old";
      settings.viewpass = before;
    }
    EXPECT_EQ(settings::ReadAccessTexts(c.texts, settings), c.messages) << c.what;
    EXPECT_EQ(!settings.viewpass.empty(), c.asks) << c.what;
    if (!c.messages.empty()) {
      EXPECT_EQ(settings.viewpass, before) << c.what << ": nothing changed";
      EXPECT_EQ(settings.access, settings::kEveryone) << c.what;
      continue;
    }
    EXPECT_EQ(settings.access, c.texts.scope) << c.what;
    EXPECT_EQ(settings.viewuser, c.asks ? c.texts.user : "") << c.what;
    if (c.asks && !c.texts.password.empty()) {
      EXPECT_TRUE(platform::PasswordMatches(c.texts.password, settings.viewpass)) << c.what;
      EXPECT_EQ(settings.viewpass.find(c.texts.password), std::string::npos) << c.what;
    }
    EXPECT_TRUE(settings::IsViewPass(settings.viewpass)) << c.what;
  }
}

TEST(AccessValues, TheDialogOpensWithoutThePasswordAndTheScopeWordsRead) {
  settings::ServerSettings settings;
  settings.access = settings::kLocalNetwork;
  settings.viewuser = "anna";
  ASSERT_TRUE(platform::HashPassword("s3cret", settings.viewpass));
  const AccessTexts texts = settings::AccessTextsFrom(settings);
  EXPECT_EQ(texts.scope, settings::kLocalNetwork);
  EXPECT_TRUE(texts.askPassword);
  EXPECT_EQ(texts.user, "anna");
  EXPECT_EQ(texts.password, "");
  uint32_t scope = 9;
  for (auto [word, value] : {std::pair{"everyone", 0u}, {"local", 1u}, {"computer", 2u}}) {
    EXPECT_TRUE(settings::ReadScopeWord(word, scope)) << word;
    EXPECT_EQ(scope, value) << word;
  }
  EXPECT_FALSE(settings::ReadScopeWord("Local", scope));
  EXPECT_FALSE(settings::ReadScopeWord("", scope));
}

}  // namespace
