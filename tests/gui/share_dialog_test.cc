// Server > Share in the real program: the links of each address and a QR
// code a phone can read off the screen.
#include <stdlib.h>

#include <array>
#include <fstream>
#include <sstream>

#include "platform/interfaces.h"
#include "platform/password_hash.h"
#include "tests/support/command.h"
#include "tests/support/gui_fixture.h"
#include "tests/support/registry_seed.h"
#include "tests/support/server_fixture.h"

namespace {

class ShareDialogTest : public GuiTest {
 protected:
  // A control's left, top, right and bottom edges on the screen.
  std::array<int, 4> Rect(const std::string& id) {
    std::istringstream in(Ask("rect " + id, "rect"));
    std::string word;
    int x = 0, y = 0, width = 0, height = 0;
    in >> word >> x >> y >> width >> height;
    return {x, y, x + width, y + height};
  }
};

TEST_F(ShareDialogTest, ShowsTheLinksOfEachAddressAndAReadableCode) {
  ::setenv(platform::kInterfaceListVariable, "192.168.1.23,127.0.0.1", 1);
  Start();
  ::unsetenv(platform::kInterfaceListVariable);
  const std::string base = "http://192.168.1.23:" + std::to_string(port);
  ASSERT_TRUE(OpenDialog(303, "Share"));
  ExpectNoClippedLabel();
  EXPECT_EQ(Ask("get 1101", "value"), "value 1101|192.168.1.23|127.0.0.1 sel 0");
  EXPECT_EQ(Ask("get 1108", "value"), "value 1108|Server Not Running");
  // The Copy buttons stand clear of the code, and everything within the dialog.
  const auto dialog = Rect(""), code = Rect("1110");
  for (const char* copy : {"1105", "1106", "1107"}) {
    const auto button = Rect(copy);
    EXPECT_LE(button[2], code[0]) << "Copy " << copy << " runs under the code";
  }
  for (const char* id : {"1105", "1110", "wxID_OK"}) EXPECT_LE(Rect(id)[2], dialog[2]) << id;

  // The code on the screen reads back as the home page's address.
  std::string rgb = session->Screenshot();
  ASSERT_EQ(rgb.size(), 1024u * 768 * 3);
  {
    std::ofstream ppm(folder.Path() / "screen.ppm", std::ios::binary);
    ppm << "P6\n1024 768\n255\n";
    ppm.write(rgb.data(), static_cast<std::streamsize>(rgb.size()));
  }
  EXPECT_EQ(RunCommand("zbarimg --quiet --raw '" + (folder.Path() / "screen.ppm").string() +
                       "' 2>/dev/null"),
            base + "/\n");
  Ask("press ok", "pressed");
  EXPECT_TRUE(DialogCommandDone());
}

// With two cameras Share shows the links of the one chosen; its choice
// stands clear of the Copy buttons and the code.
TEST_F(ShareDialogTest, EachCameraHasItsLinks) {
  ::setenv(platform::kInterfaceListVariable, "192.168.1.23", 1);
  Start(0, "pattern@640x480,pattern@320x240");
  ::unsetenv(platform::kInterfaceListVariable);
  const std::string base = "http://192.168.1.23:" + std::to_string(port);
  ASSERT_TRUE(OpenDialog(303, "Share"));
  ExpectNoClippedLabel();
  EXPECT_EQ(Ask("get 1113", "value"),
            "value 1113|0 Owlglance Test Pattern 640x480|1 Owlglance Test Pattern 320x240 sel 0");
  EXPECT_EQ(Ask("get 1103", "value"), "value 1103|" + base + "/video");
  Ask("set 1113 1", "set");
  EXPECT_EQ(Ask("get 1102", "value"), "value 1102|" + base + "/");
  EXPECT_EQ(Ask("get 1103", "value"), "value 1103|" + base + "/cam/1/video");
  EXPECT_EQ(Ask("get 1104", "value"), "value 1104|" + base + "/cam/1/snapshot");
  // The choice stands clear of the first Copy button below it and the code.
  EXPECT_LE(Rect("1113")[3] + 6, Rect("1105")[1]) << "the camera's choice touches Copy";
  EXPECT_LT(Rect("1113")[2], Rect("1110")[0]) << "the camera's choice runs under the code";
  Ask("press ok", "pressed");
  EXPECT_TRUE(DialogCommandDone());
}

// While a password is asked the links and the code lead to https://, and
// the dialog shows the fingerprint of the certificate the server serves.
TEST_F(ShareDialogTest, WithAPasswordTheCodeOpensTheHttpsPageAndTheFingerprintShows) {
  std::string hash;
  ASSERT_TRUE(platform::HashPassword("s3cret", hash));
  ::setenv(platform::kInterfaceListVariable, "192.168.1.23,127.0.0.1", 1);
  Start(0, "pattern",
        "\"viewuser\"=" + RegistryHexText("anna") + "\r\n\"viewpass\"=" + RegistryHexText(hash) +
            "\r\n");
  ::unsetenv(platform::kInterfaceListVariable);
  Menu(301);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  ASSERT_TRUE(OpenDialog(303, "Share"));
  ExpectNoClippedLabel();
  EXPECT_EQ(Ask("get 1111", "value"), "value 1111|http://|https:// sel 1");
  const std::string fingerprint =
      RunCommand("openssl x509 -noout -fingerprint -sha256 -in '" +
                 (folder.Path() / "config/owlglance/https-cert.pem").string() + "'");
  ASSERT_EQ(fingerprint.rfind("sha256 Fingerprint=", 0), 0u) << fingerprint;
  EXPECT_EQ(Ask("get 1112", "value"), "value 1112|Certificate (SHA-256):~" +
                                          fingerprint.substr(19, 48) + "~" +
                                          fingerprint.substr(19 + 48, 47));
  std::string rgb = session->Screenshot();
  {
    std::ofstream ppm(folder.Path() / "screen.ppm", std::ios::binary);
    ppm << "P6\n1024 768\n255\n";
    ppm.write(rgb.data(), static_cast<std::streamsize>(rgb.size()));
  }
  EXPECT_EQ(RunCommand("zbarimg --quiet --raw '" + (folder.Path() / "screen.ppm").string() +
                       "' 2>/dev/null"),
            "https://192.168.1.23:" + std::to_string(port) + "/\n");
  Ask("press ok", "pressed");
  EXPECT_TRUE(DialogCommandDone());
}

}  // namespace
