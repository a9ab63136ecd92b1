// owlglance-server as a person runs it: a seeded registry, the test pattern,
// real clients, and signals.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "keep/picture_names.h"
#include "platform/installed_drivers.h"
#include "platform/interfaces.h"
#include "platform/test_pattern.h"
#include "platform/tls.h"
#include "share/home_page.h"
#include "tests/support/command.h"
#include "tests/support/jpeg_decode.h"
#include "tests/support/registry_seed.h"
#include "tests/support/server_fixture.h"
#include "tests/support/stream_parser.h"

extern char** environ;

namespace {

using namespace std::chrono;

class HeadlessServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port = FreePort();
    std::filesystem::create_directory("www");
    folder.Write("www/404.html", "missing");
  }
  void TearDown() override {
    if (pid > 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, nullptr, 0);
    }
  }
  // Starts the server with these settings; its standard error goes to a
  // file. `asUser` runs it through setpriv as that user id.
  void Start(int maxclients = 5, int asUser = -1, const std::string& moreValues = "") {
    std::string values = "\"frun\"=hex:00,00,00,00\r\n\"portnum\"=" + RegistryHex32(port) +
                         "\r\n\"maxclients\"=" + RegistryHex32(maxclients) + "\r\n" + moreValues;
    SeedRegistry(folder.Path(), values.c_str());
    StartAsItIs(asUser);
  }
  // Starts the server on the settings file as the last run left it.
  void StartAsItIs(int asUser = -1) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, "stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> words = {OWLGLANCE_SERVER};
    if (asUser >= 0) {
      // A copy has no port-80 capability that ./owl may have given the build.
      std::filesystem::copy_file(OWLGLANCE_SERVER, "server-copy");
      std::filesystem::permissions(folder.Path(), std::filesystem::perms::all);
      const std::string id = std::to_string(asUser);
      words = {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups",
               (folder.Path() / "server-copy").string()};
    }
    std::vector<char*> argv;
    for (auto& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  // True once the server answers; a bare connect could meet itself on a
  // port nobody listens on yet.
  bool Serving() {
    return Eventually(
        [&] { return Exchange(port, "POST / HTTP/1.0\r\n\r\n", 1000).rfind("HTTP/1.0 ", 0) == 0; },
        10000);
  }
  // Waits up to `ms` for the server to exit; its exit status, or -1.
  int Exit(int ms) {
    int status = WaitForChild(pid, ms);
    if (status >= 0) pid = -1;
    return status;
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
  }

  TempFolder folder;
  FakeMessageBox boxes;
  int port = 0;
  pid_t pid = -1;
};

