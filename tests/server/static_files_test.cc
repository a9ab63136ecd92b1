#include "server/static_files.h"
#include "tests/support/command.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <map>
#include <sstream>

#include "server/http_date.h"
#include "tests/support/server_fixture.h"

namespace {

// A listening Unix socket at `path`, for as long as it lives.
struct UnixSocket {
  explicit UnixSocket(const std::string& path) : fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    path.copy(addr.sun_path, sizeof addr.sun_path - 1);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(fd, 1);
  }
  ~UnixSocket() { ::close(fd); }
  int fd;
};

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
    EXPECT_EQ(server::ResolvePath(c.url.c_str(), path), c.accepted) << c.url;
    if (c.accepted) {
      EXPECT_EQ(path, c.path) << c.url;
    }
  }
}

// curl's view of one HTTP/1.0 request: exactly the bytes the server sent.
std::string Curl(int port, const std::string& target) {
  return RunCommand("curl -s -i --raw --http1.0 --path-as-is --max-time 5 --request-target '" +
                    target + "' http://127.0.0.1:" + std::to_string(port) + "/");
}

constexpr int64_t kModified = 1700000000;  // every test file's date
constexpr char kModifiedText[] = "Tue, 14 Nov 2023 22:13:20 GMT";

struct Response {
  std::string status;  // the status line without its CR LF
  std::map<std::string, std::string> headers;
  std::string body;
};

Response Parse(const std::string& raw) {
  Response response;
  size_t end = raw.find("\r\n\r\n");
  if (end == std::string::npos) return response;
  std::istringstream head(raw.substr(0, end + 2));
  std::getline(head, response.status);
  response.status.pop_back();
  for (std::string line; std::getline(head, line);) {
    size_t colon = line.find(": ");
    response.headers[line.substr(0, colon)] = line.substr(colon + 2, line.size() - colon - 3);
  }
  response.body = raw.substr(end + 4);
  return response;
}

