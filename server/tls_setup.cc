#include "server/tls_setup.h"

#include <unistd.h>

#include <algorithm>

#include "platform/interfaces.h"

namespace server {

namespace {

// The names a browser on this computer or the network may reach it by.
void OwnNames(std::vector<std::string>& hostNames, std::vector<std::string>& addresses) {
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0 && host[0]) hostNames.emplace_back(host);
  hostNames.emplace_back("localhost");
  addresses = platform::InterfaceAddressTexts();
  for (const char* loopback : {"127.0.0.1", "::1"})
    if (std::find(addresses.begin(), addresses.end(), loopback) == addresses.end())
      addresses.emplace_back(loopback);
}

}  // namespace

TlsChoice ChooseTls(const settings::ServerSettings& settings, const std::string& folder) {
  TlsChoice choice;
  if (!settings.https) return choice;
  if (!settings.tlscert.empty() || !settings.tlskey.empty()) {
    if (settings.tlscert.empty() || settings.tlskey.empty()) {
      choice.problem = "tlscert and tlskey name a certificate and its key together";
      return choice;
    }
    choice.context = platform::TlsContext::Load(settings.tlscert, settings.tlskey, choice.problem);
    return choice;
  }
  const std::string cert = folder + "/" + kOwnCertificateFile;
  const std::string key = folder + "/" + kOwnKeyFile;
  std::string why;
  choice.context = platform::TlsContext::Load(cert, key, why);
  if (choice.context) return choice;
  // The server's own files: missing, or damaged, they are made again.
  std::vector<std::string> hostNames, addresses;
  OwnNames(hostNames, addresses);
  if (platform::MakeSelfSignedCertificate(cert, key, hostNames, addresses, choice.problem))
    choice.context = platform::TlsContext::Load(cert, key, choice.problem);
  return choice;
}

}  // namespace server
