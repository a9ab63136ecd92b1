#include "server/gatekeeper.h"

#include <algorithm>
#include <cstring>

#include "platform/clock.h"
#include "platform/password_hash.h"
#include "settings/server_settings.h"

namespace server {

namespace {

using platform::IpAddress;

struct Network {
  IpAddress address;
  int bits;
};

IpAddress V6(std::initializer_list<uint8_t> leading) {
  IpAddress address;
  size_t i = 0;
  for (uint8_t byte : leading) address.bytes[i++] = byte;
  return address;
}

// The networks no one outside a site can reach it from.
const Network kPrivate[] = {
    {IpAddress::V4(10, 0, 0, 0), 96 + 8},
    {IpAddress::V4(172, 16, 0, 0), 96 + 12},
    {IpAddress::V4(192, 168, 0, 0), 96 + 16},
    {IpAddress::V4(169, 254, 0, 0), 96 + 16},
    {IpAddress::V4(100, 64, 0, 0), 96 + 10},
    {V6({0xfc}), 7},
    {V6({0xfe, 0x80}), 10},
};

template <size_t N>
bool InAny(const IpAddress& peer, const Network (&networks)[N]) {
  for (const Network& network : networks)
    if (peer.Within(network.address, network.bits)) return true;
  return false;
}

uint64_t Rotl(uint64_t x, int b) { return x << b | x >> (64 - b); }

int DecodedSextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    const size_t length = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 0;
    if (length == 0 || i + length > text.size() || (length == 2 && c < 0xc2) || c > 0xf4)
      return false;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xc0) != 0x80) return false;
    i += length;
  }
  return true;
}

std::string Latin1ToUtf8(std::string_view text) {
  std::string utf8;
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 0x80) {
      utf8 += ch;
    } else {
      utf8 += static_cast<char>(0xc0 | c >> 6);
      utf8 += static_cast<char>(0x80 | (c & 0x3f));
    }
  }
  return utf8;
}

constexpr size_t kRememberedMost = 1024;
constexpr size_t kFailuresMost = 4096;

}  // namespace

uint64_t SipHash(const uint64_t key[2], std::string_view text) {
  uint64_t v0 = 0x736f6d6570736575ULL ^ key[0], v1 = 0x646f72616e646f6dULL ^ key[1];
  uint64_t v2 = 0x6c7967656e657261ULL ^ key[0], v3 = 0x7465646279746573ULL ^ key[1];
  auto round = [&] {
    v0 += v1;
    v1 = Rotl(v1, 13) ^ v0;
    v0 = Rotl(v0, 32);
    v2 += v3;
    v3 = Rotl(v3, 16) ^ v2;
    v0 += v3;
    v3 = Rotl(v3, 21) ^ v0;
    v2 += v1;
    v1 = Rotl(v1, 17) ^ v2;
    v2 = Rotl(v2, 32);
  };
  auto absorb = [&](uint64_t m) {
    v3 ^= m;
    round();
    round();
    v0 ^= m;
  };
  size_t at = 0;
  for (; at + 8 <= text.size(); at += 8) {
    uint64_t m = 0;
    for (int i = 7; i >= 0; --i)
      m = m << 8 | static_cast<uint8_t>(text[at + static_cast<size_t>(i)]);
    absorb(m);
  }
  uint64_t last = static_cast<uint64_t>(text.size()) << 56;
  for (size_t i = 0; at + i < text.size(); ++i)
    last |= static_cast<uint64_t>(static_cast<uint8_t>(text[at + i])) << (8 * i);
  absorb(last);
  v2 ^= 0xff;
  for (int i = 0; i < 4; ++i) round();
  return v0 ^ v1 ^ v2 ^ v3;
}

