#include "platform/message_box_queue.h"

namespace platform {

int MessageBoxQueue::Request(const std::string& text, const std::string& caption, int style) {
  Pending request{text, caption, style};
  {
    MutexLock lock(mutex_);
    pending_.push_back(&request);
  }
  wake_();
  MutexLock lock(mutex_);
  // request's answer is written under mutex_, as pending_ is.
  while (!request.answered) answered_.wait(mutex_);
  return request.answer;
}

void MessageBoxQueue::AnswerPending() {
  for (;;) {
    Pending* request = nullptr;
    {
      MutexLock lock(mutex_);
      if (pending_.empty()) return;
      request = pending_.front();
      pending_.pop_front();
    }
    const int answer = presenter_(request->text, request->caption, request->style);
    MutexLock lock(mutex_);
    request->answer = answer;
    request->answered = true;
    answered_.notify_all();
  }
}

}  // namespace platform
