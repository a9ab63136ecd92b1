// Stands in for a password store's hashing: libxcrypt's yescrypt
// (crypt_gensalt_rn("$y$", ...) and crypt_rn). Promises hashes that hold no
// password, a fresh random salt each time, and checks whose time does not
// depend on where a wrong password differs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The longest password yescrypt takes, in bytes.
constexpr size_t kPasswordMost = 511;

// A new "$y$..." hash of `password`; false when the system gave no salt.
[[nodiscard]] bool HashPassword(const std::string& password, std::string& hash);

// True when `password` hashes to `hash` (one yescrypt computation).
[[nodiscard]] bool PasswordMatches(const std::string& password, const std::string& hash);

// A well-formed yescrypt hash, as HashPassword makes them.
bool IsPasswordHash(std::string_view text);

// Equal texts, compared in a time that depends on their lengths alone.
bool SameText(std::string_view a, std::string_view b);

// `count` bytes from the kernel's random source; false when it fails.
[[nodiscard]] bool RandomBytes(void* into, size_t count);

}  // namespace platform
