#include "share/home_page.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/fake_message_box.h"
#include "tests/support/temp_folder.h"

namespace {

std::string Expected(const std::string& codebase, const std::string& server,
                     const std::string& port, const std::string& img) {
  return "<HTML>\r\n<HEAD>\r\n<TITLE>My Webcam</TITLE>\r\n</HEAD>\r\n<BODY>\r\n\r\n"
         "<P><H1>My Webcam</H1></P>\r\n\r\n"
         "<APPLET CODE=\"OwlglanceApplet2.class\" CODEBASE=\"http://" +
         codebase +
         "/\" WIDTH=\"320\" HEIGHT=\"240\">\r\n"
         "<PARAM NAME=\"SERVER\" VALUE=\"" +
         server +
         "\">\r\n"
         "<PARAM NAME=\"PORT\" VALUE=\"" +
         port +
         "\">\r\n"
         "<PARAM NAME=\"URI\" VALUE=\"/video\">\r\n" +
         img + "</APPLET>\r\n\r\n<SCRIPT SRC=\"whep.js\"></SCRIPT>\r\n</BODY>\r\n</HTML>\r\n";
}

TEST(HomePage, ExactBytes) {
  TempFolder folder;
  std::filesystem::create_directory("www");
  FakeMessageBox boxes;
  auto img = [](const char* width, const char* height) {
    return std::string("<IMG SRC=\"/video\" WIDTH=\"") + width + "\" HEIGHT=\"" + height +
           "\" STYLE=\"max-width:100%;height:auto\" ALT=\"Live camera picture\">\r\n";
  };
  struct Case {
    std::string address;
    int32_t port;
    share::PictureSize picture;
    std::string page;
    size_t sizeWithoutImage;
  };
  const Case cases[] = {
      {"10.0.0.2", 80, {640, 480}, Expected("10.0.0.2", "10.0.0.2", "80", img("640", "480")), 354},
      {"10.0.0.2",
       8080,
       {640, 480},
       Expected("10.0.0.2:8080", "10.0.0.2", "8080", img("640", "480")),
       361},
      {"10.0.0.2", 0, {640, 480}, Expected("10.0.0.2:0", "10.0.0.2", "0", img("640", "480")), 355},
      {"", 80, {640, 480}, Expected("", "", "80", img("640", "480")), 338},
      // A wide camera's picture keeps its shape.
      {"10.0.0.2",
       80,
       {1280, 720},
       Expected("10.0.0.2", "10.0.0.2", "80", img("1280", "720")),
       354},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(share::WriteHomePage(c.address, c.port, "/video", c.picture),
              share::HomePageOutcome::Written);
    std::string page = folder.Read("www/index.html");
    EXPECT_EQ(page, c.page) << c.port;
    const std::string shown =
        img(std::to_string(c.picture.width).c_str(), std::to_string(c.picture.height).c_str());
    EXPECT_EQ(page.size(), c.sizeWithoutImage + shown.size()) << c.port;
    EXPECT_EQ(std::count(page.begin(), page.end(), '\n'), 18);
  }
  // Every other camera served follows the first, at its own address and size.
  ASSERT_EQ(share::WriteHomePage("10.0.0.2", 80, "/video", {640, 480}, {{320, 240}}),
            share::HomePageOutcome::Written);
  EXPECT_TRUE(folder.Read("www/index.html")
                  .ends_with("</APPLET>\r\n\r\n<P><IMG SRC=\"/cam/1/video\" WIDTH=\"320\" "
                             "HEIGHT=\"240\" STYLE=\"max-width:100%;height:auto\" ALT=\"Live "
                             "picture of camera 1\"></P>\r\n\r\n<SCRIPT SRC=\"whep.js\"></SCRIPT>"
                             "\r\n</BODY>\r\n</HTML>\r\n"))
      << folder.Read("www/index.html");
  auto shown = boxes.Boxes();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown[0].text, "Are you sure you want to overwrite www/index.html?");
  EXPECT_EQ(shown[0].caption, "Overwrite?");
  EXPECT_EQ(shown[0].style, 1);
}

TEST(HomePage, CancelLeavesTheFile) {
  TempFolder folder;
  folder.Write("www/index.html", "mine");
  FakeMessageBox boxes;
  boxes.Script(2);  // Cancel
  EXPECT_EQ(share::WriteHomePage("10.0.0.2", 80, "/video", {}), share::HomePageOutcome::Declined);
  EXPECT_EQ(folder.Read("www/index.html"), "mine");
}

