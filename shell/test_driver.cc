#include "shell/test_driver.h"

#include <fcntl.h>
#include <unistd.h>
#include <wx/app.h>
#include <wx/statusbr.h>
#include <wx/weakref.h>

#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include "platform/ui/wx_message_box.h"
#include "shell/main_frame.h"

namespace {

std::string folder;
std::mutex answersLock;
std::deque<int> answers;  // guarded by answersLock

void Reply(std::string line) {
  for (auto& c : line)
    if (c == '\n') c = '~';  // one line per event
  line += '\n';
  int fd = ::open((folder + "/out").c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  [[maybe_unused]] ssize_t n = ::write(fd, line.data(), line.size());
  ::close(fd);
}

int AnswerBox(const std::string& text, const std::string& caption, int) {
  Reply("box " + caption + "|" + text);
  std::lock_guard lock(answersLock);
  if (answers.empty()) return 1;
  int answer = answers.front();
  answers.pop_front();
  return answer;
}

void Run(wxWeakRef<MainFrame> frame, const std::string& line) {
  std::istringstream in(line);
  std::string verb;
  in >> verb;
  if (!frame) return Reply("gone");
  if (verb == "menu") {
    int id = 0;
    in >> id;
    frame->RunCommand(id);
    Reply("done menu " + std::to_string(id));
  } else if (verb == "answer") {
    int answer = 1;
    in >> answer;
    std::lock_guard lock(answersLock);
    answers.push_back(answer);
  } else if (verb == "status") {
    wxStatusBar* bar = frame->GetStatusBar();
    Reply("status " + bar->GetStatusText(0).ToStdString() + "|" +
          bar->GetStatusText(1).ToStdString() + "|" + bar->GetStatusText(2).ToStdString());
  } else if (verb == "size") {
    wxSize size = frame->GetClientSize();
    Reply("client " + std::to_string(size.x) + "x" + std::to_string(size.y));
  } else if (verb == "close") {
    Reply("closing");
    frame->Close();
  }
}

}  // namespace

void StartTestDriver(MainFrame& frame) {
  const char* path = std::getenv("OWLGLANCE_TEST_DRIVER");
  if (!path || !*path) return;
  folder = path;
  platform::GuiMessageBoxes().SetPresenter(AnswerBox);
  if (auto* window = frame.Device().Window())
    window->SetDialogPresenter([](platform::DriverDialog&) { return false; });
  Reply("ready");
  wxWeakRef<MainFrame> weak(&frame);
  std::thread([weak] {
    std::ifstream in(folder + "/in");
    for (std::string line; std::getline(in, line);)
      wxTheApp->CallAfter([weak, line] { Run(weak, line); });
  }).detach();
}
