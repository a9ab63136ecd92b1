#include "server/static_files.h"
#include "tests/support/command.h"

#include <filesystem>

#include "tests/support/server_fixture.h"

namespace {

TEST(ResolvePath, MapsUrlsBelowTheWebFolder) {
  struct Case {
    std::string url;
    bool accepted;
    std::string path;
  };
  const Case cases[] = {
      {"/", true, "www/"},
      {"/index.html", true, "www/index.html"},
      {"/a%20b.html", true, "www/a b.html"},
      {"/a+b%2Fc%41", true, "www/a+b/cA"},
      {"/index.html?x=1", true, "www/index.html?x=1"},
      {"index.html", true, "www/ndex.html"},
      {"http://192.0.2.1:8080/pic.jpg", true, "www/pic.jpg"},
      {"http://192.0.2.1:8080/", true, "www/"},
      {"http://x", true, "www/ttp://x"},  // too short to have a path
      {"/a%00b.html", true, "www/a"},
      {"/%2e%2e/x", false, ""},
      {"/x..y", false, ""},
      {"/../x", false, ""},
      {"/%4", false, ""},
      {"/%zz", false, ""},
      {"/ok%", false, ""},
      {"", true, "www/"},
  };
  for (const auto& c : cases) {
    std::string path;
    EXPECT_EQ(ResolvePath(c.url.c_str(), path), c.accepted) << c.url;
    if (c.accepted) {
      EXPECT_EQ(path, c.path) << c.url;
    }
  }
}

// curl's view of one request: exactly the bytes the server sent.
std::string Curl(int port, const std::string& target) {
  return RunCommand("curl -s -i --raw --path-as-is --max-time 5 --request-target '" + target +
                    "' http://127.0.0.1:" + std::to_string(port) + "/");
}

using StaticFilesTest = ServerFixture;

TEST_F(StaticFilesTest, AnswersWithFileOr404AsCurlSeesIt) {
  folder.Write("www/index.html", "<h1>home</h1>\n");
  folder.Write("www/a b.html", "spaced");
  folder.Write("www/pic.jpg", std::string(1500, '\xff'));  // more than one 512-byte piece
  folder.Write("www/empty.txt", "");
  folder.Write("www/404.html", "not here");
  std::filesystem::create_directory("www/sub");
  StartListener();

  const std::string ok = "HTTP/1.0 200 OK\r\n\r\n";
  const std::string missing = "HTTP/1.0 404 File Not Found\r\n\r\nnot here";
  struct Case {
    std::string target, answer;
  };
  const Case cases[] = {
      {"/", ok + "<h1>home</h1>\n"},
      {"/a%20b.html", ok + "spaced"},
      {"/pic.jpg", ok + std::string(1500, '\xff')},
      {"http://192.0.2.1:8080/pic.jpg", ok + std::string(1500, '\xff')},
      {"http://192.0.2.1:8080/", ok + "<h1>home</h1>\n"},
      {"/empty.txt", ok},
      {"/nothing.html", missing},
      {"/index.html?x=1", missing},
      {"/sub/", missing},
      {"/sub", missing},
      {"/%2e%2e/x", ""},
      {"/x..y", ""},
      {"/../x", ""},
      {"/%4", ""},
      {"/%zz", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Curl(Port(), c.target), c.answer) << c.target;

  std::filesystem::remove("www/404.html");
  EXPECT_EQ(Curl(Port(), "/nothing.html"), "HTTP/1.0 404 File Not Found\r\n\r\n");
}

TEST_F(StaticFilesTest, ResponsesArriveWholeWithACleanEndWhateverTheRequestHolds) {
  const std::string big(2 << 20, 'b'), page(300 << 10, 'p');
  folder.Write("www/big.bin", big);
  folder.Write("www/page.html", page);
  StartListener();
  const std::string cookie = "Cookie: " + std::string(3000, 'c') + "\r\n";
  struct Case {
    std::string file, body, firstWrite, secondWrite;  // the second 200 ms later
  };
  const Case cases[] = {
      {"big.bin", big, "GET /big.bin HTTP/1.0\r\n" + cookie + "\r\n", ""},
      {"page.html", page, "GET /page.html HTTP/1.0\r\n" + cookie + "\r\n", ""},
      {"page.html", page, "GET /page.html HTTP/1.0\r\n", "Host: x\r\n" + cookie + "\r\n"},
  };
  for (const Case& c : cases) {
    TestClient client(Port());
    client.Send(c.firstWrite);
    if (!c.secondWrite.empty()) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      client.Send(c.secondWrite);
    }
    bool closed = false, reset = false;
    std::string answer = client.ReadAll(10000, &closed, &reset);
    EXPECT_EQ(answer.size(), 19 + c.body.size()) << c.file;
    EXPECT_TRUE(answer == "HTTP/1.0 200 OK\r\n\r\n" + c.body) << c.file;
    EXPECT_TRUE(closed);
    EXPECT_FALSE(reset) << "a clean close, not a reset";
  }
}

}  // namespace
