// Server > Setup in the real program: its boxes, what it applies to a
// running server and what it saves.
#include "settings/setup_values.h"
#include "share/home_page.h"
#include "tests/support/gui_fixture.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/registry_seed.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_parser.h"

namespace {

using SetupDialogTest = GuiTest;
using Lines = std::vector<std::string>;

// The images of the first `bytes` of a stream from `path`.
ParsedStream ReadStream(int port, const std::string& path, size_t bytes = 60000) {
  TestClient client(port);
  client.Send("GET " + path + " HTTP/1.0\r\n\r\n");
  return ParseStream(client.ReadExactly(bytes, 5000));
}

TEST_F(SetupDialogTest, ABadQualityIsReportedAndTheDialogKeepsWhatWasTyped) {
  Start();
  ASSERT_TRUE(OpenDialog(300, "Server Setup"));
  ExpectNoClippedLabel();
  EXPECT_EQ(Ask("get 1012", "value"), "value 1012|" + std::to_string(port));
  EXPECT_EQ(Ask("get 1014", "value"), "value 1014|/video");
  Ask("set 1007 0", "set");
  size_t skip = session->LineCount();
  Ask("press ok", "pressed");
  EXPECT_EQ(Ask("get 1007", "value"), "value 1007|0");
  EXPECT_EQ(BoxesSince(skip), Lines{std::string(settings::kInvalidParameter) +
                                    "|Jpeg quality must be a value between 1 and 100"});
  EXPECT_EQ(Ask("dialog", "dialog"), "dialog Server Setup") << "still open";
  Ask("press cancel", "pressed");
  EXPECT_TRUE(DialogCommandDone());
}

TEST_F(SetupDialogTest, AStreamPathWithAByteAbove0x7fComesBackUnchangedOnAPlainOk) {
  Start(0, "pattern", "\"camurl\"=hex:2f,63,61,66,e9\r\n");  // "/caf" and Latin-1 e-acute
  ASSERT_TRUE(OpenDialog(300, "Server Setup"));
  Ask("press ok", "pressed");
  ASSERT_TRUE(DialogCommandDone());
  EXPECT_NE(RegistryText().find("\"camurl\"=hex:2f,63,61,66,e9\r\n"), std::string::npos)
      << RegistryText();
}

TEST_F(SetupDialogTest, OkWhileRunningAppliesAtOnceAndThePortAtTheNextStart) {
  Start();
  Menu(301);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  ASSERT_TRUE(session->StatusBecomes("0 user(s) connected|Server Running|Previewing"));
  ParsedStream before;  // a stream asked for before the first image ends at once
  ASSERT_TRUE(
      Eventually([&] { return !(before = ReadStream(port, "/video")).images.empty(); }, 10000));

  const int newPort = FreePort();
  folder.Write("www/index.html", share::HomePageText("10.0.0.2", port, "/video", {}));
  ASSERT_TRUE(OpenDialog(300, "Server Setup"));
  for (const std::string& edit : Lines{"set 1008 1", "set 1014 cam", "set 1007 90",
                                       "set 1012 " + std::to_string(newPort), "set 1005 1"})
    Ask(edit, "set");
  Ask("press ok", "pressed");
  ASSERT_TRUE(DialogCommandDone());

  EXPECT_EQ(folder.Read("www/index.html"), share::HomePageText("10.0.0.2", newPort, "/cam", {}))
      << "the page Owlglance wrote follows";
  ParsedStream after = ReadStream(port, "/cam");  // the new path, the new quality
  ASSERT_FALSE(after.images.empty());
  EXPECT_NE(DecodeJpeg(after.images.back()).quantTable0, DecodeJpeg(before.images[0]).quantTable0);
  TestClient holder(port);  // the one place of the new limit
  holder.Send("GET /cam HTTP/1.0\r\n\r\n");
  holder.ReadExactly(100, 3000);
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), "HTTP/1.0 503 Service Unavailable\r\n\r\n");
  EXPECT_FALSE(TestClient().Connect(newPort)) << "the port changes at the next start";
  holder.Close();

  Menu(302);
  Menu(301);
  EXPECT_TRUE(Eventually([&] { return TestClient().Connect(newPort); }, 5000));
  settings::ServerSettings saved = Saved();
  EXPECT_EQ(saved.portnum, static_cast<uint32_t>(newPort));
  EXPECT_EQ(saved.maxclients, 1u);
  EXPECT_EQ(saved.compression, 90u);
  EXPECT_EQ(saved.camurl, "/cam");
  EXPECT_EQ(saved.connections, 1u);

  // A page someone edited stays, and Setup says so.
  folder.Write("www/index.html", "<P>Our camera</P>");
  ASSERT_TRUE(OpenDialog(300, "Server Setup"));
  Ask("set 1014 /cam2", "set");
  const size_t skip = session->LineCount();
  Ask("press ok", "pressed");
  ASSERT_TRUE(DialogCommandDone());
  EXPECT_EQ(BoxesSince(skip), Lines{std::string("Home Page|") + share::kEditedPageMessage});
  EXPECT_EQ(folder.Read("www/index.html"), "<P>Our camera</P>");
}