TEST_F(HeadlessServerTest, ServesTheHomePageAndALiveStream) {
  ASSERT_EQ(share::WriteHomePage("127.0.0.1", port, "/video", {}), share::HomePageOutcome::Written);
  ::setenv(platform::kInterfaceListVariable, "127.0.0.1,192.168.1.23", 1);
  Start();
  ::unsetenv(platform::kInterfaceListVariable);
  ASSERT_TRUE(Serving());
  const std::string p = std::to_string(port);
  std::string said;
  for (const char* scheme : {"http", "https"})
    for (const char* address : {"192.168.1.23", "127.0.0.1"}) {
      const std::string base = std::string(scheme) + "://" + address + ":" + p;
      said += "owlglance-server: page " + base + "/ stream " + base + "/video snapshot " + base +
              "/snapshot\n";
    }
  // The certificate it made for itself, beside the settings.
  const std::string fingerprint =
      RunCommand("openssl x509 -noout -fingerprint -sha256 -in '" +
                 (folder.Path() / "config/owlglance/https-cert.pem").string() + "'");
  ASSERT_EQ(fingerprint.rfind("sha256 Fingerprint=", 0), 0u) << fingerprint;
  said += "owlglance-server: the certificate's SHA-256 fingerprint is " + fingerprint.substr(19);
  EXPECT_EQ(folder.Read("stderr.txt"), said);
  EXPECT_EQ(RunCommand("curl -s " + Url("/")), folder.Read("www/index.html"));
  EXPECT_EQ(RunCommand("curl -s -o /dev/null -w '%{http_code} %{content_type}' " + Url("/")),
            "200 text/html; charset=utf-8");
  TestClient client(port);
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  EXPECT_TRUE(ParseStream(client.ReadExactly(200, 3000)).headOk);
  EXPECT_EQ(RunCommand("timeout 20 ffprobe -v error -select_streams v:0 -show_entries "
                       "stream=width,height -of csv=p=0 " +
                       Url("/video")),
            "640,480\n");

  std::string first = (folder.Path() / "first.png").string();
  std::string second = (folder.Path() / "second.png").string();
  ASSERT_TRUE(ChromiumScreenshot(Url("/"), first, 400, 400));
  std::this_thread::sleep_for(seconds(1));
  ASSERT_TRUE(ChromiumScreenshot(Url("/"), second, 400, 400));
  std::string a = ImageToRgb(first), b = ImageToRgb(second);
  ASSERT_EQ(a.size(), 400u * 400 * 3);
  EXPECT_NE(a, b) << "the picture on the home page moves";
}

TEST_F(HeadlessServerTest, PicturesEverySecondAreWholeJpegsAndTheOldestGo) {
  const std::string pictures = (folder.Path() / "plant").string();
  Start(5, -1,
        "\"intervalon\"=" + RegistryHex32(1) + "\r\n\"interval\"=" + RegistryHex32(1) +
            "\r\n\"intervalkeep\"=" + RegistryHex32(3) +
            "\r\n\"intervaldir\"=" + RegistryHexText(pictures) + "\r\n");
  ASSERT_TRUE(Serving());
  std::this_thread::sleep_for(milliseconds(4500));  // five pictures or so
  ::kill(pid, SIGTERM);
  ASSERT_EQ(Exit(5000), 0);
  EXPECT_NE(folder.Read("stderr.txt").find("owlglance-server: a picture every 1 s in " + pictures),
            std::string::npos);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(pictures))
    names.push_back(entry.path().filename().string());
  ASSERT_EQ(names.size(), 3u) << "at most three kept";
  for (const std::string& name : names) {
    EXPECT_TRUE(keep::IsIntervalPicture(name)) << name;
    std::ifstream file(pictures + "/" + name, std::ios::binary);
    const DecodedJpeg picture = DecodeJpeg(std::string(std::istreambuf_iterator<char>(file), {}));
    ASSERT_TRUE(picture.ok) << name;
    EXPECT_EQ(picture.width, 640);
    EXPECT_EQ(picture.height, 480);
  }
}

