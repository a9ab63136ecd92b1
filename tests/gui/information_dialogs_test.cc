// About, the thank-you dialog and their web link in the real program.
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support/fake_program.h"
#include "tests/support/gui_fixture.h"

namespace {

using InformationDialogsTest = GuiTest;
using namespace std::chrono_literals;

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};

// Pixels of `rgb` (the 1024 x 768 screen) inside `r` that match `wanted`.
int CountPixels(const std::string& rgb, Rect r, bool (*wanted)(int red, int green, int blue)) {
  int count = 0;
  for (int y = r.y; y < r.y + r.height; ++y)
    for (int x = r.x; x < r.x + r.width; ++x) {
      const auto* p = reinterpret_cast<const uint8_t*>(rgb.data()) + (y * 1024 + x) * 3;
      count += wanted(p[0], p[1], p[2]);
    }
  return count;
}
bool Hover(int r, int g, int b) { return r > 200 && g < 90 && b < 90; }
bool Reddish(int r, int g, int b) { return r > 200 && r - g > 70 && r - b > 70; }
bool Link(int r, int g, int b) { return r < 90 && g < 90 && b > 180; }
bool Visited(int r, int g, int b) { return r > 60 && r < 150 && g < 80 && b > 110 && b < 190; }

// The most pixels of one colour in a row: an underline has many more than
// any row of letters.
int BusiestRow(const std::string& rgb, Rect r, bool (*wanted)(int, int, int)) {
  int most = 0;
  for (int y = r.y; y < r.y + r.height; ++y)
    most = std::max(most, CountPixels(rgb, {r.x, y, r.width, 1}, wanted));
  return most;
}

class LinkTest : public InformationDialogsTest {
 protected:
  Rect OpenAboutAndFindTheLink() {
    EXPECT_TRUE(OpenDialog(40003, "About"));
    std::istringstream words(Ask("rect 1019", "rect"));
    std::string word;
    Rect r;
    words >> word >> r.x >> r.y >> r.width >> r.height;
    EXPECT_GT(r.width, 20);
    return r;
  }
  void PointAt(Rect r) {
    session->Xdotool("mousemove " + std::to_string(r.x + r.width / 2) + " " +
                     std::to_string(r.y + r.height / 2));
  }
  void PointAway() { session->Xdotool("mousemove 1000 760"); }
};

TEST_F(LinkTest, AboutsLinkLightsUpUnderThePointerAndGoesBackWhenItLeaves) {
  Start();
  Rect link = OpenAboutAndFindTheLink();
  ExpectNoClippedLabel();
  std::string before = session->Screenshot();
  EXPECT_GT(CountPixels(before, link, Link), 10);
  EXPECT_EQ(CountPixels(before, link, Hover), 0);

  PointAt(link);
  std::this_thread::sleep_for(300ms);
  std::string over = session->Screenshot();
  EXPECT_GT(CountPixels(over, link, Hover), 10);
  EXPECT_GT(BusiestRow(over, link, Reddish), BusiestRow(before, link, Link) + 15) << "underlined";

  PointAway();
  std::this_thread::sleep_for(300ms);
  std::string after = session->Screenshot();
  EXPECT_EQ(CountPixels(after, link, Hover), 0) << "back within 300 ms";
  EXPECT_GT(CountPixels(after, link, Link), 10);
  Ask("press ok", "pressed");
}

TEST_F(LinkTest, AClickOpensTheUrlOnceAndShowsItVisited) {
  FakePrograms programs;
  programs.Add("xdg-open", 3);  // the desktop has nothing: the .htm handler runs
  programs.Add("browser");
  std::filesystem::create_directories(folder.Path() / "data" / "applications");
  std::filesystem::create_directories(folder.Path() / "config");
  std::ofstream(folder.Path() / "config" / "mimeapps.list")
      << "[Default Applications]\ntext/html=owltest.desktop\n";
  std::ofstream(folder.Path() / "data" / "applications" / "owltest.desktop")
      << "[Desktop Entry]\nType=Application\nName=T\nExec="
      << (programs.Folder() / "browser").string() << " %u\n";
  ::setenv("XDG_DATA_HOME", (folder.Path() / "data").c_str(), 1);
  Start();
  ::unsetenv("XDG_DATA_HOME");
  Rect link = OpenAboutAndFindTheLink();
  PointAt(link);
  std::this_thread::sleep_for(200ms);
  session->Xdotool("click 1");
  EXPECT_EQ(programs.Recorded("browser", 5000), "https://owlglance.org/\n");
  PointAway();
  std::this_thread::sleep_for(300ms);
  std::string after = session->Screenshot();
  EXPECT_GT(CountPixels(after, link, Visited), 10);
  EXPECT_EQ(CountPixels(after, link, Link), 0);
  EXPECT_EQ(Ask("dialog", "dialog"), "dialog About") << "a click leaves the dialog open";

  // A double-click is one click: one more browser, not two.
  PointAt(link);
  std::this_thread::sleep_for(200ms);
  session->Xdotool("click --repeat 2 --delay 80 1");
  std::this_thread::sleep_for(1500ms);
  EXPECT_EQ(programs.Calls("browser"), 2);
  Ask("press ok", "pressed");
}

TEST_F(LinkTest, WithNeitherWayAClickExplainsTheFailure) {
  FakePrograms programs;
  programs.Add("xdg-open", 3);
  ::setenv("XDG_DATA_HOME", (folder.Path() / "nothing").c_str(), 1);
  ::setenv("XDG_DATA_DIRS", (folder.Path() / "nothing").c_str(), 1);
  Start();
  ::unsetenv("XDG_DATA_HOME");
  ::unsetenv("XDG_DATA_DIRS");
  Rect link = OpenAboutAndFindTheLink();
  PointAt(link);
  std::this_thread::sleep_for(200ms);
  size_t skip = session->LineCount();
  session->Xdotool("click 1");
  EXPECT_EQ(session->WaitForLine("box ", 5000, skip),
            "box owlglance|Unable to open hyperlink:~~There is no application associated~with "
            "the given filename extension.");
  Ask("press ok", "pressed");
}

TEST_F(InformationDialogsTest, EveryCloseEndsWithTheThankYouDialog) {
  const std::pair<const char*, const char*> ways[] = {
      {"menu 101", "press ok"}, {"close", "dismiss"}, {"close", "escape"}};
  for (auto [close, dismiss] : ways) {
    Start();
    session->Send(close);
    ExpectThankYouThenExit(dismiss);
    session.reset();
  }
}

TEST_F(InformationDialogsTest, AFailedStartSaysWhySavesAndThanks) {
  for (const char* step : {"status bar", "capture window"}) {
    std::filesystem::create_directories(folder.Path() / "driver");
    std::ofstream(folder.Path() / "driver" / "fail") << step << "\n";
    std::filesystem::remove(folder.Path() / "driver" / "out");
    Start();
    ExpectThankYouThenExit();
    std::string boxes = BoxesSince(0).empty() ? "" : BoxesSince(0)[0];
    EXPECT_EQ(boxes.substr(0, 6), "ERROR|") << step;
    EXPECT_NE(RegistryText().find("\"connections\"="), std::string::npos) << "saved: " << step;
    session.reset();
  }
}

}  // namespace