// A cancelled edit changes nothing: not the running server, not the
// settings saved at close.
TEST_F(SetupDialogTest, ABadValueThenCancelLeavesTheServerAndTheSettingsAlone) {
  Start(0, "pattern", "\"compression\"=" + RegistryHex32(50) + "\r\n");
  Menu(301);
  ASSERT_TRUE(Eventually([&] { return TestClient().Connect(port); }, 5000));
  ASSERT_TRUE(OpenDialog(300, "Server Setup"));
  Ask("set 1007 abc", "set");  // quality: bad
  Ask("set 1008 1", "set");    // a good value, not applied
  size_t skip = session->LineCount();
  Ask("press ok", "pressed");
  Ask("press cancel", "pressed");
  ASSERT_TRUE(DialogCommandDone());
  EXPECT_EQ(BoxesSince(skip).size(), 1u);

  TestClient first(port), second(port);
  first.Send("GET /video HTTP/1.0\r\n\r\n");
  second.Send("GET /video HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(ParseStream(first.ReadExactly(2000, 5000)).headOk);
  EXPECT_TRUE(ParseStream(second.ReadExactly(2000, 5000)).headOk) << "the old limit of 5 holds";
  EXPECT_EQ(Saved().maxclients, 5u) << "nothing saved yet";

  session->Send("close");
  ExpectThankYouThenExit();
  EXPECT_EQ(Saved().maxclients, 5u);
  EXPECT_EQ(Saved().compression, 50u) << "not the default the failed check named";
}

TEST_F(SetupDialogTest, AnyTypedBytesGetAnAnswerAndLeaveAValidFile) {
  Start();
  const std::string junk[] = {"-", "+", std::string(1000, '7'), "\xc3\xa9t\xc3\xa9", "1e5", " "};
  for (const std::string& typed : junk) {
    ASSERT_TRUE(OpenDialog(300, "Server Setup"));
    for (const char* edit : {"1007", "1008", "1012", "1014"})
      Ask(std::string("set ") + edit + " " + typed, "set");
    Ask("press ok", "pressed");
    if (Ask("dialog", "dialog") != "dialog none") Ask("press cancel", "pressed");
    ASSERT_TRUE(DialogCommandDone());
  }
  session->Send("close");
  ExpectThankYouThenExit();
  EXPECT_EQ(RegistryText().rfind("REGEDIT4\r\n", 0), 0u);
  settings::ServerSettings saved = Saved();
  EXPECT_GE(saved.compression, 1u);
  EXPECT_LE(saved.compression, 100u);
  EXPECT_FALSE(saved.camurl.empty());
}

}  // namespace