// A recording of the pattern, stopped as usual or killed: every picture up
// to the end, with its time.
TEST_F(HeadlessServerTest, ARecordingHoldsEveryPictureAndSurvivesAKill) {
  for (int signal : {SIGTERM, SIGKILL}) {
    const std::filesystem::path videos = folder.Path() / ("Videos-" + std::to_string(signal));
    Start(5, -1, "\"record\"=" + RegistryHex32(1) + "\r\n");
    // xdg-user-dir reads the videos folder from the config folder the
    // registry is in.
    std::ofstream(std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "user-dirs.dirs")
        << "XDG_VIDEOS_DIR=\"" << videos.string() << "\"\n";
    ASSERT_TRUE(Serving());
    std::this_thread::sleep_for(seconds(5));
    ::kill(pid, signal);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(videos))
      files.push_back(entry.path());
    ASSERT_EQ(files.size(), 1u) << signal;
    EXPECT_TRUE(keep::IsRecordingName(files[0].filename().string())) << files[0];
    const std::string quoted = "'" + files[0].string() + "'";
    EXPECT_EQ(RunCommand("ffprobe -v error -show_entries stream=codec_name,width,height -of "
                         "csv=p=0 " +
                         quoted),
              "mjpeg,640,480\n");
    const std::string times = RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries "
        "packet=pts_time -of csv=p=0 " +
        quoted);
    const auto frames = std::ranges::count(times, '\n');
    const double last = std::atof(times.substr(times.rfind('\n', times.size() - 2) + 1).c_str());
    EXPECT_GT(last, 3.0) << signal;
    EXPECT_LT(last, 8.0) << signal;
    // The pattern makes 30 a second, fewer on a loaded machine; the times
    // are the pictures' own, never more of them than that.
    const double rate = static_cast<double>(frames) / last;
    EXPECT_GT(rate, 10) << frames << " frames in " << last;
    EXPECT_LT(rate, 36) << frames << " frames in " << last;
    // The file states the camera's rate (measured from its first pictures,
    // so a loaded machine may state a little less), and FFmpeg converts it
    // at that rate, keeping its length: not 1000 pictures a second.
    const std::string stated = RunCommand(
        "ffprobe -v error -select_streams v:0 -show_entries stream=r_frame_rate -of csv=p=0 " +
        quoted);
    int num = 0, den = 0;
    ASSERT_EQ(std::sscanf(stated.c_str(), "%d/%d", &num, &den), 2) << stated;
    const double statedRate = static_cast<double>(num) / den;
    EXPECT_GT(statedRate, 5) << stated;
    EXPECT_LT(statedRate, 36) << stated;
    const std::string mp4 =
        (folder.Path() / ("converted-" + std::to_string(signal) + ".mp4")).string();
    EXPECT_EQ(RunCommand("ffmpeg -nostdin -v warning -i " + quoted +
                         " -c:v libx264 -preset ultrafast " + mp4 + " 2>&1"),
              "");
    const int out = std::atoi(RunCommand("ffprobe -v error -count_packets -select_streams v:0 "
                                         "-show_entries stream=nb_read_packets -of csv=p=0 " +
                                         mp4)
                                  .c_str());
    EXPECT_NEAR(out, last * statedRate, last * statedRate / 10 + 3) << stated;
  }
}

// What the desktop program kept of the test pattern (1280 x 720
// Motion-JPEG, the grey ramp) is how the headless server starts it.
TEST_F(HeadlessServerTest, TheCameraStartsAsItWasChosenForIt) {
  const std::string cameraKey =
      "\r\n[HKEY_CURRENT_USER\\Software\\Brackwater Software\\Owlglance\\Version "
      "1.3\\Cameras\\Owlglance Test Pattern]\r\n";
  Start(5, -1,
        cameraKey + "\"format\"=" + RegistryHexText("MJPG 1280x720") + "\r\n\"controls\"=" +
            RegistryHexText(std::to_string(platform::kPatternChoice) + "=1") + "\r\n");
  ASSERT_TRUE(Serving());
  const std::string answer = Exchange(port, "GET /snapshot HTTP/1.0\r\n\r\n");
  const DecodedJpeg picture = DecodeJpeg(answer.substr(answer.find("\r\n\r\n") + 4));
  ASSERT_TRUE(picture.ok);
  EXPECT_EQ(picture.width, 1280);
  const uint8_t* ramp = picture.Pixel(300, 100);
  EXPECT_NEAR(ramp[0], ramp[2], 6) << "grey, not the yellow bar";
  EXPECT_NE(Exchange(port, "GET /state HTTP/1.0\r\n\r\n").find("\"format\": \"MJPG\""),
            std::string::npos);
}

