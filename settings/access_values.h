#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/server_settings.h"

namespace settings {

// What the Access dialog's controls hold.
struct AccessTexts {
  uint32_t scope = kEveryone;  // the radio button chosen: an Access value
  bool askPassword = false;    // "Ask for a password"
  std::string user, password, confirm;
};

constexpr char kEmptyPasswordMessage[] =
    "Type the password twice, or untick \"Ask for a password\".";
constexpr char kPasswordsDifferMessage[] = "The two passwords are not the same.";
constexpr char kUserNameMessage[] = "The user name may have up to 64 bytes, and no colon (:).";
constexpr char kEmptyUserMessage[] = "Type the user name that goes with the password.";
constexpr char kLongPasswordMessage[] = "The password may have up to 511 bytes.";
constexpr char kNoHashMessage[] =
    "The password could not be stored: the system gave no random bytes for it.";

// The texts the dialog opens with: the password fields empty, for the
// password itself is never kept.
AccessTexts AccessTextsFrom(const ServerSettings& settings);

// OK's reading and checking: the messages in order, and only when there is
// none do `settings` take the scope, the user name and the password's hash.
// Ticked with both password fields empty keeps the password there is; the
// box unticked removes it.
std::vector<std::string> ReadAccessTexts(const AccessTexts& texts, ServerSettings& settings);

// "everyone", "local" or "computer", as owlglance-server --access takes them.
bool ReadScopeWord(std::string_view word, uint32_t& scope);

}  // namespace settings