bool ReadBasicCredentials(std::string_view authorization, std::string& user,
                          std::string& password) {
  constexpr std::string_view kScheme = "basic ";
  if (authorization.size() <= kScheme.size()) return false;
  for (size_t i = 0; i < kScheme.size(); ++i)
    if ((authorization[i] | 0x20) != kScheme[i]) return false;
  std::string_view encoded = authorization.substr(kScheme.size());
  while (!encoded.empty() && encoded.front() == ' ') encoded.remove_prefix(1);
  // Base64 as RFC 4648 has it, and nothing behind it: its padding (when
  // there is any) makes whole groups of four, and the bits that fill the
  // last byte are zero.
  const size_t data = std::min(encoded.find('='), encoded.size());
  const size_t padding = encoded.size() - data;
  if (data == 0 || data % 4 == 1 || padding > 2 ||
      encoded.find_first_not_of('=', data) != std::string_view::npos ||
      (padding > 0 && encoded.size() % 4 != 0))
    return false;
  std::string decoded;
  uint32_t bits = 0;
  int held = 0;
  for (char c : encoded.substr(0, data)) {
    const int sextet = DecodedSextet(c);
    if (sextet < 0) return false;
    bits = bits << 6 | static_cast<uint32_t>(sextet);
    held += 6;
    if (held >= 8) {
      held -= 8;
      decoded += static_cast<char>(bits >> held & 0xff);
    }
  }
  if ((bits & ((1u << held) - 1)) != 0) return false;
  if (decoded.find('\0') != std::string::npos) return false;
  // Browsers send UTF-8; Python's requests, aiohttp and libsoup send
  // Latin-1, which is never valid UTF-8 once it holds a letter past ASCII.
  if (!IsUtf8(decoded)) decoded = Latin1ToUtf8(decoded);
  const size_t colon = decoded.find(':');
  if (colon == std::string::npos) return false;
  user = decoded.substr(0, colon);
  password = decoded.substr(colon + 1);
  return true;
}

Gatekeeper::Gatekeeper(std::function<int64_t()> clock)
    : clock_(clock ? std::move(clock) : std::function<int64_t()>(platform::SteadyMillis)) {
  if (!platform::RandomBytes(tagKey_, sizeof tagKey_)) {
    // No random key: every tag is then unique to this object's address and
    // the clock, which is still no text a reader could use.
    tagKey_[0] = reinterpret_cast<uintptr_t>(this);
    tagKey_[1] = static_cast<uint64_t>(clock_());
  }
}

void Gatekeeper::SetRules(uint32_t scope, const std::string& user, const std::string& hash) {
  platform::MutexLock lock(mutex_);
  const uint64_t generation = generation_.load() + 1;
  if (user != user_ || hash != hash_) {
    passwordSince_ = generation;
    remembered_.clear();
  }
  scope_ = scope;
  user_ = user;
  hash_ = hash;
  asksPassword_.store(!hash.empty());
  generation_.store(generation);
}

void Gatekeeper::SetLocalNetworks(std::vector<platform::Subnet> networks) {
  platform::MutexLock lock(mutex_);
  local_ = std::move(networks);
  localReadAt_ = clock_();
}

void Gatekeeper::FollowLocalNetworks(std::function<std::vector<platform::Subnet>()> read) {
  platform::MutexLock lock(mutex_);
  readLocal_ = std::move(read);
  local_ = readLocal_();
  localReadAt_ = clock_();
}

bool Gatekeeper::InLocalNetworks(const IpAddress& peer) const {
  for (const platform::Subnet& subnet : local_)
    if (peer.Within(subnet.network, subnet.bits)) return true;
  return false;
}

bool Gatekeeper::InScope(const IpAddress& peer) const {
  if (scope_ == settings::kEveryone || peer.IsLoopback()) return true;
  if (scope_ != settings::kLocalNetwork) return false;
  if (InAny(peer, kPrivate)) return true;
  constexpr int64_t kRecheckMs = 1000, kStaleMs = 10'000;
  bool in = InLocalNetworks(peer);
  const int64_t now = clock_();
  if (readLocal_ && now - localReadAt_ >= (in ? kStaleMs : kRecheckMs)) {
    local_ = readLocal_();
    localReadAt_ = now;
    in = InLocalNetworks(peer);
  }
  return in;
}

bool Gatekeeper::MayConnect(const IpAddress& peer) const {
  platform::MutexLock lock(mutex_);
  return InScope(peer);
}

bool Gatekeeper::StillAllowed(const IpAddress& peer, uint64_t admitted) const {
  platform::MutexLock lock(mutex_);
  return InScope(peer) && (hash_.empty() || passwordSince_ <= admitted);
}

Gatekeeper::AddressKey Gatekeeper::KeyOf(const IpAddress& peer) {
  // Every loopback address is this machine, and so is every peer behind a
  // proxy on it: a guesser can't get round its lock by turning through
  // 127.0.0.0/8.
  if (peer.IsLoopback()) return IpAddress::V4(127, 0, 0, 1).bytes;
  AddressKey key = peer.bytes;
  // An IPv6 address counts as its /64: one host holds a whole one.
  if (!peer.IsV4()) std::fill(key.begin() + 8, key.end(), 0);
  return key;
}

