#include "server/gatekeeper.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/password_hash.h"
#include "settings/server_settings.h"

namespace {

using platform::IpAddress;
using server::Gatekeeper;
using Verdict = Gatekeeper::Verdict;

IpAddress V6(std::initializer_list<uint8_t> bytes) {
  IpAddress address;
  size_t i = 0;
  for (uint8_t byte : bytes) address.bytes[i++] = byte;
  return address;
}

TEST(Gatekeeper, EachScopeLetsInItsPeers) {
  Gatekeeper gate;
  // This machine's own network: 203.0.113.0/24 and 2001:db8:1::/64.
  gate.SetLocalNetworks({{IpAddress::V4(203, 0, 113, 7), 96 + 24},
                         {V6({0x20, 0x01, 0x0d, 0xb8, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9}), 64}});
  struct Case {
    const char* what;
    IpAddress peer;
    bool everyone, local, computer;
  };
  const Case cases[] = {
      {"127.0.0.1", IpAddress::V4(127, 0, 0, 1), true, true, true},
      {"127.9.9.9", IpAddress::V4(127, 9, 9, 9), true, true, true},
      {"::1", V6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), true, true, true},
      {"10.1.2.3", IpAddress::V4(10, 1, 2, 3), true, true, false},
      {"172.31.255.1", IpAddress::V4(172, 31, 255, 1), true, true, false},
      {"172.32.0.1", IpAddress::V4(172, 32, 0, 1), true, false, false},
      {"192.168.1.23", IpAddress::V4(192, 168, 1, 23), true, true, false},
      {"169.254.10.10", IpAddress::V4(169, 254, 10, 10), true, true, false},
      {"100.64.0.1 (CGNAT)", IpAddress::V4(100, 64, 0, 1), true, true, false},
      {"100.128.0.1", IpAddress::V4(100, 128, 0, 1), true, false, false},
      {"fd12::1 (ULA)", V6({0xfd, 0x12, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), true, true,
       false},
      {"fe80::1", V6({0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), true, true, false},
      {"203.0.113.200 (this machine's subnet)", IpAddress::V4(203, 0, 113, 200), true, true, false},
      {"203.0.114.1", IpAddress::V4(203, 0, 114, 1), true, false, false},
      {"2001:db8:1::77 (this machine's subnet)",
       V6({0x20, 0x01, 0x0d, 0xb8, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x77}), true, true, false},
      {"2001:db8:2::1", V6({0x20, 0x01, 0x0d, 0xb8, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), true,
       false, false},
      {"198.51.100.1 (public)", IpAddress::V4(198, 51, 100, 1), true, false, false},
      {"::ffff:0:7f00:1 (no mapped loopback)",
       V6({0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0, 0, 0x7f, 0, 0, 1}), true, false, false},
  };
  for (const Case& c : cases) {
    gate.SetRules(settings::kEveryone, "", "");
    EXPECT_EQ(gate.MayConnect(c.peer), c.everyone) << c.what;
    gate.SetRules(settings::kLocalNetwork, "", "");
    EXPECT_EQ(gate.MayConnect(c.peer), c.local) << c.what;
    gate.SetRules(settings::kThisComputer, "", "");
    EXPECT_EQ(gate.MayConnect(c.peer), c.computer) << c.what;
  }
}

// "Basic " and base64 of "user:password".
std::string Basic(const std::string& credentials) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out = "Basic ";
  size_t i = 0;
  for (; i + 2 < credentials.size(); i += 3) {
    const uint32_t v = static_cast<uint8_t>(credentials[i]) << 16 |
                       static_cast<uint8_t>(credentials[i + 1]) << 8 |
                       static_cast<uint8_t>(credentials[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kDigits[v >> s & 63];
  }
  if (i + 1 == credentials.size()) {
    const uint32_t v = static_cast<uint8_t>(credentials[i]) << 16;
    out += std::string{kDigits[v >> 18 & 63], kDigits[v >> 12 & 63]} + "==";
  } else if (i + 2 == credentials.size()) {
    const uint32_t v =
        static_cast<uint8_t>(credentials[i]) << 16 | static_cast<uint8_t>(credentials[i + 1]) << 8;
    out += std::string{kDigits[v >> 18 & 63], kDigits[v >> 12 & 63], kDigits[v >> 6 & 63]} + "=";
  }
  return out;
}

TEST(Gatekeeper, BasicCredentialsAreReadAsBrowsersSendThem) {
  struct Case {
    std::string header;
    bool read;
    std::string user, password;
  };
  const Case cases[] = {
      {Basic("anna:s3cret"), true, "anna", "s3cret"},
      {Basic("anna:pa:ss"), true, "anna", "pa:ss"},
      {Basic(":x"), true, "", "x"},
      {"basic " + Basic("b:c").substr(6), true, "b", "c"},
      {"Basic !!!", false, "", ""},
      {Basic("nocolon"), false, "", ""},
      {"Bearer abc", false, "", ""},
      {"Basic", false, "", ""},
      // Python's requests and libsoup: Latin-1, read as the UTF-8 typed.
      {"Basic czNjcmV0Ouk=", true, "s3cret", "\xc3\xa9"},
      {Basic("anna:\xc3\xa9"), true, "anna", "\xc3\xa9"},
      // Strict: nothing behind the base64, no NUL in it, whole groups.
      {Basic("anna:s3cret") + "x", false, "", ""},
      {Basic("anna:s3cret") + " junk", false, "", ""},
      {Basic("anna:s3cret") + std::string(100000, 'A'), false, "", ""},
      {Basic(std::string("anna:s3cret\0junk", 16)), false, "", ""},
      {"Basic YW5uYTpz=", false, "", ""},
      {"Basic YW5uYTpzMw==", true, "anna", "s3"},
      {"Basic YW5uYTpzMw", true, "anna", "s3"},
      {"Basic YW5uYTpzMx==", false, "", ""},
      {"Basic YW5uYTpzM===", false, "", ""},
  };
  for (const Case& c : cases) {
    std::string user, password;
    EXPECT_EQ(server::ReadBasicCredentials(c.header, user, password), c.read) << c.header;
    if (c.read) {
      EXPECT_EQ(user, c.user) << c.header;
      EXPECT_EQ(password, c.password) << c.header;
    }
  }
}

TEST(Gatekeeper, SipHashMatchesItsReferenceVector) {
  const uint64_t key[2] = {0x0706050403020100ULL, 0x0f0e0d0c0b0a0908ULL};
  std::string message;
  for (char c = 0; c < 15; ++c) message += c;
  EXPECT_EQ(server::SipHash(key, message), 0xa129ca6149be45e5ULL);
}

// Five wrong passwords from one address within ten minutes lock it out for
// ten minutes, the right password too, and no one else; no header is no
// failure; an IPv6 address counts as its /64.
TEST(Gatekeeper, GuessersAreLockedOutAndOthersAreNot) {
  int64_t now = 1'000'000;
  Gatekeeper gate([&] { return now; });
  std::string hash;
  ASSERT_TRUE(platform::HashPassword("s3cret", hash));
  gate.SetRules(settings::kEveryone, "anna", hash);
  const IpAddress guesser = IpAddress::V4(198, 51, 100, 9), viewer = IpAddress::V4(203, 0, 113, 5);
  const std::string right = Basic("anna:s3cret");
  // The same credentials in a header never verified before ("basic" reads
  // as "Basic").
  const std::string rightAnew = "b" + right.substr(1);

  for (int i = 0; i < 10; ++i) EXPECT_EQ(gate.Check(guesser, ""), Verdict::kAskPassword);
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(gate.Check(guesser, Basic("anna:guess")), Verdict::kAskPassword);
  EXPECT_EQ(gate.Check(guesser, right), Verdict::kPass) << "four wrong ones: not yet";
  EXPECT_EQ(gate.Check(guesser, Basic("ANNA:s3cret")), Verdict::kAskPassword) << "the name counts";
  EXPECT_EQ(gate.Check(guesser, rightAnew), Verdict::kLockedOut);
  EXPECT_EQ(gate.Check(guesser, right), Verdict::kPass) << "a viewer let in before goes on";
  EXPECT_EQ(gate.RetryAfterSeconds(guesser), 600);
  EXPECT_EQ(gate.Check(viewer, Basic("anna:s3cret")), Verdict::kPass) << "another address";
  now += 600'000 - 1;
  EXPECT_EQ(gate.Check(guesser, rightAnew), Verdict::kLockedOut);
  now += 1;
  EXPECT_EQ(gate.Check(guesser, rightAnew), Verdict::kPass) << "ten minutes on";

  // Failures spread wider than ten minutes never add up to five.
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(gate.Check(guesser, Basic("anna:x")), Verdict::kAskPassword) << i;
    now += 300'000;
  }
  const IpAddress six = V6({0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1});
  for (int i = 0; i < 5; ++i) {
    IpAddress host = six;
    host.bytes[15] = static_cast<uint8_t>(i + 2);  // another host of the same /64
    EXPECT_EQ(gate.Check(host, Basic("anna:x")), Verdict::kAskPassword);
  }
  EXPECT_EQ(gate.Check(six, "Basic  " + right.substr(6)), Verdict::kLockedOut) << "the whole /64";
}

// Every loopback address is one; and past 30 wrong passwords an hour from
// anywhere, no new header is verified for anyone, while those let in go on.
TEST(Gatekeeper, GuessersTurningThroughAddressesMeetTheBudgetOfAll) {
  int64_t now = 1'000'000;
  Gatekeeper gate([&] { return now; });
  std::string hash;
  ASSERT_TRUE(platform::HashPassword("s3cret", hash));
  gate.SetRules(settings::kEveryone, "anna", hash);
  const std::string right = Basic("anna:s3cret");
  const IpAddress viewer = IpAddress::V4(10, 0, 0, 7);
  ASSERT_EQ(gate.Check(viewer, right), Verdict::kPass);

  for (int i = 2; i < 7; ++i)
    EXPECT_EQ(gate.Check(IpAddress::V4(127, 0, static_cast<uint8_t>(i), 1), Basic("anna:x")),
              Verdict::kAskPassword);
  EXPECT_EQ(gate.Check(IpAddress::V4(127, 9, 9, 9), "basic" + right.substr(5)), Verdict::kLockedOut)
      << "loopback is one address";
  EXPECT_EQ(
      gate.Check(V6({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1}), "basic" + right.substr(5)),
      Verdict::kLockedOut)
      << "::1 too";

  // 25 more from 25 addresses, two minutes apart: 30 within the hour;
  // the viewer polls meanwhile, and its header stays known.
  for (int i = 0; i < 25; ++i) {
    EXPECT_FALSE(gate.Guessing()) << i;
    EXPECT_EQ(gate.Check(viewer, right), Verdict::kPass) << i;
    EXPECT_EQ(gate.Check(IpAddress::V4(198, 51, 100, static_cast<uint8_t>(i)), Basic("anna:y")),
              Verdict::kAskPassword);
    now += 120'000;
  }
  EXPECT_TRUE(gate.Guessing());
  const IpAddress newcomer = IpAddress::V4(10, 0, 0, 8);
  const std::string rightAnew = "basic" + right.substr(5);
  EXPECT_EQ(gate.Check(newcomer, rightAnew), Verdict::kLockedOut) << "not verified";
  EXPECT_EQ(gate.Check(newcomer, ""), Verdict::kAskPassword) << "asking costs nothing";
  EXPECT_EQ(gate.Check(viewer, right), Verdict::kPass) << "let in before";
  EXPECT_EQ(gate.Check(newcomer, right), Verdict::kPass) << "the header verified, from anywhere";
  // The budget comes back as the first ones turn an hour old (five from
  // loopback, then one every two minutes).
  const int64_t first = 1'000'000;
  EXPECT_EQ(gate.RetryAfterSeconds(newcomer), (first + 3'600'000 - now) / 1000);
  now = first + 3'600'000;
  EXPECT_FALSE(gate.Guessing());
  EXPECT_EQ(gate.Check(newcomer, rightAnew), Verdict::kPass);
}

TEST(Gatekeeper, AStreamGoesOnUnlessANewPasswordOrScopeLeavesItOut) {
  Gatekeeper gate;
  std::string hash, other;
  ASSERT_TRUE(platform::HashPassword("one", hash));
  ASSERT_TRUE(platform::HashPassword("two", other));
  const IpAddress lan = IpAddress::V4(192, 168, 1, 50);
  gate.SetRules(settings::kEveryone, "anna", hash);
  const uint64_t admitted = gate.Generation();
  gate.SetRules(settings::kLocalNetwork, "anna", hash);
  EXPECT_TRUE(gate.StillAllowed(lan, admitted)) << "a scope that still holds it";
  gate.SetRules(settings::kThisComputer, "anna", hash);
  EXPECT_FALSE(gate.StillAllowed(lan, admitted)) << "a narrower scope";
  gate.SetRules(settings::kEveryone, "anna", other);
  EXPECT_FALSE(gate.StillAllowed(lan, admitted)) << "a changed password";
  gate.SetRules(settings::kEveryone, "", "");
  EXPECT_TRUE(gate.StillAllowed(lan, admitted)) << "no password at all";
}

}  // namespace

namespace {

// A network that comes up after the start is local once a peer from it
// knocks (the interfaces read again, at most once a second), and one that
// went away stops being local within ten seconds.
TEST(Gatekeeper, TheLocalNetworksFollowTheInterfaces) {
  int64_t now = 1'000'000;
  Gatekeeper gate([&] { return now; });
  std::vector<platform::Subnet> interfaces;
  int reads = 0;
  gate.FollowLocalNetworks([&] {
    ++reads;
    return interfaces;
  });
  gate.SetRules(settings::kLocalNetwork, "", "");
  const IpAddress peer = IpAddress::V4(198, 51, 100, 9);
  struct Step {
    int64_t after;  // ms since the step before
    bool joined;    // 198.51.100.0/24 is one of the interfaces' networks
    bool allowed;
  };
  const Step steps[] = {
      {0, false, false},    {500, true, false},   // read 500 ms ago: not yet again
      {500, true, true},    {100, false, true},   // let in on a read 100 ms old
      {9'800, false, true}, {100, false, false},  // ten seconds on: read again
  };
  for (const Step& step : steps) {
    now += step.after;
    interfaces.clear();
    if (step.joined) interfaces.push_back({IpAddress::V4(198, 51, 100, 0), 96 + 24});
    EXPECT_EQ(gate.MayConnect(peer), step.allowed) << now;
  }
  EXPECT_LE(reads, 4) << "not a read a connection";
  EXPECT_TRUE(gate.MayConnect(IpAddress::V4(192, 168, 1, 2))) << "private networks need no read";
}

}  // namespace
