#include <chrono>
#include <thread>

#include "tests/support/frame_publish.h"
#include "tests/support/server_fixture.h"

namespace {

using namespace std::chrono;

std::string Answer(const std::string& image) {
  return "HTTP/1.0 200 OK\r\nContent-Type: image/jpeg\r\nContent-Length: " +
         std::to_string(image.size()) + "\r\nCache-Control: no-store\r\n\r\n" + image;
}

class SnapshotTest : public ServerFixture {
 protected:
  void SetUp() override {
    device.frameStore.Reallocate(1 << 16);
    StartListener();
  }
};

TEST_F(SnapshotTest, EveryFormAnswersTheNewestImageEvenOverAFileOfTheSameName) {
  folder.Write("www/snapshot.jpg", "a file");
  Publish(device.frameStore, std::string(1000, 'o'));
  const std::string image(1234, 'n');
  Publish(device.frameStore, image);
  for (const char* target : {"/snapshot", "/snapshot.jpg", "/?action=snapshot", "/SNAPSHOT?t=9"})
    EXPECT_EQ(Exchange(Port(), std::string("GET ") + target + " HTTP/1.0\r\n\r\n"), Answer(image))
        << target;
  std::string head = Answer(image);
  head.resize(head.size() - image.size());
  EXPECT_EQ(Exchange(Port(), "HEAD /snapshot HTTP/1.0\r\n\r\n"), head);
}

TEST_F(SnapshotTest, BeforeTheFirstImageItWaitsForOne) {
  TestClient client(Port());
  client.Send("GET /snapshot HTTP/1.0\r\n\r\n");
  std::this_thread::sleep_for(milliseconds(400));
  const std::string image(500, 'f');
  Publish(device.frameStore, image);
  bool closed = false;
  EXPECT_EQ(client.ReadAll(3000, &closed), Answer(image));
  EXPECT_TRUE(closed);
}

TEST_F(SnapshotTest, WithNoImageForSixSecondsItAnswers503) {
  auto start = steady_clock::now();
  EXPECT_EQ(Exchange(Port(), "GET /snapshot HTTP/1.0\r\n\r\n", 9000),
            "HTTP/1.0 503 Service Unavailable\r\n\r\n");
  auto took = steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(5900));
  EXPECT_LT(took, milliseconds(7500));
}

}  // namespace
