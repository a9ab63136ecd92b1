#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/server_settings.h"

namespace share {

// What the Share dialog shows, free of wx: the addresses a viewer can use,
// the links for one of them, and the QR code of the home page.

// This machine's IPv4 addresses in dotted form, in the order the wizard
// takes them: adapters first, loopback last.
std::vector<std::string> ShareAddresses();

// "http://ADDRESS[:PORT]", the port left out when it is 80; with `secure`,
// "https://ADDRESS[:PORT]", the port left out when it is 443.
std::string BaseUrl(const std::string& address, uint32_t port, bool secure = false);

// Whether Share shows the https:// links first, and its code opens the
// https:// home page: while a password is asked, which only TLS carries
// from another computer. Otherwise the plain page, which a phone opens
// without a warning about the server's own certificate.
bool PrefersHttps(const settings::ServerSettings& settings);

struct ShareLinks {
  std::string page;      // http://ADDRESS[:PORT]/
  std::string stream;    // http://ADDRESS[:PORT]<stream URL>
  std::string snapshot;  // http://ADDRESS[:PORT]/snapshot
};
// The certificate's fingerprint as Share shows it: a caption, then the
// fingerprint ("AB:CD:...") in two lines of half its bytes each; "" for
// none.
std::string CertificateText(const std::string& fingerprint);

// The links at `address`, each on BaseUrl; camera N's own stream and
// snapshot for `camera` past 0 (the first camera's are the stream URL and
// /snapshot).
ShareLinks LinksFor(const std::string& address, uint32_t port, const std::string& streamUrl,
                    bool secure = false, int camera = 0);

// A QR code's modules, row by row; dark ones are true. Empty when the text
// can't be encoded.
struct QrMatrix {
  int size = 0;
  std::vector<bool> dark;
  bool Dark(int x, int y) const { return dark[static_cast<size_t>(y * size + x)]; }
};
QrMatrix QrCodeFor(const std::string& text);

// The code drawn crisp for a screen: `module` pixels a module, a quiet zone
// of 4 modules around it, as packed RGB rows. `module` is the smallest
// whole number that makes the picture at least `minimum` pixels wide.
struct QrPicture {
  int width = 0;  // and height
  std::vector<uint8_t> rgb;
};
QrPicture DrawQrCode(const QrMatrix& code, int minimum);

}  // namespace share
