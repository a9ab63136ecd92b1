#include "platform/message_box.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "platform/thread_annotations.h"

namespace platform {

namespace {

class ConsoleMessageBox : public MessageBoxService {
 public:
  int Show(const std::string& text, const std::string& caption, int style) override {
    MutexLock keepApart(lock_);  // boxes from several threads
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return (style & 0x0F) == kMbYesNo ? kIdYes : kIdOk;
  }

 private:
  Mutex lock_;
};

ConsoleMessageBox console;
std::atomic<MessageBoxService*> installed{&console};

}  // namespace

void SetMessageBoxService(MessageBoxService* service) {
  installed.store(service ? service : &console);
}

int ShowMessageBox(const std::string& text, const std::string& caption, int style) {
  return installed.load()->Show(text, caption.empty() ? ApplicationName() : caption, style);
}

std::string ApplicationName() {
  static const std::string name = [] {
    char path[4096];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return std::string("owlglance");
    std::string exe(path, static_cast<size_t>(n));
    exe = exe.substr(exe.find_last_of('/') + 1);
    return exe.substr(0, exe.find_last_of('.'));
  }();
  return name;
}

}  // namespace platform