class StaticFilesTest : public ServerFixture {
 protected:
  void WriteDated(const std::string& path, const std::string& contents) {
    folder.Write(path, contents);
    timespec times[2] = {{kModified, 0}, {kModified, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, 0);
  }
};

TEST_F(StaticFilesTest, AnswersEachTargetWithStatusTypeLengthDateAndBody) {
  WriteDated("www/index.html", "<h1>home</h1>\n");
  WriteDated("www/a b.html", "spaced");
  WriteDated("www/pic.jpg", std::string(1500, '\xff'));
  WriteDated("www/empty.txt", "");
  WriteDated("www/404.html", "not here");
  std::filesystem::create_directory("www/sub");
  StartListener();

  const std::string html = "text/html; charset=utf-8", home = "<h1>home</h1>\n";
  const std::string pic(1500, '\xff');
  auto since = [](int64_t seconds) {
    return "If-Modified-Since: " + server::FormatHttpDate(seconds) + "\r\n";
  };
  struct Case {
    std::string method, target, header;  // header: one more request header line
    std::string status, type;            // type "": no Content-Type expected
    std::string body;                    // what the body holds, or would hold without HEAD
  };
  const Case cases[] = {
      {"GET", "/", "", "HTTP/1.0 200 OK", html, home},
      {"GET", "/index.html?x=1", "", "HTTP/1.0 200 OK", html, home},
      {"GET", "/a%20b.html", "", "HTTP/1.0 200 OK", html, "spaced"},
      {"GET", "/pic.jpg", "", "HTTP/1.0 200 OK", "image/jpeg", pic},
      {"GET", "http://192.0.2.1:8080/pic.jpg", "", "HTTP/1.0 200 OK", "image/jpeg", pic},
      {"GET", "/empty.txt", "", "HTTP/1.0 200 OK", "text/plain; charset=utf-8", ""},
      {"GET", "/nothing.html", "", "HTTP/1.0 404 File Not Found", "text/html", "not here"},
      {"GET", "/sub/", "", "HTTP/1.0 404 File Not Found", "text/html", "not here"},
      {"GET", "/sub", "", "HTTP/1.0 404 File Not Found", "text/html", "not here"},
      {"HEAD", "/index.html", "", "HTTP/1.0 200 OK", html, home},
      {"HEAD", "/nothing.html", "", "HTTP/1.0 404 File Not Found", "text/html", "not here"},
      {"GET", "/", since(kModified), "HTTP/1.0 304 Not Modified", "", ""},
      {"GET", "/", since(kModified + 3600), "HTTP/1.0 304 Not Modified", "", ""},
      {"GET", "/", since(kModified - 1), "HTTP/1.0 200 OK", html, home},
      {"GET", "/", "If-Modified-Since: yesterday\r\n", "HTTP/1.0 200 OK", html, home},
      // A date still to come says nothing of the client's copy.
      {"GET", "/", since(std::time(nullptr) + 3600), "HTTP/1.0 200 OK", html, home},
  };
  for (const Case& c : cases) {
    const std::string what = c.method + " " + c.target + " " + c.header;
    Response r =
        Parse(Exchange(Port(), c.method + " " + c.target + " HTTP/1.0\r\n" + c.header + "\r\n"));
    EXPECT_EQ(r.status, c.status) << what;
    EXPECT_EQ(r.body, c.method == "HEAD" || c.status.find("304") != std::string::npos ? "" : c.body)
        << what;
    EXPECT_EQ(r.headers.count("Content-Type") ? r.headers["Content-Type"] : "", c.type) << what;
    if (!c.type.empty()) {
      EXPECT_EQ(r.headers["Content-Length"], std::to_string(c.body.size())) << what;
    }
    bool dated = c.status.find("404") == std::string::npos;
    EXPECT_EQ(r.headers.count("Last-Modified") ? r.headers["Last-Modified"] : "",
              dated ? kModifiedText : "")
        << what;
  }
  // Lines that end in a bare LF are answered at once, as CR LF ones are.
  Response bare = Parse(Exchange(Port(), "GET /index.html HTTP/1.0\nAccept: */*\n\n"));
  EXPECT_EQ(bare.status, "HTTP/1.0 200 OK");
  EXPECT_EQ(bare.body, home);
  // The header lines in their order, byte for byte, as curl sees them.
  EXPECT_EQ(Curl(Port(), "/"), std::string("HTTP/1.0 200 OK\r\nContent-Type: ") + html +
                                   "\r\nContent-Length: 14\r\nLast-Modified: " + kModifiedText +
                                   "\r\nAccept-Ranges: bytes\r\n\r\n" + home);
  for (const char* rejected : {"/%2e%2e/x", "/x..y", "/../x", "/%4", "/%zz"})
    EXPECT_EQ(Curl(Port(), rejected), "") << rejected;
  EXPECT_EQ(RunCommand("curl -sI --max-time 5 http://127.0.0.1:" + std::to_string(Port()) +
                       "/pic.jpg | grep -i '^content-length'"),
            "Content-Length: 1500\r\n");

  std::filesystem::remove("www/404.html");
  EXPECT_EQ(Curl(Port(), "/nothing.html"), "HTTP/1.0 404 File Not Found\r\n\r\n");
}

// One range of a file, as a player seeking in a video asks for it: small
// files and those sent by sendfile alike.
TEST_F(StaticFilesTest, OneRangeIsAnsweredWithItsPartSeveralWithTheWholeFile) {
  std::string big;
  for (int i = 0; i < 3000; ++i) big += "0123456789";
  WriteDated("www/small.txt", "abcdefghij");
  WriteDated("www/clip.webm", big);
  StartListener();
  struct Case {
    std::string method, target, headers;
    std::string status, contentRange, body;  // contentRange "": none expected
  };
  const std::string small = "abcdefghij", date = kModifiedText;
  const Case cases[] = {
      {"GET", "/small.txt", "Range: bytes=0-3", "206 Partial Content", "bytes 0-3/10", "abcd"},
      {"GET", "/small.txt", "range: bytes=7-", "206 Partial Content", "bytes 7-9/10", "hij"},
      {"GET", "/small.txt", "Range: bytes=-4", "206 Partial Content", "bytes 6-9/10", "ghij"},
      {"GET", "/small.txt", "Range: bytes=5-100", "206 Partial Content", "bytes 5-9/10", "fghij"},
      {"HEAD", "/small.txt", "Range: bytes=0-3", "206 Partial Content", "bytes 0-3/10", ""},
      {"GET", "/small.txt", "Range: bytes=10-", "416 Range Not Satisfiable", "bytes */10", ""},
      {"GET", "/small.txt", "Range: bytes=0-1,4-5", "200 OK", "", small},
      {"GET", "/small.txt", "Range: pages=1-2", "200 OK", "", small},
      {"GET", "/small.txt", "Range: bytes=0-3\r\nIf-Range: " + date, "206 Partial Content",
       "bytes 0-3/10", "abcd"},
      {"GET", "/small.txt", "Range: bytes=0-3\r\nIf-Range: Mon, 01 Jan 2024 00:00:00 GMT", "200 OK",
       "", small},
      {"GET", "/clip.webm", "Range: bytes=29990-", "206 Partial Content", "bytes 29990-29999/30000",
       "0123456789"},
      {"GET", "/clip.webm", "Range: bytes=12345-12349", "206 Partial Content",
       "bytes 12345-12349/30000", "56789"},
      {"GET", "/clip.webm", "", "200 OK", "", big},
  };
  for (const Case& c : cases) {
    const std::string what = c.method + " " + c.target + " " + c.headers;
    Response r =
        Parse(Exchange(Port(), c.method + " " + c.target + " HTTP/1.0\r\n" +
                                   (c.headers.empty() ? "" : c.headers + "\r\n") + "\r\n"));
    EXPECT_EQ(r.status, "HTTP/1.0 " + c.status) << what;
    EXPECT_EQ(r.headers.count("Content-Range") ? r.headers["Content-Range"] : "", c.contentRange)
        << what;
    EXPECT_EQ(r.body, c.body) << what;
    const size_t length = c.method == "HEAD" ? 4 : c.body.size();
    EXPECT_EQ(r.headers["Content-Length"], std::to_string(length)) << what;
    if (c.status != "416 Range Not Satisfiable") {
      EXPECT_EQ(r.headers["Accept-Ranges"], "bytes") << what;
    }
  }
}

TEST_F(StaticFilesTest, OnlyRegularFilesInsideTheWebFolderAreServedAndNothingBlocks) {
  WriteDated("www/index.html", "home");
  WriteDated("www/404.html", "not here");
  folder.Write("secret.txt", "secret");
  std::filesystem::create_directory("www/sub");
  std::filesystem::create_directory_symlink("sub", "www/subdir");
  WriteDated("www/sub/page.html", "inner");
  std::filesystem::create_symlink("index.html", "www/home.html");
  std::filesystem::create_symlink(std::filesystem::absolute("www/index.html"), "www/abs-home.html");
  std::filesystem::create_symlink("../secret.txt", "www/secret.txt");
  std::filesystem::create_symlink(std::filesystem::absolute("secret.txt"), "www/abs.txt");
  std::filesystem::create_directory_symlink("/etc", "www/etcdir");
  std::filesystem::create_symlink("/dev/zero", "www/zero");
  ASSERT_EQ(::mkfifo("www/fifo", 0644), 0);
  UnixSocket socket("www/socket");
  WriteDated("www/locked.html", "locked");
  ::chmod("www/locked.html", 0);
  StartListener();

  const std::string missing = "HTTP/1.0 404 File Not Found";
  struct Case {
    std::string target, status, body;
  };
  std::vector<Case> cases = {
      {"/home.html", "HTTP/1.0 200 OK", "home"},
      {"/abs-home.html", "HTTP/1.0 200 OK", "home"},  // absolute, and still inside
      {"/subdir/page.html", "HTTP/1.0 200 OK", "inner"},
      {"/secret.txt", missing, "not here"},
      {"/abs.txt", missing, "not here"},
      {"/etcdir/hostname", missing, "not here"},
      {"/zero", missing, "not here"},
      {"/fifo", missing, "not here"},
      {"/socket", missing, "not here"},
      {"/sub", missing, "not here"},
  };
  if (::geteuid() != 0) cases.push_back({"/locked.html", missing, "not here"});  // root reads it
  for (const Case& c : cases) {
    auto start = std::chrono::steady_clock::now();
    Response r = Parse(Exchange(Port(), "GET " + c.target + " HTTP/1.0\r\n\r\n", 3000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.target;
    EXPECT_EQ(r.status, c.status) << c.target;
    EXPECT_EQ(r.body, c.body) << c.target;
  }
  // A 404 page that can't be read without waiting is left out, not waited on.
  std::filesystem::remove("www/404.html");
  ASSERT_EQ(::mkfifo("www/404.html", 0644), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Exchange(Port(), "GET /fifo HTTP/1.0\r\n\r\n"), missing + "\r\n\r\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

TEST_F(StaticFilesTest, ATenMegabyteFileArrivesWholeAndHeadSendsNoBody) {
  std::string big(10 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
  WriteDated("www/big.bin", big);
  StartListener();
  TestClient client(Port());
  client.Send("GET /big.bin HTTP/1.0\r\n\r\n");
  Response r = Parse(client.ReadAll(10000));
  EXPECT_EQ(r.headers["Content-Length"], std::to_string(big.size()));
  EXPECT_EQ(r.headers["Content-Type"], "application/octet-stream");
  EXPECT_TRUE(r.body == big) << r.body.size() << " bytes";
  Response head = Parse(Exchange(Port(), "HEAD /big.bin HTTP/1.0\r\n\r\n"));
  EXPECT_EQ(head.headers["Content-Length"], std::to_string(big.size()));
  EXPECT_EQ(head.body, "");
  // A player that gives up part way (as one seeking does) ends its own
  // download alone: sendfile to a closed peer raises no SIGPIPE.
  for (int i = 0; i < 5; ++i) {
    TestClient quitter(Port());
    quitter.Send("GET /big.bin HTTP/1.0\r\n\r\n");
    ASSERT_EQ(quitter.ReadExactly(100000, 3000).size(), 100000u);
    if (i % 2) {
      quitter.Reset();
    } else {
      quitter.Close();
    }
  }
  EXPECT_EQ(Parse(Exchange(Port(), "HEAD /big.bin HTTP/1.0\r\n\r\n")).status, "HTTP/1.0 200 OK");
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
    Response r = Parse(answer);
    EXPECT_EQ(r.status, "HTTP/1.0 200 OK") << c.file;
    EXPECT_EQ(r.body.size(), c.body.size()) << c.file;
    EXPECT_TRUE(r.body == c.body) << c.file;
    EXPECT_TRUE(closed);
    EXPECT_FALSE(reset) << "a clean close, not a reset";
  }
}

}  // namespace
