#include "share/share_links.h"

#include <qrencode.h>

#include <algorithm>
#include <memory>

#include "platform/interfaces.h"
#include "server/request_route.h"

namespace share {

std::vector<std::string> ShareAddresses() {
  std::vector<std::string> dotted = platform::InterfaceAddressTexts();
  // Loopback last: a phone can't reach it.
  std::stable_partition(dotted.begin(), dotted.end(),
                        [](const std::string& address) { return !address.starts_with("127."); });
  return dotted;
}

std::string BaseUrl(const std::string& address, uint32_t port, bool secure) {
  std::string base = (secure ? "https://" : "http://") + address;
  if (port != (secure ? 443u : 80u)) {
    base += ':';
    base += std::to_string(port);
  }
  return base;
}

std::string CertificateText(const std::string& fingerprint) {
  if (fingerprint.empty()) return {};
  // "AB:" a byte: the line breaks after the colon that ends the first half.
  const size_t half = (fingerprint.size() + 1) / 3 / 2 * 3;
  return "Certificate (SHA-256):\n" + fingerprint.substr(0, half) + "\n" + fingerprint.substr(half);
}

bool PrefersHttps(const settings::ServerSettings& settings) {
  return settings.https != 0 && !settings.viewpass.empty();
}

ShareLinks LinksFor(const std::string& address, uint32_t port, const std::string& streamUrl,
                    bool secure, int camera) {
  const std::string base = BaseUrl(address, port, secure);
  if (camera > 0)
    return {base + "/", base + server::CameraStreamPath(camera),
            base + server::CameraSnapshotPath(camera)};
  return {base + "/", base + streamUrl, base + server::kSnapshotPath};
}

QrMatrix QrCodeFor(const std::string& text) {
  QrMatrix matrix;
  std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
      QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), QRcode_free);
  if (!code) return matrix;
  matrix.size = code->width;
  matrix.dark.resize(static_cast<size_t>(code->width) * static_cast<size_t>(code->width));
  for (size_t i = 0; i < matrix.dark.size(); ++i) matrix.dark[i] = (code->data[i] & 1) != 0;
  return matrix;
}

QrPicture DrawQrCode(const QrMatrix& code, int minimum) {
  constexpr int kQuietZone = 4;
  QrPicture picture;
  if (code.size == 0) return picture;
  const int modules = code.size + 2 * kQuietZone;
  const int module = (minimum + modules - 1) / modules;
  picture.width = modules * module;
  picture.rgb.assign(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.width) * 3,
                     255);
  for (int y = 0; y < code.size; ++y)
    for (int x = 0; x < code.size; ++x) {
      if (!code.Dark(x, y)) continue;
      for (int py = 0; py < module; ++py) {
        size_t row = static_cast<size_t>((y + kQuietZone) * module + py) * picture.width;
        size_t at = (row + static_cast<size_t>((x + kQuietZone) * module)) * 3;
        std::fill_n(picture.rgb.begin() + static_cast<long>(at), module * 3, 0);
      }
    }
  return picture;
}

}  // namespace share
