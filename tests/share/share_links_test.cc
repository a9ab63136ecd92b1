#include "share/share_links.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "platform/interfaces.h"
#include "tests/support/command.h"
#include "tests/support/temp_folder.h"

namespace {

TEST(ShareLinks, AddressesLoopbackLastAndTheLinksOfEach) {
  struct Case {
    std::string interfaces;
    uint32_t port;
    std::string streamUrl;
    std::vector<std::string> addresses;
    share::ShareLinks first;  // the links of the first address
  };
  const Case cases[] = {
      {"192.168.1.23,127.0.0.1",
       8080,
       "/video",
       {"192.168.1.23", "127.0.0.1"},
       {"http://192.168.1.23:8080/", "http://192.168.1.23:8080/video",
        "http://192.168.1.23:8080/snapshot"}},
      {"127.0.0.1,10.0.0.5,203.0.113.9",
       80,
       "/cam",
       {"10.0.0.5", "203.0.113.9", "127.0.0.1"},
       {"http://10.0.0.5/", "http://10.0.0.5/cam", "http://10.0.0.5/snapshot"}},
      {"127.0.0.1",
       1,
       "/video",
       {"127.0.0.1"},
       {"http://127.0.0.1:1/", "http://127.0.0.1:1/video", "http://127.0.0.1:1/snapshot"}},
  };
  for (const Case& c : cases) {
    ::setenv(platform::kInterfaceListVariable, c.interfaces.c_str(), 1);
    std::vector<std::string> addresses = share::ShareAddresses();
    EXPECT_EQ(addresses, c.addresses) << c.interfaces;
    share::ShareLinks links = share::LinksFor(addresses.front(), c.port, c.streamUrl);
    EXPECT_EQ(links.page, c.first.page) << c.interfaces;
    EXPECT_EQ(links.stream, c.first.stream) << c.interfaces;
    EXPECT_EQ(links.snapshot, c.first.snapshot) << c.interfaces;
  }
  ::setenv(platform::kInterfaceListVariable, "", 1);
  EXPECT_TRUE(share::ShareAddresses().empty());
  ::unsetenv(platform::kInterfaceListVariable);
}

TEST(ShareLinks, TheQrCodeIsCrispLargeEnoughAndReadsBackAsTheUrl) {
  TempFolder folder;
  const std::string url = "http://192.168.1.23:8080/";
  share::QrMatrix code = share::QrCodeFor(url);
  ASSERT_GT(code.size, 20);
  share::QrPicture picture = DrawQrCode(code, 180);
  const int modules = code.size + 8;
  EXPECT_GE(picture.width, 180);
  EXPECT_EQ(picture.width % modules, 0) << "a whole number of pixels a module";
  EXPECT_LT(picture.width, 180 + modules) << "the smallest such size";
  std::ofstream ppm("code.ppm", std::ios::binary);
  ppm << "P6\n" << picture.width << " " << picture.width << "\n255\n";
  ppm.write(reinterpret_cast<const char*>(picture.rgb.data()),
            static_cast<std::streamsize>(picture.rgb.size()));
  ppm.close();
  EXPECT_EQ(RunCommand("zbarimg --quiet --raw code.ppm 2>/dev/null"), url + "\n");
}

// https:// shares the port with http://, so only 443 goes without saying;
// Share and its code lead there while a password is asked.
TEST(ShareLinks, HttpsLinksAndWhenTheyComeFirst) {
  EXPECT_EQ(share::BaseUrl("10.0.0.5", 8080, true), "https://10.0.0.5:8080");
  EXPECT_EQ(share::BaseUrl("10.0.0.5", 80, true), "https://10.0.0.5:80");
  EXPECT_EQ(share::BaseUrl("10.0.0.5", 443, true), "https://10.0.0.5");
  EXPECT_EQ(share::LinksFor("10.0.0.5", 443, "/cam", true).stream, "https://10.0.0.5/cam");
  // Every camera past the first at its own addresses.
  const share::ShareLinks second = share::LinksFor("10.0.0.5", 8080, "/cam", false, 2);
  EXPECT_EQ(second.page, "http://10.0.0.5:8080/");
  EXPECT_EQ(second.stream, "http://10.0.0.5:8080/cam/2/video");
  EXPECT_EQ(second.snapshot, "http://10.0.0.5:8080/cam/2/snapshot");
  EXPECT_EQ(share::CertificateText("AB:CD:EF:01"), "Certificate (SHA-256):\nAB:CD:\nEF:01");
  EXPECT_EQ(share::CertificateText(""), "");
  settings::ServerSettings settings;
  EXPECT_FALSE(share::PrefersHttps(settings)) << "no password: a phone opens it without a warning";
  settings.viewpass = "$y$hash";
  EXPECT_TRUE(share::PrefersHttps(settings));
  settings.https = 0;
  EXPECT_FALSE(share::PrefersHttps(settings)) << "plain HTTP alone";
}

}  // namespace