TEST_F(HeadlessServerTest, AStartWithoutAHomePageWritesTheWizardsPageOnce) {
  ::setenv(platform::kInterfaceListVariable, "127.0.0.1,192.168.1.23", 1);
  Start();
  ::unsetenv(platform::kInterfaceListVariable);
  ASSERT_TRUE(Serving());
  ASSERT_TRUE(Eventually(
      [&] { return folder.Read("stderr.txt").find("wrote the home page") != std::string::npos; }));
  const std::string page = share::HomePageText("192.168.1.23", port, "/video", {640, 480});
  EXPECT_EQ(folder.Read("www/index.html"), page) << "the first address a phone can reach";
  EXPECT_EQ(RunCommand("curl -s " + Url("/")), page);
  ::kill(pid, SIGTERM);
  ASSERT_EQ(Exit(5000), 0);

  folder.Write("www/index.html", "mine");
  Start();
  ASSERT_TRUE(Serving());
  ::kill(pid, SIGTERM);
  ASSERT_EQ(Exit(5000), 0);
  EXPECT_EQ(folder.Read("www/index.html"), "mine") << "never overwritten";
  EXPECT_EQ(folder.Read("stderr.txt").find("wrote the home page"), std::string::npos);
}

// --set-password reads a user name and a password from standard input,
// stores the hash alone in a file only its owner may read, and the server
// then asks for it; --access stores who may connect.
TEST_F(HeadlessServerTest, SetPasswordAndAccessAreStoredAndAppliedWithoutThePasswordAnywhere) {
  Start();  // seeds the registry with the port; this run only shows that it serves
  ASSERT_TRUE(Serving());
  ::kill(pid, SIGTERM);
  ASSERT_EQ(Exit(5000), 0);
  const std::string server = OWLGLANCE_SERVER;
  EXPECT_EQ(RunCommand("printf 'anna\\nsup3r-s3cret\\n' | " + server +
                       " --set-password 2>&1; echo status $?"),
            "owlglance-server: a password is asked from the next start, as user \"anna\".\n"
            "status 0\n");
  EXPECT_EQ(RunCommand(server + " --access computer 2>&1; echo status $?"),
            "owlglance-server: who may watch from the next start: only this computer.\nstatus 0\n");
  EXPECT_EQ(RunCommand(server + " --access moon 2>&1; echo status $?"),
            "owlglance-server: --access takes everyone, local or computer.\nstatus 1\n");
  EXPECT_EQ(RunCommand("printf 'an:na\\nx\\n' | " + server + " --set-password 2>&1; echo $?"),
            "owlglance-server: The user name may have up to 64 bytes, and no colon (:).\n1\n");
  const std::string file = (folder.Path() / "config/owlglance/user.reg").string();
  EXPECT_EQ(RunCommand("stat -c %a '" + file + "'"), "600\n");

  StartAsItIs();  // seeding would overwrite the file
  ASSERT_TRUE(Serving());
  const std::string code = "curl -s -o /dev/null -w '%{http_code}' --max-time 5 ";
  EXPECT_EQ(RunCommand(code + Url("/snapshot")), "401");
  EXPECT_EQ(RunCommand(code + "-u anna:sup3r-s3cret " + Url("/snapshot")), "200");
  EXPECT_EQ(RunCommand(code + "-u anna:wrong " + Url("/snapshot")), "401");
  const std::string said = folder.Read("stderr.txt");
  EXPECT_NE(said.find("a password is asked, for the user \"anna\""), std::string::npos) << said;
  EXPECT_NE(said.find("only this computer may connect"), std::string::npos) << said;
  // Only the addresses this computer reaches itself by.
  for (size_t at = said.find(" page "); at != std::string::npos; at = said.find(" page ", at + 1)) {
    const size_t host = said.find("://", at) + 3;
    EXPECT_EQ(said.substr(host, 4), "127.") << said;
  }
  ::kill(pid, SIGTERM);
  ASSERT_EQ(Exit(5000), 0);
  EXPECT_EQ(RunCommand("grep -rl sup3r '" + folder.Path().string() + "'; echo done"), "done\n")
      << "no file holds the password";

  EXPECT_EQ(RunCommand(server + " --no-password 2>&1; echo status $?"),
            "owlglance-server: no password is asked from the next start.\nstatus 0\n");
  StartAsItIs();
  ASSERT_TRUE(Serving());
  EXPECT_EQ(RunCommand(code + Url("/snapshot")), "200");
  ::kill(pid, SIGTERM);
  ASSERT_EQ(Exit(5000), 0);
  // A damaged file is set aside, and the option says where.
  folder.Write("config/owlglance/user.reg", "damaged");
  EXPECT_EQ(RunCommand(server + " --access everyone 2>&1; echo status $?"),
            "owlglance-server: The settings file could not be read. It was kept as " +
                (folder.Path() / "config/owlglance/user.reg.bad").string() +
                ", and the default settings are used.\n"
                "owlglance-server: who may watch from the next start: everyone who can reach this "
                "computer.\nstatus 0\n");
  EXPECT_EQ(RunCommand(server + " --bogus 2>&1 >/dev/null; echo status $?"),
            "owlglance-server: --bogus is not an option here\nstatus 2\n");
}

