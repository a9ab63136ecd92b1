#pragma once

#include <memory>
#include <string>

#include "platform/tls.h"
#include "settings/server_settings.h"

namespace server {

// The server's own certificate and key, made at its first start with TLS
// and kept beside the settings file.
constexpr char kOwnCertificateFile[] = "https-cert.pem";
constexpr char kOwnKeyFile[] = "https-key.pem";

// Said when TLS can't start, with what is wrong (naming the file) for %s.
constexpr char kCertificateMessage[] =
    "The server can't start HTTPS: %s.\n"
    "Name a certificate and its key with owlglance-server --certificate, or go back to the "
    "server's own with --certificate own.";

struct TlsChoice {
  std::shared_ptr<platform::TlsContext> context;  // null: plain HTTP alone
  std::string problem;                            // why there is none though https is 1
};

// The TLS a start serves with, read afresh: none when https is 0; the
// certificate and key tlscert and tlskey name; or else the server's own in
// `folder`, made there when it is missing or can't be read.
TlsChoice ChooseTls(const settings::ServerSettings& settings, const std::string& folder);

}  // namespace server
