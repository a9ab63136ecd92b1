// HTTPS on the server's own port: real clients over TLS beside plain HTTP,
// the versions offered, bad handshakes, the certificate the server makes
// for itself and one of the person's own that can't be used.
#include <sys/stat.h>

#include <filesystem>
#include <thread>

#include "platform/tls.h"
#include "server/secure_redirect.h"
#include "server/server_controller.h"
#include "server/tls_setup.h"
#include "tests/support/command.h"
#include "tests/support/picture_feed.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_parser.h"

namespace {

using namespace std::chrono;

class TlsTest : public ServerFixture {
 protected:
  void SetUp() override {
    feed = std::make_unique<PictureFeed>(device.frameStore);
    cert = (folder.Path() / "cert.pem").string();
    key = (folder.Path() / "key.pem").string();
    std::string why;
    ASSERT_TRUE(
        platform::MakeSelfSignedCertificate(cert, key, {"localhost"}, {"127.0.0.1", "::1"}, why))
        << why;
    control.tls = platform::TlsContext::Load(cert, key, why);
    ASSERT_TRUE(control.tls) << why;
    folder.Write("www/index.html", "<html><body><img src='/video'></body></html>");
  }
  void TearDown() override {
    ServerFixture::TearDown();
    feed.reset();
  }
  std::string Url(const std::string& scheme, const std::string& host,
                  const std::string& path) const {
    return scheme + "://" + host + ":" + std::to_string(Port()) + path;
  }

