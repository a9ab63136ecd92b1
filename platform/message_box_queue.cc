#include "platform/message_box_queue.h"

namespace platform {

int MessageBoxQueue::Request(const std::string& text, const std::string& caption, int style) {
  Pending request{text, caption, style};
  std::unique_lock lock(mutex_);
  pending_.push_back(&request);
  lock.unlock();
  wake_();
  lock.lock();
  answered_.wait(lock, [&] { return request.answered; });
  return request.answer;
}

void MessageBoxQueue::AnswerPending() {
  for (;;) {
    std::unique_lock lock(mutex_);
    if (pending_.empty()) return;
    Pending* request = pending_.front();
    pending_.pop_front();
    lock.unlock();
    int answer = presenter_(request->text, request->caption, request->style);
    lock.lock();
    request->answer = answer;
    request->answered = true;
    answered_.notify_all();
  }
}

}  // namespace platform
