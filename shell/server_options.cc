#include "shell/server_options.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry.h"
#include "platform/running_mark.h"
#include "platform/terminal.h"
#include "platform/tls.h"
#include "settings/access_values.h"
#include "settings/settings_store.h"

namespace shell {

namespace {

constexpr const char* kScopeNames[] = {"everyone who can reach this computer",
                                       "only this local network", "only this computer"};

int Fail(const std::string& message) {
  std::fprintf(stderr, "owlglance-server: %s\n", message.c_str());
  return 1;
}

// Loads the settings, lets `change` change them, saves them and reads them
// back; 0 when what was saved is what was meant.
template <typename Change>
int ChangeSettings(Change change) {
  settings::ServerSettings settings;
  const settings::SettingsFound found = settings::LoadSettings(settings);
  if (!found.unreadable.empty()) return Fail(found.Message());
  if (!found.keptAs.empty())
    std::fprintf(stderr, "owlglance-server: %s\n", found.Message().c_str());
  if (int failed = change(settings)) return failed;
  settings::SaveSettings(settings);
  settings::ServerSettings saved;
  static_cast<void>(settings::LoadSettings(saved));
  if (saved.access != settings.access || saved.viewuser != settings.viewuser ||
      saved.viewpass != settings.viewpass || saved.https != settings.https ||
      saved.tlscert != settings.tlscert || saved.tlskey != settings.tlskey)
    return Fail("the settings could not be saved in " + platform::RegistryFile() + ".");
  return 0;
}

// When a setting the running server takes at once applies: the options
// say "from now on" only when it is true.
const char* When() {
  return platform::RunningMark::IsHeld(ServerMarkFile()) ? "from now on" : "from the next start";
}

}  // namespace

std::string ServerMarkFile() {
  return std::filesystem::path(platform::RegistryFile()).replace_filename("server.running");
}

int SetAccessOption(std::string_view word) {
  uint32_t scope = 0;
  if (!settings::ReadScopeWord(word, scope))
    return Fail("--access takes everyone, local or computer.");
  return ChangeSettings([&](settings::ServerSettings& settings) {
    settings.access = scope;
    std::fprintf(stderr, "owlglance-server: who may watch %s: %s.\n", When(), kScopeNames[scope]);
    return 0;
  });
}

int SetHttpsOption(std::string_view word) {
  if (word != "on" && word != "off") return Fail("--https takes on or off.");
  return ChangeSettings([&](settings::ServerSettings& settings) {
    settings.https = word == "on" ? 1 : 0;
    std::fprintf(stderr, "owlglance-server: %s from the next start.\n",
                 settings.https ? "HTTPS beside HTTP" : "plain HTTP alone");
    return 0;
  });
}

int SetCertificateOption(const std::string& cert, const std::string& key) {
  std::error_code ignored;
  const std::string certPath =
      cert.empty() ? "" : std::filesystem::absolute(cert, ignored).lexically_normal().string();
  const std::string keyPath =
      key.empty() ? "" : std::filesystem::absolute(key, ignored).lexically_normal().string();
  std::string why;
  if (!certPath.empty() && !platform::TlsContext::Load(certPath, keyPath, why))
    return Fail(why + ".");
  if (!settings::IsFolderPath(certPath) || !settings::IsFolderPath(keyPath))
    return Fail("a path too long, or with a control character, can't be kept.");
  return ChangeSettings([&](settings::ServerSettings& settings) {
    settings.tlscert = certPath;
    settings.tlskey = keyPath;
    if (certPath.empty())
      std::fprintf(
          stderr,
          "owlglance-server: HTTPS uses the server's own certificate from the next start.\n");
    else
      std::fprintf(stderr, "owlglance-server: HTTPS uses %s from the next start.\n",
                   certPath.c_str());
    return 0;
  });
}

int NoPasswordOption() {
  return ChangeSettings([](settings::ServerSettings& settings) {
    settings.viewpass.clear();
    std::fprintf(stderr, "owlglance-server: no password is asked %s.\n", When());
    return 0;
  });
}

int SetPasswordOption() {
  settings::AccessTexts texts;
  texts.askPassword = true;
  const bool terminal = platform::InputIsTerminal();
  if (terminal) std::fputs("User name: ", stderr);
  if (!platform::ReadInputLine(texts.user, false)) return Fail("no user name was given.");
  if (terminal) std::fputs("Password: ", stderr);
  if (!platform::ReadInputLine(texts.password, true)) return Fail("no password was given.");
  texts.confirm = texts.password;
  if (terminal) {
    std::fputs("Password again: ", stderr);
    if (!platform::ReadInputLine(texts.confirm, true)) return Fail("no password was given.");
  }
  return ChangeSettings([&](settings::ServerSettings& settings) {
    // A new password is always typed here: none is kept from before.
    settings.viewpass.clear();
    const uint32_t scope = settings.access;
    texts.scope = scope;
    const std::vector<std::string> messages = settings::ReadAccessTexts(texts, settings);
    std::fill(texts.password.begin(), texts.password.end(), '\0');
    std::fill(texts.confirm.begin(), texts.confirm.end(), '\0');
    if (!messages.empty()) return Fail(messages.front());
    std::fprintf(stderr, "owlglance-server: a password is asked %s, as user \"%s\".\n", When(),
                 settings.viewuser.c_str());
    return 0;
  });
}

}  // namespace shell
