#include "platform/password_hash.h"

#include <crypt.h>
#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace platform {

bool RandomBytes(void* into, size_t count) {
  auto* bytes = static_cast<uint8_t*>(into);
  while (count > 0) {
    const ssize_t n = ::getrandom(bytes, count, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

bool SameText(std::string_view a, std::string_view b) {
  unsigned char differ = a.size() == b.size() ? 0 : 1;
  const size_t n = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < n; ++i) differ |= static_cast<unsigned char>(a[i] ^ b[i]);
  return differ == 0;
}

bool IsPasswordHash(std::string_view text) {
  if (text.size() < 8 || text.size() >= CRYPT_OUTPUT_SIZE || text.substr(0, 3) != "$y$")
    return false;
  for (char c : text)
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7f)
      return false;
  return true;
}

bool HashPassword(const std::string& password, std::string& hash) {
  char entropy[32];
  char setting[CRYPT_GENSALT_OUTPUT_SIZE];
  if (!RandomBytes(entropy, sizeof entropy) ||
      !::crypt_gensalt_rn("$y$", 0, entropy, sizeof entropy, setting, sizeof setting))
    return false;
  crypt_data data{};
  const char* made = ::crypt_rn(password.c_str(), setting, &data, sizeof data);
  const bool ok = made && made[0] == '$';
  if (ok) hash = made;
  std::memset(&data, 0, sizeof data);  // it held the password
  return ok;
}

bool PasswordMatches(const std::string& password, const std::string& hash) {
  if (!IsPasswordHash(hash)) return false;
  crypt_data data{};
  const char* made = ::crypt_rn(password.c_str(), hash.c_str(), &data, sizeof data);
  const bool same = made && made[0] == '$' && SameText(made, hash);
  std::memset(&data, 0, sizeof data);
  return same;
}

}  // namespace platform