  std::string cert, key;
  std::unique_ptr<PictureFeed> feed;
};

TEST_F(TlsTest, RealClientsFetchThePageASnapshotAndTheStreamOverHttpsWhereHttpWorksToo) {
  StartListener();
  const std::string code = "curl -s -o /dev/null -w '%{http_code} %{content_type}' --max-time 10 ";
  // The certificate the server made verifies for both of its names.
  EXPECT_EQ(RunCommand(code + "--cacert " + cert + " " + Url("https", "localhost", "/")),
            "200 text/html; charset=utf-8");
  EXPECT_EQ(RunCommand(code + "--cacert " + cert + " " + Url("https", "127.0.0.1", "/snapshot")),
            "200 image/jpeg");
  EXPECT_EQ(RunCommand(code + Url("http", "127.0.0.1", "/snapshot")), "200 image/jpeg");
  EXPECT_EQ(RunCommand("/usr/bin/python3 -c \"import requests; r = requests.get('" +
                       Url("https", "127.0.0.1", "/snapshot") + "', verify='" + cert +
                       "', timeout=10); print(r.status_code, r.content[:2] == b'\\xff\\xd8')\""),
            "200 True\n");
  EXPECT_EQ(RunCommand("timeout 20 ffprobe -v error -tls_verify 0 -show_entries "
                       "stream=width,height -of csv=p=0 " +
                       Url("https", "127.0.0.1", "/video")),
            "320,240\n");

  const std::string modules = std::string(OWL_SOURCE_DIR) + "/build/node/node_modules";
  if (!std::filesystem::exists(modules + "/playwright-core"))
    GTEST_SKIP() << "playwright-core is missing from build/node (./owl test installs it)";
  const std::string script = std::string(OWL_SOURCE_DIR) + "/tests/support/view_page.cjs";
  EXPECT_EQ(RunCommand("NODE_PATH='" + modules + "' timeout 60 node '" + script + "' '" +
                       Url("https", "127.0.0.1", "/") + "' '' ''"),
            "320\n")
      << "Chromium, past the warning for a certificate it does not know";
}

TEST_F(TlsTest, OnlyTls12And13AreSpoken) {
  StartListener();
  const std::string client =
      "echo | timeout 10 openssl s_client -connect 127.0.0.1:" + std::to_string(Port()) + " ";
  EXPECT_EQ(RunCommand(client + "-tls1_1 >/dev/null 2>&1; echo $?"), "1\n");
  EXPECT_NE(RunCommand(client + "-tls1_2 2>/dev/null").find("New, TLSv1.2,"), std::string::npos);
  const std::string newest = RunCommand(client + "2>&1");
  EXPECT_NE(newest.find("New, TLSv1.3,"), std::string::npos)
      << "offered when the client asks for nothing older: " << newest;
}

// A client that speaks no TLS after a handshake's first byte, stops half
// way, or sends a ClientHello of 16 MB is gone within the request's
// deadline, and a viewer meanwhile is served as ever.
TEST_F(TlsTest, BadHandshakesAreClosedWithoutHoldingAnyoneUp) {
  StartListener();
  struct Case {
    const char* what;
    std::string bytes;
    int closedWithinMs;
  };
  const Case cases[] = {
      {"garbage behind a record header", std::string("\x16\x03\x01\x00\x08", 5) + "GET / HT", 1000},
      {"a ClientHello that stops half way", std::string("\x16\x03\x01\x02\x00", 5) + "\x01\x00",
       server::kIdleLimitMs + 1500},
      {"a handshake record's header alone", std::string("\x16", 1), server::kIdleLimitMs + 1500},
  };
  for (const Case& test : cases) {
    TestClient client(Port());
    const auto start = steady_clock::now();
    ASSERT_TRUE(client.Send(test.bytes)) << test.what;
    EXPECT_EQ(Exchange(Port(), "GET /snapshot HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 200 OK", 0), 0u)
        << test.what;
    bool closed = false;
    client.ReadAll(test.closedWithinMs + 1000, &closed);
    EXPECT_TRUE(closed) << test.what;
    EXPECT_LT(steady_clock::now() - start, milliseconds(test.closedWithinMs)) << test.what;
  }

  // A ClientHello of 16 MB: its length alone is refused.
  TestClient client(Port());
  std::string hello(16 << 20, '\0');
  const std::string head("\x16\x03\x01\x40\x00\x01\xff\xff\xff", 9);
  hello.replace(0, head.size(), head);
  const auto start = steady_clock::now();
  EXPECT_FALSE(client.Send(hello)) << "the server reads no more of it";
  EXPECT_LT(steady_clock::now() - start, seconds(3));
}

TEST(SecureLocation, KeepsTheHostTheTargetAndThePort) {
  struct Case {
    const char* host;
    const char* local;
    const char* target;
    const char* location;
  } cases[] = {
      {"cam.example:8391", "198.51.100.1", "/video", "https://cam.example:8391/video"},
      {"cam.example", "198.51.100.1", "/", "https://cam.example:8391/"},
      {"[2001:db8::5]:80", "2001:db8::1", "/snapshot?x=1",
       "https://[2001:db8::5]:8391/snapshot?x=1"},
      // No Host, or one that could carry a header of its own: the address reached.
      {"", "198.51.100.1", "/a", "https://198.51.100.1:8391/a"},
      {"evil\r\nSet-Cookie: x", "198.51.100.1", "/a", "https://198.51.100.1:8391/a"},
      {"a b", "2001:db8::1", "/a", "https://[2001:db8::1]:8391/a"},
      {"host:99999999", "198.51.100.1", "/", "https://198.51.100.1:8391/"},
      // The target as the request gave it; an absolute one by its path.
      {"h", "198.51.100.1", "http://other/x/y", "https://h:8391/x/y"},
      {"h", "198.51.100.1", "*", "https://h:8391/"},
  };
  for (const Case& test : cases)
    EXPECT_EQ(server::SecureLocation(test.host, test.local, 8391, test.target), test.location)
        << test.host << " " << test.target;
  EXPECT_EQ(
      server::SecureRedirect("https://h:1/", {true, false}),
      "HTTP/1.1 308 Permanent Redirect\r\nContent-Length: 0\r\nLocation: https://h:1/\r\n\r\n");
}

// The server's own certificate: made once beside the settings, its key for
// its owner alone, good for ten years and for this computer's names; made
// again when damaged. A certificate of the person's own that doesn't go
// with its key stops the start, saying which file.
TEST(TlsChoice, TheServersOwnIsMadeOnceAndAPersonsOwnMustMatch) {
  TempFolder folder;
  settings::ServerSettings settings;
  const std::string dir = folder.Path().string();
  const server::TlsChoice first = server::ChooseTls(settings, dir);
  ASSERT_TRUE(first.context) << first.problem;
  const std::string cert = dir + "/" + server::kOwnCertificateFile;
  const std::string key = dir + "/" + server::kOwnKeyFile;
  struct stat info {};
  ASSERT_EQ(::stat(key.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  for (const char* check : {"-verify_hostname localhost", "-verify_ip 127.0.0.1"})
    EXPECT_EQ(RunCommand("openssl verify " + std::string(check) + " -CAfile " + cert + " " + cert +
                         " 2>&1"),
              cert + ": OK\n")
        << check;
  const std::string end = RunCommand("openssl x509 -noout -enddate -in " + cert);
  const int year = std::atoi(end.substr(end.size() - 9, 4).c_str());
  const auto now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  EXPECT_EQ(year, 1900 + std::gmtime(&now)->tm_year + 10) << end;
  EXPECT_NE(RunCommand("openssl x509 -noout -text -in " + cert).find("ASN1 OID: prime256v1"),
            std::string::npos);

  EXPECT_EQ(server::ChooseTls(settings, dir).context->Fingerprint(), first.context->Fingerprint())
      << "kept";
  folder.Write(server::kOwnKeyFile, "damaged");
  const server::TlsChoice remade = server::ChooseTls(settings, dir);
  ASSERT_TRUE(remade.context) << remade.problem;
  EXPECT_NE(remade.context->Fingerprint(), first.context->Fingerprint());

  std::string why;
  ASSERT_TRUE(platform::MakeSelfSignedCertificate(dir + "/other.pem", dir + "/other-key.pem",
                                                  {"other"}, {}, why));
  settings.tlscert = cert;
  settings.tlskey = dir + "/other-key.pem";
  EXPECT_EQ(server::ChooseTls(settings, dir).problem,
            settings.tlskey + " is not the key of the certificate in " + cert);
  settings.tlskey = dir + "/missing.pem";
  EXPECT_EQ(server::ChooseTls(settings, dir).problem,
            settings.tlskey + " can't be read: No such file or directory");
  settings.tlskey.clear();
  EXPECT_FALSE(server::ChooseTls(settings, dir).context);
  settings.https = 0;
  const server::TlsChoice plain = server::ChooseTls(settings, dir);
  EXPECT_FALSE(plain.context);
  EXPECT_EQ(plain.problem, "");
}

TEST(TlsChoice, AStartWithAKeyThatDoesNotMatchIsRefusedNamingIt) {
  TempFolder folder;
  FakeMessageBox boxes;
  const std::string dir = folder.Path().string();
  std::string why;
  ASSERT_TRUE(
      platform::MakeSelfSignedCertificate(dir + "/a.pem", dir + "/a-key.pem", {"a"}, {}, why));
  ASSERT_TRUE(
      platform::MakeSelfSignedCertificate(dir + "/b.pem", dir + "/b-key.pem", {"b"}, {}, why));
  settings::ServerSettings settings;
  settings.portnum = static_cast<uint32_t>(FreePort());
  settings.tlscert = dir + "/a.pem";
  settings.tlskey = dir + "/b-key.pem";
  capture::CaptureDevice device;
  ASSERT_EQ(device.Create(0, 50), capture::DeviceResult::kOk);
  server::ServerController controller(settings, device);
  EXPECT_EQ(controller.StartServer(), server::StartResult::kCertificateUnusable);
  EXPECT_FALSE(controller.IsRunning());
  ASSERT_EQ(boxes.Boxes().size(), 1u);
  EXPECT_NE(boxes.Boxes()[0].text.find(settings.tlskey + " is not the key of the certificate in " +
                                       settings.tlscert),
            std::string::npos)
      << boxes.Boxes()[0].text;
  EXPECT_FALSE(TestClient().Connect(static_cast<int>(settings.portnum))) << "nothing serves";

  settings.tlskey = dir + "/a-key.pem";
  controller.SetTls(settings);
  ASSERT_EQ(controller.StartServer(), server::StartResult::kStarted);
  EXPECT_EQ(controller.Fingerprint().size(), 32u * 3 - 1);
  controller.StopServer();
  device.Destroy();
}

}  // namespace