TEST(HomePage, MissingWebFolderIsReportedAndNothingCreated) {
  TempFolder folder;
  FakeMessageBox boxes;
  EXPECT_EQ(share::WriteHomePage("10.0.0.2", 80, "/video", {}), share::HomePageOutcome::Failed);
  EXPECT_FALSE(std::filesystem::exists("www"));
  auto shown = boxes.Boxes();
  ASSERT_EQ(shown.size(), 1u) << "nothing to overwrite, so no question";
  EXPECT_EQ(shown[0].text,
            "Could not open index.html, make sure \"www\" folder exists and file is not write "
            "protected.");
  EXPECT_EQ(shown[0].caption, "Error");
  EXPECT_EQ(shown[0].style, 0);
}

}  // namespace

// The page follows the stream while it is Owlglance's own; a page anyone
// changed, by a byte, stays as it is.
TEST(HomePage, FollowsTheStreamUntilEdited) {
  TempFolder folder;
  std::filesystem::create_directory("www");
  const std::string ours = share::HomePageText("10.0.0.2", 8080, "/video", {1280, 720});
  // With two more cameras, each picture at its own address and size.
  const std::vector<share::PictureSize> others = {{640, 480}, {320, 240}};
  const std::string three = share::HomePageText("10.0.0.2", 8080, "/video", {1280, 720}, others);
  // As Owlglance wrote it before it played WebRTC: without the script.
  std::string older = ours;
  older.erase(older.find("<SCRIPT"), older.find("</BODY>") - older.find("<SCRIPT"));
  struct Case {
    std::string page;  // "" for none
    int32_t port;
    std::string path;
    share::PageFollows outcome;
    std::string after;  // the page then
  };
  const Case cases[] = {
      {"", 8080, "/cam2", share::PageFollows::kNoPage, ""},
      {ours, 8080, "/video", share::PageFollows::kAlready, ours},
      {ours, 8080, "/cam2", share::PageFollows::kFollowed,
       share::HomePageText("10.0.0.2", 8080, "/cam2", {1280, 720})},
      {ours, 9000, "/video", share::PageFollows::kFollowed,
       share::HomePageText("10.0.0.2", 9000, "/video", {1280, 720})},
      {share::HomePageText("[::1]", 80, "/a", {}), 81, "/b", share::PageFollows::kFollowed,
       share::HomePageText("[::1]", 81, "/b", {})},
      {older, 8080, "/video", share::PageFollows::kAlready, older},
      {older, 8080, "/cam2", share::PageFollows::kFollowed,
       share::HomePageText("10.0.0.2", 8080, "/cam2", {1280, 720})},
      {three, 8080, "/cam2", share::PageFollows::kFollowed,
       share::HomePageText("10.0.0.2", 8080, "/cam2", {1280, 720}, others)},
      {ours.substr(0, ours.find("</BODY>")) +
           "<P><IMG SRC=\"/cam/2/video\" WIDTH=\"640\" HEIGHT=\"480\" "
           "STYLE=\"max-width:100%;height:auto\" ALT=\"Live picture of camera 2\"></P>\r\n\r\n"
           "</BODY>\r\n</HTML>\r\n",
       8080, "/cam2", share::PageFollows::kEdited, ""},
      {"<H1>Our camera</H1>" + ours, 8080, "/cam2", share::PageFollows::kEdited,
       "<H1>Our camera</H1>" + ours},
      {ours.substr(0, ours.size() - 2), 8080, "/cam2", share::PageFollows::kEdited,
       ours.substr(0, ours.size() - 2)},
      {"<HTML>hello</HTML>", 8080, "/cam2", share::PageFollows::kEdited, "<HTML>hello</HTML>"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove("www/index.html");
    if (!c.page.empty()) folder.Write("www/index.html", c.page);
    EXPECT_EQ(share::FollowHomePage(c.port, c.path), c.outcome) << c.page;
    if (!c.after.empty()) {
      EXPECT_EQ(folder.Read("www/index.html"), c.after) << c.page;
    }
  }
  EXPECT_FALSE(std::filesystem::exists("www/index.html.new"));
}
