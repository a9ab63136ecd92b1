// Who may watch, from outside: real clients with and without the password,
// a stream that a new password ends, and peers on another network (in a
// network namespace of the test's own, on documentation addresses).
#include <atomic>
#include <filesystem>
#include <thread>

#include "capture/jpeg_encoder.h"
#include "platform/interfaces.h"
#include "platform/password_hash.h"
#include "platform/tls.h"
#include "server/connection_log.h"
#include "settings/server_settings.h"
#include "tests/support/command.h"
#include "tests/support/other_network.h"
#include "tests/support/picture_feed.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_parser.h"

namespace {

using namespace std::chrono;

class AccessTest : public ServerFixture {
 protected:
  void SetUp() override {
    feed = std::make_unique<PictureFeed>(device.frameStore);
    ASSERT_TRUE(platform::HashPassword("s3cret", hash));
  }
  void TearDown() override {
    ServerFixture::TearDown();
    feed.reset();
  }
  void AskPassword(uint32_t scope = settings::kEveryone) {
    control.gate.SetRules(scope, "anna", hash);
  }
  std::string Url(const std::string& path, const std::string& credentials = "") const {
    return "http://" + credentials + "127.0.0.1:" + std::to_string(Port()) + path;
  }

  std::string hash;
  std::unique_ptr<PictureFeed> feed;
};

TEST_F(AccessTest, EveryRequestAsksThePasswordAndRealClientsGiveIt) {
  StartListener();
  AskPassword();
  const std::string code = "curl -s -o /dev/null -w '%{http_code}' --max-time 5 ";
  struct Case {
    std::string command, expected;
  };
  const Case cases[] = {
      {code + Url("/snapshot"), "401"},
      {code + Url("/?action=snapshot"), "401"},
      {code + Url("/index.html"), "401"},
      {code + "-u anna:wrong " + Url("/snapshot"), "401"},
      {code + "-u anna:s3cret " + Url("/snapshot"), "200"},
      {code + "-u anna:s3cret " + Url("/nothing.html"), "404"},
      {"timeout 20 ffmpeg -v error -i " + Url("/video", "anna:s3cret@") +
           " -frames:v 3 -f rawvideo -pix_fmt rgb24 - | wc -c",
       std::to_string(3 * 320 * 240 * 3) + "\n"},
      {"timeout 20 ffmpeg -v error -i " + Url("/video", "anna:wrong@") +
           " -frames:v 3 -f rawvideo -pix_fmt rgb24 - 2>/dev/null | wc -c",
       "0\n"},
      // GStreamer sends the password only after the 401, as FFmpeg does.
      {"timeout 20 gst-launch-1.0 -q souphttpsrc location=" + Url("/video") +
           " user-id=anna user-pw=s3cret num-buffers=20 ! multipartdemux ! fakesink && echo played",
       "played\n"},
      {"timeout 20 gst-launch-1.0 -q souphttpsrc location=" + Url("/video") +
           " user-id=anna user-pw=wrong num-buffers=20 ! multipartdemux ! fakesink >/dev/null "
           "2>&1 || echo refused",
       "refused\n"},
      {"/usr/bin/python3 -c \"import requests; r = requests.get('" + Url("/snapshot") +
           "', auth=('anna', 's3cret'), timeout=5); print(r.status_code, "
           "r.headers['Content-Type'])\"",
       "200 image/jpeg\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(RunCommand(c.command), c.expected) << c.command;

  // The 401 as it goes on the wire.
  const std::string body = "<html><body>This camera asks for a password.</body></html>\n";
  EXPECT_EQ(Exchange(Port(), "GET /video HTTP/1.0\r\n\r\n"),
            "HTTP/1.0 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"Owlglance\", "
            "charset=\"UTF-8\"\r\nCache-Control: no-store\r\nContent-Type: text/html\r\n"
            "Content-Length: " +
                std::to_string(body.size()) + "\r\n\r\n" + body);
}

// Python's requests sends a password past ASCII as Latin-1, browsers as
// UTF-8: both are the password typed.
TEST_F(AccessTest, ALatin1PasswordFromRequestsIsThePasswordTyped) {
  StartListener();
  std::string accented;
  ASSERT_TRUE(platform::HashPassword("s3cr\xc3\xa9t", accented));
  control.gate.SetRules(settings::kEveryone, "anna", accented);
  const std::string get = "/usr/bin/python3 -c \"import requests; print(requests.get('" +
                          Url("/snapshot") +
                          "', auth=('anna', 's3cr\\u00e9t'), timeout=10)"
                          ".status_code)\"";
  EXPECT_EQ(RunCommand(get), "200\n");
  EXPECT_EQ(RunCommand("curl -s -o /dev/null -w '%{http_code}' -u 'anna:s3cr\xc3\xa9t' " +
                       Url("/snapshot")),
            "200");
}

// A guesser turning through 127.0.0.2-50 is one address, locked after five
// tries; the right user behind the same address (a proxy, a NAT) whose
// header was verified goes on.
TEST_F(AccessTest, AGuesserTurningThroughLoopbackAddressesIsLockedAndTheRightUserGoesOn) {
  StartListener();
  AskPassword();
  const std::string code = "curl -s -o /dev/null -w '%{http_code}' --max-time 5 ";
  ASSERT_EQ(RunCommand(code + "-u anna:s3cret " + Url("/snapshot")), "200");
  std::string codes;
  for (int i = 2; i <= 50; ++i) {
    codes += RunCommand(code + "--interface 127.0.0." + std::to_string(i) + " -u anna:guess" +
                        std::to_string(i) + " " + Url("/snapshot")) +
             " ";
    if (i % 10 == 0) {
      EXPECT_EQ(RunCommand(code + "-u anna:s3cret " + Url("/snapshot")), "200") << i;
    }
  }
  std::string expected = "401 401 401 401 401 ";
  for (int i = 7; i <= 50; ++i) expected += "429 ";
  EXPECT_EQ(codes, expected);
  EXPECT_EQ(RunCommand(code + "-u anna:s3cret -H 'Authorization: basic YW5uYTpzM2NyZXQ=' " +
                       Url("/snapshot")),
            "429")
      << "the right password in a header never verified waits like the rest";
}

TEST_F(AccessTest, ChromiumShowsTheStreamWithThePassword) {
  const std::string modules = std::string(OWL_SOURCE_DIR) + "/build/node/node_modules";
  if (!std::filesystem::exists(modules + "/playwright-core"))
    GTEST_SKIP() << "playwright-core is missing from build/node (./owl test installs it)";
  folder.Write("www/index.html", "<html><body><img src='/video'></body></html>");
  StartListener();
  AskPassword();
  const std::string script = std::string(OWL_SOURCE_DIR) + "/tests/support/view_page.cjs";
  auto view = [&](const std::string& password) {
    return RunCommand("NODE_PATH='" + modules + "' timeout 60 node '" + script + "' '" + Url("/") +
                      "' anna '" + password + "'");
  };
  EXPECT_EQ(view("s3cret"), "320\n");
  EXPECT_EQ(view("wrong"), "0\n");
}

TEST_F(AccessTest, ANewPasswordEndsAStreamWithinASecond) {
  StartListener();
  TestClient viewer(Port());
  viewer.Send("GET /video HTTP/1.0\r\n\r\n");
  ASSERT_TRUE(ParseStream(viewer.ReadExactly(5000, 3000)).headOk);
  const auto set = steady_clock::now();
  AskPassword();
  bool closed = false;
  viewer.ReadAll(3000, &closed);
  EXPECT_TRUE(closed);
  EXPECT_LT(steady_clock::now() - set, milliseconds(1500));
  EXPECT_EQ(RunCommand("curl -s -o /dev/null -w '%{http_code}' --max-time 5 " + Url("/video")),
            "401");
}

TEST_F(AccessTest, APeerOnAnotherNetworkIsRefusedOutsideItsScopeAndLogged) {
  OtherNetwork network;
  if (!network.Ready()) GTEST_SKIP() << "no network namespace could be made here";
  StartListener(5, /*logConnections=*/1);  // Start: this machine's networks, the veth's too
  control.gate.SetLocalNetworks(platform::InterfaceSubnets());
  const std::string url = "http://" + network.Host() + ":" + std::to_string(Port()) + "/snapshot";
  const std::string code = "curl -s -o /dev/null -w '%{http_code}' --max-time 5 " + url;
  // The address lies in this machine's own subnet: the local network takes it.
  for (auto [scope, expected] :
       {std::pair{settings::kEveryone, "200"}, std::pair{settings::kLocalNetwork, "200"},
        std::pair{settings::kThisComputer, "403"}}) {
    control.gate.SetRules(scope, "", "");
    EXPECT_EQ(network.Run(code), expected) << "scope " << scope;
  }
  const std::string forbidden = network.Run("curl -s -i --max-time 5 " + url);
  EXPECT_EQ(forbidden.rfind("HTTP/1.0 403 Forbidden\r\nContent-Type: text/html\r\n", 0), 0u)
      << forbidden;
  ASSERT_TRUE(Eventually([&] {
    return folder.Read(server::kLogFileName).find("Connection refused from: " + network.Peer()) !=
           std::string::npos;
  }));
  control.gate.SetLocalNetworks({});  // no subnet of its own: the veth's is public
  control.gate.SetRules(settings::kLocalNetwork, "", "");
  EXPECT_EQ(network.Run(code), "403");
  EXPECT_EQ(RunCommand("curl -s -o /dev/null -w '%{http_code}' --max-time 5 " + Url("/snapshot")),
            "200")
      << "this computer still";
}

// With TLS on the port and a password asked, the password crosses the
// network only encrypted: another computer's plain request is sent to
// https before it is asked for one; this computer may still use plain HTTP.
TEST_F(AccessTest, WithAPasswordAnotherComputerIsSentToHttpsAndThisOneMayStayPlain) {
  OtherNetwork network;
  if (!network.Ready()) GTEST_SKIP() << "no network namespace could be made here";
  const std::string cert = (folder.Path() / "cert.pem").string();
  const std::string key = (folder.Path() / "key.pem").string();
  std::string why;
  ASSERT_TRUE(platform::MakeSelfSignedCertificate(cert, key, {"localhost"}, {network.Host()}, why));
  control.tls = platform::TlsContext::Load(cert, key, why);
  StartListener();
  AskPassword();
  const std::string port = std::to_string(Port());
  const std::string code = "curl -s -o /dev/null -w '%{http_code} %{redirect_url}' --max-time 5 ";
  const std::string plain = "http://" + network.Host() + ":" + port + "/snapshot";
  const std::string secure = "https://" + network.Host() + ":" + port + "/snapshot";
  EXPECT_EQ(network.Run(code + plain), "308 " + secure);
  EXPECT_EQ(network.Run(code + "-u anna:s3cret " + plain), "308 " + secure) << "never asked";
  EXPECT_EQ(network.Run(code + "--cacert " + cert + " " + secure), "401 ");
  EXPECT_EQ(network.Run(code + "--cacert " + cert + " -u anna:s3cret " + secure), "200 ");
  EXPECT_EQ(network.Run(code + "--cacert " + cert + " --location-trusted -u anna:s3cret " + plain),
            "200 ")
      << "a client that follows the redirect";
  EXPECT_EQ(RunCommand(code + Url("/snapshot")), "401 ");
  EXPECT_EQ(RunCommand(code + Url("/snapshot", "anna:s3cret@")), "200 ");
  AskPassword(settings::kThisComputer);
  EXPECT_EQ(network.Run(code + "--cacert " + cert + " " + secure), "403 ") << "over TLS too";
  EXPECT_EQ(network.Run(code + plain), "403 ");
}

}  // namespace
