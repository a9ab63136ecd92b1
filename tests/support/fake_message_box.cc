#include "tests/support/fake_message_box.h"

void FakeMessageBox::Script(int answer) {
  std::lock_guard lock(mutex_);
  answers_.push_back(answer);
}

int FakeMessageBox::Show(const std::string& text, const std::string& caption, int style) {
  std::lock_guard lock(mutex_);
  boxes_.push_back({text, caption, style});
  shown_.notify_all();
  if (answers_.empty()) return platform::kIdOk;
  int answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::vector<FakeMessageBox::Shown> FakeMessageBox::Boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

bool FakeMessageBox::WaitForBoxes(size_t count, int ms) {
  std::unique_lock lock(mutex_);
  return shown_.wait_for(lock, std::chrono::milliseconds(ms),
                         [&] { return boxes_.size() >= count; });
}