// A running server takes what the options save, an edit of the file and
// SIGHUP at once: the password (an open stream it leaves out ends), the
// stream URL (its own home page follows), and never a damaged file.
TEST_F(HeadlessServerTest, ARunningServerTakesChangedSettingsAtOnce) {
  ASSERT_EQ(share::WriteHomePage("127.0.0.1", port, "/video", {}), share::HomePageOutcome::Written);
  Start();
  ASSERT_TRUE(Serving());
  TestClient viewer(port);
  viewer.Send("GET /video HTTP/1.0\r\n\r\n");
  ASSERT_EQ(viewer.ReadExactly(15, 3000), "HTTP/1.0 200 OK");
  const std::string server = OWLGLANCE_SERVER;
  const std::string code = "curl -s -o /dev/null -w '%{http_code}' --max-time 5 ";
  EXPECT_EQ(RunCommand("printf 'anna\\nsup3r-s3cret\\n' | " + server + " --set-password 2>&1"),
            "owlglance-server: a password is asked from now on, as user \"anna\".\n");
  const auto saved = steady_clock::now();
  EXPECT_TRUE(Eventually([&] { return RunCommand(code + Url("/snapshot")) == "401"; }, 1000));
  EXPECT_LT(steady_clock::now() - saved, milliseconds(1000));
  bool closed = false;
  viewer.ReadAll(3000, &closed);
  EXPECT_TRUE(closed) << "a stream without the password ends";
  EXPECT_EQ(RunCommand(code + "-u anna:sup3r-s3cret " + Url("/snapshot")), "200");

  // An edit of the file in place, caught while it is empty, drops nothing
  // and moves nothing; once written, the stream moves, and the page that
  // showed it too.
  const std::string file = (folder.Path() / "config/owlglance/user.reg").string();
  std::string text = folder.Read(file);
  const std::string video = "\"camurl\"=" + RegistryHexText("/video") + "\r\n";
  ASSERT_NE(text.find(video), std::string::npos) << text;
  text.replace(text.find(video), video.size(), "\"camurl\"=" + RegistryHexText("cam2") + "\r\n");
  folder.Write(file, "");
  std::this_thread::sleep_for(milliseconds(900));
  EXPECT_EQ(RunCommand(code + Url("/snapshot")), "401");
  EXPECT_FALSE(std::filesystem::exists(file + ".bad"));
  folder.Write(file, text);
  EXPECT_TRUE(Eventually(
      [&] { return RunCommand(code + "-u anna:sup3r-s3cret " + Url("/cam2")) == "200"; }, 4000));
  EXPECT_EQ(folder.Read("www/index.html"), share::HomePageText("127.0.0.1", port, "/cam2", {}));

  // A damaged file changes nothing; SIGHUP reads the file again.
  folder.Write(file, "not a registry");
  EXPECT_TRUE(Eventually(
      [&] {
        return folder.Read("stderr.txt").find("goes on with the settings it had") !=
               std::string::npos;
      },
      2000));
  std::this_thread::sleep_for(milliseconds(700));
  EXPECT_EQ(RunCommand(code + Url("/snapshot")), "401");
  EXPECT_EQ(folder.Read(file), "not a registry") << "the file stays for its writer";
  EXPECT_EQ(RunCommand(server + " --no-password 2>&1"),
            "owlglance-server: The settings file could not be read. It was kept as " + file +
                ".bad, and the default settings are used.\n"
                "owlglance-server: no password is asked from now on.\n");
  EXPECT_TRUE(Eventually([&] { return RunCommand(code + Url("/snapshot")) == "200"; }, 2000));
  ::kill(pid, SIGHUP);
  EXPECT_EQ(RunCommand(code + Url("/snapshot")), "200") << "SIGHUP reloads; it does not stop";
  ::kill(pid, SIGTERM);
  ASSERT_EQ(Exit(5000), 0);
}