uint64_t Gatekeeper::Tag(std::string_view authorization) const {
  return SipHash(tagKey_, authorization);
}

void Gatekeeper::NoteFailure(const AddressKey& key, int64_t now) {
  if (failures_.size() >= kFailuresMost) {
    std::erase_if(failures_, [now](const auto& entry) {
      return entry.second.lockedUntil <= now &&
             (entry.second.times.empty() || entry.second.times.back() + kFailureWindowMs <= now);
    });
    if (failures_.size() >= kFailuresMost) failures_.erase(failures_.begin());
  }
  allFailures_.push_back(now);
  Failures& failures = failures_[key];
  std::erase_if(failures.times, [now](int64_t at) { return at + kFailureWindowMs <= now; });
  failures.times.push_back(now);
  if (static_cast<int>(failures.times.size()) >= kFailuresAllowed) {
    failures.lockedUntil = now + kFailureWindowMs;
    failures.times.clear();
  }
}

int64_t Gatekeeper::AllLockedUntil(int64_t now) const {
  while (!allFailures_.empty() && allFailures_.front() + kAllFailuresWindowMs <= now)
    allFailures_.pop_front();
  if (static_cast<int>(allFailures_.size()) < kAllFailuresAllowed) return 0;
  // Open again once enough of them are an hour old.
  return allFailures_[allFailures_.size() - kAllFailuresAllowed] + kAllFailuresWindowMs;
}

bool Gatekeeper::Guessing() const {
  platform::MutexLock lock(mutex_);
  return AllLockedUntil(clock_()) != 0;
}

Gatekeeper::Verdict Gatekeeper::Check(const IpAddress& peer, std::string_view authorization) {
  const Verdict screened = Screen(peer, authorization);
  return screened == Verdict::kVerify ? Verify(peer, authorization) : screened;
}

Gatekeeper::Verdict Gatekeeper::Screen(const IpAddress& peer, std::string_view authorization) {
  const uint64_t tag = authorization.empty() ? 0 : Tag(authorization);
  platform::MutexLock lock(mutex_);
  if (hash_.empty()) return Verdict::kPass;
  const int64_t now = clock_();
  // A viewer let in goes on, even from an address (a NAT, a proxy) a
  // guesser shares; one that keeps asking (a snapshot poller) stays known.
  if (auto r = remembered_.find(tag); tag != 0 && r != remembered_.end() && r->second > now) {
    r->second = now + kRememberedMs;
    return Verdict::kPass;
  }
  if (auto f = failures_.find(KeyOf(peer)); f != failures_.end() && f->second.lockedUntil > now)
    return Verdict::kLockedOut;
  if (authorization.empty()) return Verdict::kAskPassword;  // no failure: not yet asked
  if (AllLockedUntil(now) != 0) return Verdict::kLockedOut;
  return Verdict::kVerify;
}

Gatekeeper::Verdict Gatekeeper::Verify(const IpAddress& peer, std::string_view authorization) {
  std::string user, hash;
  uint64_t generation = 0;
  {
    platform::MutexLock lock(mutex_);
    if (hash_.empty()) return Verdict::kPass;
    user = user_;
    hash = hash_;
    generation = generation_.load();
  }
  // The one slow step, outside the lock: other requests go on meanwhile.
  std::string givenUser, givenPassword;
  const bool read = ReadBasicCredentials(authorization, givenUser, givenPassword);
  const bool userOk = read && platform::SameText(givenUser, user);
  const bool passwordOk = platform::PasswordMatches(read ? givenPassword : std::string(), hash);
  std::fill(givenPassword.begin(), givenPassword.end(), '\0');
  platform::MutexLock lock(mutex_);
  const int64_t now = clock_();
  if (userOk && passwordOk) {
    if (generation == generation_.load()) {
      if (remembered_.size() >= kRememberedMost) remembered_.clear();
      remembered_[Tag(authorization)] = now + kRememberedMs;
    }
    return Verdict::kPass;
  }
  NoteFailure(KeyOf(peer), now);
  return Verdict::kAskPassword;
}

int64_t Gatekeeper::RetryAfterSeconds(const IpAddress& peer) const {
  platform::MutexLock lock(mutex_);
  const int64_t now = clock_();
  const auto f = failures_.find(KeyOf(peer));
  const int64_t until =
      std::max(f == failures_.end() ? 0 : f->second.lockedUntil, AllLockedUntil(now));
  const int64_t left = until - now;
  return left > 1000 ? (left + 999) / 1000 : 1;
}

}  // namespace server
