#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/message_box.h"

// A message-box service for tests: records every box and answers from a
// script (OK once the script is empty). Installs itself while it lives.
class FakeMessageBox : public platform::MessageBoxService {
 public:
  struct Shown {
    std::string text, caption;
    int style;
  };

  FakeMessageBox() { platform::SetMessageBoxService(this); }
  ~FakeMessageBox() override { platform::SetMessageBoxService(nullptr); }

  void Script(int answer);
  int Show(const std::string& text, const std::string& caption, int style) override;
  std::vector<Shown> Boxes() const;
  // Waits up to `ms` until at least `count` boxes were shown.
  bool WaitForBoxes(size_t count, int ms);

 private:
  mutable std::mutex mutex_;
  std::condition_variable shown_;
  std::deque<int> answers_;   // guarded by mutex_
  std::vector<Shown> boxes_;  // guarded by mutex_
};
