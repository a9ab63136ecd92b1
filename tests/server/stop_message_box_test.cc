// A worker's message box during StopServer: the user-interface thread keeps
// answering boxes while it waits, so a failing log write can't deadlock it.
#include <sys/stat.h>

#include "platform/message_box_queue.h"
#include "server/connection_log.h"
#include "server/server_controller.h"
#include "tests/support/server_fixture.h"

namespace {

// Routes every box through a queue that only the test's thread answers, as
// the GUI does.
class QueuedBoxes : public platform::MessageBoxService {
 public:
  int Show(const std::string& text, const std::string& caption, int style) override {
    return queue.Request(text, caption, style);
  }
  std::atomic<int> shown{0};
  platform::MessageBoxQueue queue{[this](const std::string&, const std::string&, int) {
                                    ++shown;
                                    return platform::kIdOk;
                                  },
                                  [] {}};
};

TEST(StopServer, AnswersWorkersBoxesWhileItWaits) {
  TempFolder folder;
  QueuedBoxes boxes;
  platform::SetMessageBoxService(&boxes);
  CaptureDevice device;
  device.Create(0, 50);
  ServerSettings settings;
  settings.portnum = static_cast<uint32_t>(FreePort());
  settings.connections = 1;
  ServerController controller(settings, device, [&] { boxes.queue.AnswerPending(); });
  ASSERT_EQ(controller.StartServer(), 0);
  ASSERT_TRUE(Eventually([&] {
    return device.frameStore.PublishedCount() > 0 && TestClient().Connect(settings.portnum);
  }));
  ASSERT_TRUE(Eventually([&] { return controller.ConnectedCount() == 0; }));  // the probe is gone
  std::filesystem::remove(kLogFileName);
  ASSERT_EQ(::mkdir(kLogFileName, 0755), 0);  // from now on every log write fails

  TestClient client(static_cast<int>(settings.portnum));
  client.Send("GET /video HTTP/1.0\r\n\r\n");
  // Its "received" line fails: answer that box here, as the event loop would.
  ASSERT_TRUE(Eventually([&] {
    boxes.queue.AnswerPending();
    return boxes.shown >= 1;
  }));
  client.ReadExactly(1000, 3000);
  // The stream ends at the stop and its "closed" line fails during the wait.
  int before = boxes.shown;
  EXPECT_EQ(controller.StopServer(), 0);
  EXPECT_GT(boxes.shown, before) << "the stream's \"closed\" box was answered during the wait";
  platform::SetMessageBoxService(nullptr);
}

}  // namespace
