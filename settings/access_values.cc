#include "settings/access_values.h"

#include "platform/password_hash.h"

namespace settings {

AccessTexts AccessTextsFrom(const ServerSettings& settings) {
  AccessTexts texts;
  texts.scope = settings.access;
  texts.askPassword = !settings.viewpass.empty();
  texts.user = settings.viewuser;
  return texts;
}

std::vector<std::string> ReadAccessTexts(const AccessTexts& texts, ServerSettings& settings) {
  std::vector<std::string> messages;
  if (texts.askPassword) {
    if (texts.user.empty()) {
      messages.emplace_back(kEmptyUserMessage);
    } else if (!IsViewUser(texts.user)) {
      messages.emplace_back(kUserNameMessage);
    }
    const bool keep = texts.password.empty() && texts.confirm.empty() && !settings.viewpass.empty();
    if (!keep && texts.password.empty()) {
      messages.emplace_back(kEmptyPasswordMessage);
    } else if (texts.password.size() > platform::kPasswordMost) {
      messages.emplace_back(kLongPasswordMessage);
    } else if (texts.password != texts.confirm) {
      messages.emplace_back(kPasswordsDifferMessage);
    }
  }
  if (!messages.empty()) return messages;
  std::string hash = texts.askPassword ? settings.viewpass : std::string();
  if (texts.askPassword && !texts.password.empty() && !platform::HashPassword(texts.password, hash))
    return {kNoHashMessage};
  settings.access = texts.scope <= kThisComputer ? texts.scope : kEveryone;
  settings.viewuser = texts.askPassword ? texts.user : std::string();
  settings.viewpass = hash;
  return messages;
}

bool ReadScopeWord(std::string_view word, uint32_t& scope) {
  constexpr std::pair<std::string_view, uint32_t> kWords[] = {
      {"everyone", kEveryone}, {"local", kLocalNetwork}, {"computer", kThisComputer}};
  for (const auto& [name, value] : kWords)
    if (word == name) {
      scope = value;
      return true;
    }
  return false;
}

}  // namespace settings