// --certificate takes a certificate only with its own key, and the next
// start serves HTTPS with it; --https off leaves plain HTTP alone.
TEST_F(HeadlessServerTest, CertificateAndHttpsOptionsChooseWhatTheNextStartServes) {
  Start();
  ASSERT_TRUE(Serving());
  ::kill(pid, SIGTERM);
  ASSERT_EQ(Exit(5000), 0);
  const std::string dir = folder.Path().string();
  std::string why;
  ASSERT_TRUE(platform::MakeSelfSignedCertificate(dir + "/mine.pem", dir + "/mine-key.pem",
                                                  {"localhost"}, {"127.0.0.1"}, why));
  ASSERT_TRUE(platform::MakeSelfSignedCertificate(dir + "/other.pem", dir + "/other-key.pem",
                                                  {"other"}, {}, why));
  const std::string server = OWLGLANCE_SERVER;
  EXPECT_EQ(RunCommand(server + " --certificate mine.pem other-key.pem 2>&1; echo status $?"),
            "owlglance-server: " + dir + "/other-key.pem is not the key of the certificate in " +
                dir + "/mine.pem.\nstatus 1\n");
  EXPECT_EQ(RunCommand(server + " --certificate mine.pem mine-key.pem 2>&1; echo status $?"),
            "owlglance-server: HTTPS uses " + dir + "/mine.pem from the next start.\nstatus 0\n");
  StartAsItIs();
  ASSERT_TRUE(Serving());
  const std::string https = "https://localhost:" + std::to_string(port) + "/snapshot";
  const std::string code = "curl -s -o /dev/null -w '%{http_code}' --max-time 5 ";
  EXPECT_EQ(RunCommand(code + "--cacert mine.pem " + https), "200");
  const std::string fingerprint =
      RunCommand("openssl x509 -noout -fingerprint -sha256 -in mine.pem").substr(19);
  EXPECT_NE(folder.Read("stderr.txt").find("SHA-256 fingerprint is " + fingerprint),
            std::string::npos);
  ::kill(pid, SIGTERM);
  ASSERT_EQ(Exit(5000), 0);

  EXPECT_EQ(RunCommand(server + " --https off 2>&1; echo status $?"),
            "owlglance-server: plain HTTP alone from the next start.\nstatus 0\n");
  StartAsItIs();
  ASSERT_TRUE(Serving());
  EXPECT_EQ(RunCommand(code + "--cacert mine.pem " + https), "000");
  EXPECT_EQ(RunCommand(code + Url("/snapshot")), "200");
  EXPECT_EQ(folder.Read("stderr.txt").find("https://"), std::string::npos);
  ::kill(pid, SIGTERM);
  ASSERT_EQ(Exit(5000), 0);
}

