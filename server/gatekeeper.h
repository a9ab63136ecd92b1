#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ip_address.h"
#include "platform/thread_annotations.h"

namespace server {

// Who may watch: the scope of peers that may connect at all, and the
// password every request must carry when one is set. Shared by the
// user-interface thread (which sets the rules), the listener and every
// session; thread-safe.
class Gatekeeper {
 public:
  // What a request's Authorization header earns it.
  enum class Verdict {
    kPass,
    kAskPassword,  // 401: none given, or a wrong one
    kLockedOut,    // 429: too many wrong ones from this address, or from all, lately
    kVerify,       // Screen's alone: only Verify can tell
  };

  static constexpr int kFailuresAllowed = 5;            // within kFailureWindowMs
  static constexpr int64_t kFailureWindowMs = 600'000;  // and then locked out this long
  static constexpr int64_t kRememberedMs = 600'000;     // a verified header counts this long unused
  // Wrong passwords from all addresses together within kAllFailuresWindowMs
  // past which no new header is verified: a guesser with many addresses
  // (a whole /64, a botnet) gets no more tries than this an hour.
  static constexpr int kAllFailuresAllowed = 30;
  static constexpr int64_t kAllFailuresWindowMs = 3'600'000;

  // `clock` gives milliseconds; tests pass their own.
  explicit Gatekeeper(std::function<int64_t()> clock = {});

  // The rules, as the settings hold them (scope an Access value, `hash`
  // yescrypt's or empty for no password). They apply to the next
  // connection at once, and to running streams through StillAllowed.
  void SetRules(uint32_t scope, const std::string& user, const std::string& hash)
      OWL_EXCLUDES(mutex_);
  // This machine's own networks, for the local-network scope.
  void SetLocalNetworks(std::vector<platform::Subnet> networks) OWL_EXCLUDES(mutex_);
  // Reads them again with `read` as the interfaces come and go (a laptop
  // that joins a network after the start): before a peer is refused, at
  // most once a second, and when the networks let one in were read more
  // than ten seconds ago.
  void FollowLocalNetworks(std::function<std::vector<platform::Subnet>()> read)
      OWL_EXCLUDES(mutex_);

  // Whether a peer may connect at all; asked right after accept.
  bool MayConnect(const platform::IpAddress& peer) const OWL_EXCLUDES(mutex_);
  bool AsksPassword() const { return asksPassword_.load(); }
  // Checks a request's Authorization header (empty when it has none). A
  // header verified before passes, from any address. A wrong password
  // counts against the peer's address (loopback's all one, an IPv6
  // address's /64) and against all; a locked-out address, or any new header
  // while all have spent their budget, gets kLockedOut at once, without any
  // verification.
  Verdict Check(const platform::IpAddress& peer, std::string_view authorization)
      OWL_EXCLUDES(mutex_);
  // Check in two steps, for a caller that must not wait: Screen answers at
  // once all it can (no password asked, a locked-out address, no header, a
  // header verified before) and kVerify for the rest, which Verify settles
  // with the slow hash on a thread that may wait.
  Verdict Screen(const platform::IpAddress& peer, std::string_view authorization)
      OWL_EXCLUDES(mutex_);
  Verdict Verify(const platform::IpAddress& peer, std::string_view authorization)
      OWL_EXCLUDES(mutex_);
  // Whether the wrong passwords from all addresses have spent their budget:
  // someone is guessing.
  bool Guessing() const OWL_EXCLUDES(mutex_);
  // Seconds until a locked-out peer may try again (at least 1).
  int64_t RetryAfterSeconds(const platform::IpAddress& peer) const OWL_EXCLUDES(mutex_);

  // Changes with every SetRules; a stream admitted under `admitted` asks
  // StillAllowed only when it differs.
  uint64_t Generation() const { return generation_.load(); }
  // Whether a stream admitted under generation `admitted` from `peer` may
  // go on: its peer is still in scope, and no password has been set or
  // changed since.
  bool StillAllowed(const platform::IpAddress& peer, uint64_t admitted) const OWL_EXCLUDES(mutex_);

 private:
  struct Failures {
    std::vector<int64_t> times;  // the last few wrong passwords
    int64_t lockedUntil = 0;
  };
  using AddressKey = std::array<uint8_t, 16>;

  bool InScope(const platform::IpAddress& peer) const OWL_REQUIRES(mutex_);
  bool InLocalNetworks(const platform::IpAddress& peer) const OWL_REQUIRES(mutex_);
  uint64_t Tag(std::string_view authorization) const;
  static AddressKey KeyOf(const platform::IpAddress& peer);
  void NoteFailure(const AddressKey& key, int64_t now) OWL_REQUIRES(mutex_);
  // When all addresses together may try again; 0 when they may now.
  int64_t AllLockedUntil(int64_t now) const OWL_REQUIRES(mutex_);

  std::function<int64_t()> clock_;
  uint64_t tagKey_[2] = {};  // a random key of each run's own: tags say nothing off it
  mutable platform::Mutex mutex_;
  uint32_t scope_ OWL_GUARDED_BY(mutex_) = 0;
  std::string user_ OWL_GUARDED_BY(mutex_);
  std::string hash_ OWL_GUARDED_BY(mutex_);
  // Read again as a check finds them old, hence mutable.
  mutable std::vector<platform::Subnet> local_ OWL_GUARDED_BY(mutex_);
  mutable int64_t localReadAt_ OWL_GUARDED_BY(mutex_) = 0;
  std::function<std::vector<platform::Subnet>()> readLocal_ OWL_GUARDED_BY(mutex_);
  // Generations at which a password was set or changed, and the scope.
  uint64_t passwordSince_ OWL_GUARDED_BY(mutex_) = 0;
  std::map<uint64_t, int64_t> remembered_ OWL_GUARDED_BY(mutex_);  // header tag -> until
  std::map<AddressKey, Failures> failures_ OWL_GUARDED_BY(mutex_);
  // Within kAllFailuresWindowMs; older ones drop out as it is read.
  mutable std::deque<int64_t> allFailures_ OWL_GUARDED_BY(mutex_);
  std::atomic<uint64_t> generation_{0};
  std::atomic<bool> asksPassword_{false};
};

// A request head's Basic credentials, "Basic BASE64(user:password)";
// false when the value is no such thing.
bool ReadBasicCredentials(std::string_view authorization, std::string& user, std::string& password);

// SipHash-2-4 of `text` under a 128-bit key.
uint64_t SipHash(const uint64_t key[2], std::string_view text);

}  // namespace server
