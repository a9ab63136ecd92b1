// Carries message boxes from worker threads to the user-interface thread.
// A worker's Request blocks until the UI thread has answered it; the UI
// thread answers from its event loop, and from its waits for worker threads,
// so a box asked for during a stop can't deadlock the stop.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <string>

#include "platform/thread_annotations.h"

namespace platform {

class MessageBoxQueue {
 public:
  // Shows one box on the UI thread and returns the answer.
  using Presenter =
      std::function<int(const std::string& text, const std::string& caption, int style)>;
  // `wake` asks the UI thread to call AnswerPending soon (for a GUI, a
  // posted event); it is called from the requesting thread.
  MessageBoxQueue(Presenter presenter, std::function<void()> wake)
      : presenter_(std::move(presenter)), wake_(std::move(wake)) {}

  // From any thread but the UI thread: waits for the answer.
  int Request(const std::string& text, const std::string& caption, int style) OWL_EXCLUDES(mutex_);
  // On the UI thread: shows every pending box, one after the other.
  void AnswerPending() OWL_EXCLUDES(mutex_);

 private:
  struct Pending {
    std::string text, caption;
    int style;
    int answer = 0;
    bool answered = false;
  };
  Presenter presenter_;
  std::function<void()> wake_;
  Mutex mutex_;
  std::condition_variable_any answered_;
  std::deque<Pending*> pending_ OWL_GUARDED_BY(mutex_);
};

}  // namespace platform