TEST_F(HeadlessServerTest, AMotionJpegCamerasOwnImagesGoOutOrAreEncodedAgain) {
  // The first entry of libjpeg's luminance table: the pattern's quality 90,
  // or the quality setting's 35.
  for (auto [passthrough, quant] : {std::pair{1, 3}, std::pair{0, 23}}) {
    ::setenv(platform::kDriverListVariable, "pattern@1280x720:mjpeg", 1);
    Start(5, -1,
          "\"compression\"=" + RegistryHex32(35) +
              "\r\n\"passthrough\"=" + RegistryHex32(static_cast<uint32_t>(passthrough)) + "\r\n");
    ::setenv(platform::kDriverListVariable, "pattern", 1);
    ASSERT_TRUE(Serving());
    EXPECT_EQ(RunCommand("timeout 20 ffmpeg -v error -i " + Url("/video") +
                         " -frames:v 5 -f rawvideo -pix_fmt rgb24 - | wc -c"),
              std::to_string(5 * 1280 * 720 * 3) + "\n")
        << "passthrough " << passthrough;
    EXPECT_EQ(RunCommand("curl -s " + Url("/state") +
                         " | /usr/bin/python3 -c 'import json, sys; "
                         "print(json.load(sys.stdin)[\"camera\"][\"passthrough\"])'"),
              passthrough ? "True\n" : "False\n");
    TestClient client(port);
    client.Send("GET /video HTTP/1.0\r\n\r\n");
    ParsedStream stream = ParseStream(client.ReadExactly(600000, 5000));
    ASSERT_GE(stream.images.size(), 2u);
    for (const std::string& image : stream.images) {
      DecodedJpeg decoded = DecodeJpeg(image);
      ASSERT_TRUE(decoded.ok);
      EXPECT_EQ(decoded.width, 1280);
      EXPECT_EQ(decoded.quantTable0.at(0), quant) << "passthrough " << passthrough;
    }
    ::kill(pid, SIGTERM);
    ASSERT_EQ(Exit(5000), 0);
  }
}

// Every camera found is served at once, each at its own addresses; the
// chosen one keeps the plain ones.
TEST_F(HeadlessServerTest, EveryCameraIsServedAtItsOwnAddresses) {
  ::setenv(platform::kDriverListVariable, "pattern@640x480,pattern@1280x720:mjpeg", 1);
  Start();
  ::setenv(platform::kDriverListVariable, "pattern", 1);
  ASSERT_TRUE(Serving());
  const std::string width = "timeout 20 ffprobe -v error -show_entries stream=width -of csv=p=0 ";
  struct Case {
    std::string path, expected;
  };
  const Case cases[] = {
      {"/video", "640\n"},           {"/cam/0/video", "640\n"},
      {"/cam/1/video", "1280\n"},    {"/?action=stream_1", "1280\n"},
      {"/cam/1/snapshot", "1280\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(RunCommand(width + "'" + Url(c.path) + "'"), c.expected);
  const std::string code = "curl -s -o /dev/null -w '%{http_code}' --max-time 5 ";
  EXPECT_EQ(RunCommand(code + Url("/cam/2/video")), "404");
  EXPECT_EQ(RunCommand(code + "'" + Url("/?action=snapshot_2") + "'"), "404");
  EXPECT_EQ(RunCommand("curl -s " + Url("/state") +
                       " | /usr/bin/python3 -c 'import json, sys; "
                       "print([(c[\"width\"], c[\"format\"], c[\"stream\"]) "
                       "for c in json.load(sys.stdin)[\"cameras\"]])'"),
            "[(640, 'YUY2', '/cam/0/video'), (1280, 'MJPG', '/cam/1/video')]\n");
  // Both at once, in one FFmpeg.
  EXPECT_EQ(
      RunCommand("timeout 30 ffmpeg -v error -i " + Url("/video") + " -i " + Url("/cam/1/video") +
                 " -map 0:v -frames:v 10 -f null - -map 1:v -frames:v 10 -f null - "
                 "&& echo played"),
      "played\n");
  EXPECT_NE(folder.Read("stderr.txt").find("camera 1 (Owlglance Test Pattern 1280x720) stream "),
            std::string::npos);
  // The home page it wrote shows both, and Chromium plays both at once.
  EXPECT_NE(folder.Read("www/index.html").find("<IMG SRC=\"/cam/1/video\" WIDTH=\"1280\""),
            std::string::npos);
  const std::string modules = std::string(OWL_SOURCE_DIR) + "/build/node/node_modules";
  if (!std::filesystem::exists(modules + "/playwright-core"))
    GTEST_SKIP() << "playwright-core is missing from build/node (./owl test installs it)";
  EXPECT_EQ(RunCommand("NODE_PATH='" + modules + "' timeout 60 node '" + OWL_SOURCE_DIR +
                       "/tests/support/view_page.cjs' '" + Url("/") + "' '' ''"),
            "640 1280\n");
}

TEST_F(HeadlessServerTest, ClientLimitOneRefusesASecondClient) {
  Start(1);
  ASSERT_TRUE(Serving());
  // Until the probe's thread is reaped, a client is refused; the first one
  // served holds the only place.
  std::unique_ptr<TestClient> first;
  std::string start;
  ASSERT_TRUE(Eventually(
      [&] {
        first.reset();  // a client that was not served must not hold the place
        first = std::make_unique<TestClient>(port);
        first->Send("GET /video HTTP/1.0\r\n\r\n");
        // A stream that has its first part stays (before the first image it ends).
        start = first->ReadExactly(300, 3000);
        return start.rfind("HTTP/1.0 200 OK", 0) == 0 && start.size() == 300;
      },
      15000))
      << "last answer (" << start.size() << " bytes): " << start.substr(0, 120)
      << "\nthe server said: " << folder.Read("stderr.txt");
  EXPECT_EQ(Exchange(port, "GET / HTTP/1.0\r\n\r\n"), "HTTP/1.0 503 Service Unavailable\r\n\r\n");
}

TEST_F(HeadlessServerTest, SigtermWithStreamingClientsEndsCleanlyWithinASecond) {
  Start();
  ASSERT_TRUE(Serving());
  std::vector<TestClient> clients;
  for (int i = 0; i < 3; ++i) {
    clients.emplace_back(port);
    clients.back().Send("GET /video HTTP/1.0\r\n\r\n");
    clients.back().ReadExactly(100, 3000);
  }
  auto start = steady_clock::now();
  ::kill(pid, SIGTERM);
  EXPECT_EQ(Exit(5000), 0);
  EXPECT_LT(steady_clock::now() - start, milliseconds(1000));
  for (auto& client : clients) {
    bool closed = false;
    client.ReadAll(1000, &closed);
    EXPECT_TRUE(closed);
  }
}

TEST_F(HeadlessServerTest, PortInUsePrintsTheListenersMessageAndExitsOne) {
  platform::Socket holder;
  ASSERT_EQ(holder.Listen(port, 5), 0);
  Start();
  EXPECT_EQ(Exit(10000), 1);
  std::string said = folder.Read("stderr.txt");
  EXPECT_NE(said.find("The port chosen may be in use"), std::string::npos) << said;
  EXPECT_EQ(said.find("page http"), std::string::npos) << said;
}

TEST_F(HeadlessServerTest, APortThatNeedsPermissionSaysSoAndExitsOne) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the server as another user";
  port = 80;
  Start(5, /*asUser=*/65534);
  EXPECT_EQ(Exit(10000), 1);
  std::string said = folder.Read("stderr.txt");
  EXPECT_NE(said.find("Port 80 can't be used without permission.\nChoose a port from 1025 up in "
                      "Server > Setup."),
            std::string::npos)
      << said;
  EXPECT_EQ(said.find("page http"), std::string::npos) << said;
}

}  // namespace
